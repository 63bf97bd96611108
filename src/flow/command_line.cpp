#include <iostream>
#include <vector>

#include "conversion/conversion.h"
#include "flow/flow.h"
#include "menu/menu.h"
#include "platform/platform.h"

namespace txr {

namespace {

constexpr std::string_view kNotice1 = "Every conversion is listed in record.txt in the program's folder.";
constexpr std::string_view kNotice2 = "To take the last batch back, start the program without files and pick Undo.";

void line(std::string_view text) { std::cout << text << std::endl; }

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// What the command processor's PAUSE does.
void pause() {
    std::cout << "Press any key to continue . . . " << std::flush;
    plat::waitKey();
    std::cout << std::endl;
}

void titleAndNotices() {
    line(kTitle);
    line(kNotice1);
    line("");
    line(kNotice2);
    line("");
}

// Asks before a file that is not a .txr; true to go on.
bool confirm(const std::string& path) {
    std::cout << '"' << printable(path) << "\" is not a txr file, continue convertion?(Y/N) " << std::flush;
    const std::string answer = readWord().value_or("N");
    // Nobody typed the answer on this screen: show it, so the log reads as
    // a session would.
    if (!plat::inputIsTerminal()) std::cout << printable(answer) << std::endl;
    return answer == "Y" || answer == "y";
}

}  // namespace

std::string programDirectoryOf(std::string argv0) {
    for (std::size_t i = argv0.size(); i > 0; --i) {
        if (plat::isSeparator(argv0[i - 1])) return argv0.substr(0, i);
    }
    return {};
}

std::string extensionOfArgument(std::string path) {
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(dot + 1);
}

std::optional<std::string> readWord() {
    int c = plat::readInputByte();
    while (c >= 0 && isBlank(c)) c = plat::readInputByte();
    if (c < 0) return std::nullopt;
    std::string word(1, static_cast<char>(c));
    for (c = plat::peekInputByte(); c >= 0 && !isBlank(c); c = plat::peekInputByte()) {
        word += static_cast<char>(plat::readInputByte());
    }
    return word;
}

int runMain(int argc, char** argv) {
    plat::installInterruptHandlers();
    const std::vector<std::string> args = plat::arguments(argc, argv);
    const std::string programDir = programDirectoryOf(args.empty() ? "" : args[0]);
    const bool menuMode = args.size() < 2;
    bool anyFailed = false;
    Converter converter(programDir);
    auto report = [&anyFailed](const std::vector<FixResult>& results) {
        for (const FixResult& r : results) {
            if (r.status == FixStatus::converted) continue;
            std::cerr << "Not converted: \"" << printable(r.path) << "\": " << printable(r.reason) << std::endl;
            anyFailed = true;
        }
    };

    // Without files the menu comes first; the argument loop then has nothing
    // to do and the closing screen follows.
    if (menuMode) anyFailed = runMainMenu(programDir, std::string(kTitle)) == Outcome::someFailed;

    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& path = args[i];
        if (extensionOfArgument(path) != "txr") {
            report(converter.finish());  // everything before is final when we ask
            if (!confirm(path)) {
                line("Abort.");
                line("");
                titleAndNotices();
                pause();
                return static_cast<int>(ExitStatus::aborted);
            }
        }
        converter.convert(path);
        report(converter.takeSettled());
    }
    report(converter.finish());

    // Failures of the files named were reported just above; clearing would
    // hide them. The menu's actions showed theirs on their own screens.
    if (!anyFailed || menuMode) plat::clearScreen();
    line("");
    titleAndNotices();
    pause();
    return static_cast<int>(anyFailed ? ExitStatus::someFailed : ExitStatus::done);
}

}  // namespace txr
