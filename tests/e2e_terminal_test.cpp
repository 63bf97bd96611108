// The real binary in a real terminal (a tmux pane, UTF-8 locale): what the
// user sees, the keys the user presses, and the terminal afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/run_tool.h"
#include "support/tmux.h"

namespace {

using namespace testing_support;

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

const std::string kTop = "\u3000┌─" + repeat("──", 35) + "┐";
const std::string kBottom = "\u3000└─" + repeat("──", 35) + "┘";
const std::string kFooter = "   【ESC:Exit】 【↑ ↓ Enter:Select】 【<?>:Hotkey】";
const std::string kItem1 = "Extract all \".txr\" file(s) in this folder";
const std::string kItem2 = "Undo last convertion";
const std::string kItem3 = "How to use?";

std::string field(const std::string& item) { return item + std::string(66 - item.size(), ' '); }
std::string row(char label, const std::string& item) {
    return "\u3000│ <" + std::string(1, label) + "> " + field(item) + "│";
}

const std::vector<std::string> kMenu = {
    "", "   Vornhal TXR Extractor v1.4", kTop, row('1', kItem1), row('2', kItem2), row('3', kItem3), kBottom, kFooter,
};

// The text of a captured line split into the parts shown in colour and the
// parts shown in the terminal's own colours. `colours` gets the colour
// parameters seen.
struct Split {
    std::string plain, coloured, colours;
};

Split splitByColour(const std::string& line) {
    Split s;
    bool fg = false, bg = false;
    for (std::size_t i = 0; i < line.size();) {
        if (line.compare(i, 2, "\x1b[") == 0) {
            const std::size_t end = line.find('m', i);
            const std::string params = line.substr(i + 2, end - i - 2);
            std::size_t start = 0;
            while (start <= params.size()) {
                std::size_t semi = params.find(';', start);
                if (semi == std::string::npos) semi = params.size();
                const std::string p = params.substr(start, semi - start);
                if (p.empty() || p == "0") fg = bg = false;
                else if (p == "39") fg = false;
                else if (p == "49") bg = false;
                else if (p.size() == 2 && (p[0] == '3' || p[0] == '9')) fg = true;
                else if (p.size() == 2 && p[0] == '4') bg = true;
                else if (p.size() == 3 && p[0] == '1' && p[1] == '0') bg = true;
                if (!p.empty() && p != "0" && p != "39" && p != "49") s.colours += p + ";";
                start = semi + 1;
            }
            i = end + 1;
            continue;
        }
        (fg || bg ? s.coloured : s.plain) += line[i++];
    }
    return s;
}

class OnTerminal : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
        fs::create_directory(dir / "prog");
        term = std::make_unique<Tmux>(std::vector<std::string>{TTY_WITNESS_PATH, dir.str("report"), dir.str("pid"),
                                                               toolPath(), dir.str("prog") + "/vrnhTXRextractor13"},
                                      std::vector<std::string>{"LC_ALL=C.UTF-8"}, dir.path().string());
        ASSERT_TRUE(term->waitForLine(kFooter)) << dump();
    }

    std::string dump() {
        std::string all;
        for (const auto& l : term->screen()) all += l + "\n";
        return all;
    }

    // The first visible lines, as many as `expected` has.
    void expectScreenStartsWith(const std::vector<std::string>& expected) {
        const auto shown = term->screen();
        ASSERT_GE(shown.size(), expected.size()) << dump();
        EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + static_cast<long>(expected.size())),
                  expected)
            << dump();
    }

    // The menu row (1..3) whose item field is in colour; 0 for none.
    int highlightedRow() {
        const auto lines = term->screen(true);
        int found = 0;
        for (int r = 1; r <= 3; ++r)
            if (!splitByColour(lines.at(2 + static_cast<std::size_t>(r))).coloured.empty()) found = r;
        return found;
    }

    // What the witness saw when the tool ended.
    std::string report() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(dir / "report") && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return fs::exists(dir / "report") ? readBytes(dir / "report") : "no report";
    }

    pid_t toolPid() { return static_cast<pid_t>(std::stol(readBytes(dir / "pid"))); }

    ScratchDir dir;
    std::unique_ptr<Tmux> term;
};

TEST_F(OnTerminal, TheMenuIsABoxWithOnlyTheFirstItemFieldHighlighted) {
    expectScreenStartsWith(kMenu);

    // Every right-hand edge where the terminal shows the top-right corner.
    const int corner = term->endColumn(2);
    EXPECT_EQ(corner, 75);
    for (int line = 3; line <= 6; ++line) EXPECT_EQ(term->endColumn(line), corner) << "line " << line;

    const auto lines = term->screen(true);
    const Split first = splitByColour(lines.at(3));
    EXPECT_EQ(first.coloured, field(kItem1));
    EXPECT_EQ(first.plain, "\u3000│ <1> │");
    EXPECT_EQ(first.colours, "97;104;") << "bright white on light blue";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 3) continue;
        EXPECT_EQ(lines[i].find('\x1b'), std::string::npos) << "line " << i << ": " << lines[i];
    }
}

TEST_F(OnTerminal, UpAndDownMoveTheHighlightRound) {
    term->keys({"Up"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 3; })) << dump();
    expectScreenStartsWith(kMenu);
    term->keys({"Down"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 1; })) << dump();
    term->keys({"Down"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 2; })) << dump();
    // Keys without a use change nothing.
    term->keys({"Right", "Home", "F1", "C-Up", "x"});
    term->keys({"Up"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 1; })) << dump();
}

TEST_F(OnTerminal, HotkeyThreeShowsHelpAndAnyKeyGoesBack) {
    term->keys({"Down"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 2; }));
    term->keys({"3"});
    ASSERT_TRUE(term->waitForLine("    <<< Press any key back to menu >>>")) << dump();
    const auto help = [](const std::string& text) { return "\u3000│ " + text + std::string(70 - text.size(), ' ') + "│"; };
    expectScreenStartsWith({"", kTop, help("Usage(1):"), help("    Direct run this exe will show the menu."),
                            help("    You can extract all *.txr on the same folder,"),
                            help("    or undo last convertion."),
                            help("    #Notice that \"Undo\" only process the last convertion."), kBottom, kTop,
                            help("Usage(2):"),
                            help("    drag txr file(s) on \"vrnhTXRextractor13.exe\" by your cursor,"),
                            help("    or open as command \"vrnhTXRextractor13 [txr file]\""), kBottom, "",
                            "    <<< Press any key back to menu >>>"});
    for (int line = 2; line <= 12; ++line) EXPECT_EQ(term->endColumn(line), 75) << "line " << line;

    term->keys({"Left"});  // one key, whatever it is
    ASSERT_TRUE(term->waitForLine(kFooter)) << dump();
    expectScreenStartsWith(kMenu);
    EXPECT_EQ(highlightedRow(), 1) << "back on the first entry";
}

TEST_F(OnTerminal, EscapeLeadsToTheClosingScreenAndTheTerminalIsAsBefore) {
    term->keys({"Escape"});
    ASSERT_TRUE(term->waitForLine("Press any key to continue . . .")) << dump();
    const auto shown = term->screen();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[1], "Vornhal TXR Extractor v1.4") << "a cleared screen";
    term->keys({"q"});
    EXPECT_EQ(report(), "exit=0 signal=0 same=1\n");
}

struct Interruption {
    const char* name;
    int signal;  // sent to the tool; 0 for Ctrl-C typed on the terminal
    int diesOf;
};

class Interrupting : public OnTerminal, public ::testing::WithParamInterface<Interruption> {};

TEST_P(Interrupting, TheTerminalGetsItsSettingsBack) {
    // Interrupted on the menu's highlighted screen, with keys being read.
    term->keys({"Up"});
    ASSERT_TRUE(term->waitFor([&](const auto&) { return highlightedRow() == 3; }));
    if (GetParam().signal == 0)
        term->keys({"C-c"});
    else
        ::kill(toolPid(), GetParam().signal);
    EXPECT_EQ(report(), "exit=-1 signal=" + std::to_string(GetParam().diesOf) + " same=1\n");
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupting,
                         ::testing::Values(Interruption{"CtrlC", 0, SIGINT}, Interruption{"Term", SIGTERM, SIGTERM},
                                           Interruption{"HangUp", SIGHUP, SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

bool fileAppears(const fs::path& path) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(path) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path);
}

class StoppedOnTerminal : public ::testing::TestWithParam<std::vector<std::string>> {};

// Ctrl-Z from a shell with job control, then `fg`. Dash leaves the terminal
// as a stopped job had it; bash puts its own settings back, also for `fg`.
TEST_P(StoppedOnTerminal, TheShellGetsItsSettingsAndTheMenuItsKeysBack) {
    if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
    if (runCommand({GetParam().front(), "-c", "true"}).exitCode != 0) GTEST_SKIP() << "no " << GetParam().front();
    ScratchDir dir;
    Tmux term(GetParam(), {"LC_ALL=C.UTF-8", "PS1=$ "}, dir.path().string());
    term.keys({"-l", "stty -g > before; " + toolPath()});
    term.keys({"Enter"});
    ASSERT_TRUE(term.waitForLine(kFooter));

    term.keys({"C-z"});
    ASSERT_TRUE(term.waitFor([](const auto& lines) {
        for (const auto& l : lines)
            if (l.find("Stopped") != std::string::npos) return true;
        return false;
    }));
    term.keys({"-l", "stty -g > part && mv part after"});
    term.keys({"Enter"});
    ASSERT_TRUE(fileAppears(dir / "after"));
    EXPECT_EQ(readBytes(dir / "after"), readBytes(dir / "before"));

    term.keys({"-l", "fg"});
    term.keys({"Enter"});
    term.keys({"3"});  // no Enter: keys come one at a time again
    EXPECT_TRUE(term.waitForLine("    <<< Press any key back to menu >>>"));
}

INSTANTIATE_TEST_SUITE_P(Shells, StoppedOnTerminal,
                         ::testing::Values(std::vector<std::string>{"dash", "-i"},
                                           std::vector<std::string>{"bash", "--norc", "--noprofile", "-i"}),
                         [](const auto& info) { return info.param.front(); });

}  // namespace
