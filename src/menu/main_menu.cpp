// The tool's own screens: the main menu and the help screen.
#include <array>

#include "flow/flow.h"
#include "menu/menu.h"

namespace txr {

namespace {

// Inside a box, a line holds 70 bytes between its edges.
constexpr std::size_t kInnerWidth = 70;

// The frame's Big5 margin and edge.
constexpr std::string_view kMargin = "\xA1\x40";
constexpr std::string_view kEdge = "\xA2\x78";

constexpr std::array<std::string_view, 5> kHelpUsage1 = {
    "Usage(1):",
    "    Direct run this exe will show the menu.",
    "    You can extract all *.txr on the same folder,",
    "    or undo last convertion.",
    "    #Notice that \"Undo\" only process the last convertion.",
};

constexpr std::array<std::string_view, 3> kHelpUsage2 = {
    "Usage(2):",
    "    drag txr file(s) on \"vrnhTXRextractor13.exe\" by your cursor,",
    "    or open as command \"vrnhTXRextractor13 [txr file]\"",
};

constexpr std::string_view kPressAnyKey = "    <<< Press any key back to menu >>>";

// 【ESC:Exit】 【↑↓Enter:Select】 【<?>:Hotkey】 in Big5.
constexpr std::string_view kFooter =
    "\xA1\x69" "ESC:Exit" "\xA1\x6A"
    " "
    "\xA1\x69" "\xA1\xF4" "\xA1\xF5" "Enter:Select" "\xA1\x6A"
    " "
    "\xA1\x69" "<?>:Hotkey" "\xA1\x6A";

template <std::size_t N>
void writePanel(plat::Console& console, const std::array<std::string_view, N>& texts) {
    console.write(topBorder() + "\n");
    for (std::string_view text : texts) {
        std::string line(kMargin);
        line += kEdge;
        line += text;
        line.resize(kMargin.size() + kEdge.size() + kInnerWidth, ' ');
        line += kEdge;
        console.write(line + "\n");
    }
    console.write(bottomBorder() + "\n");
}

}  // namespace

void showHelp(plat::Console& console) {
    console.clear();
    console.write("\n");
    writePanel(console, kHelpUsage1);
    writePanel(console, kHelpUsage2);
    console.write("\n");
    console.write(std::string(kPressAnyKey) + "\n");
    // Any key at all, even one without a code.
    get_code(console);
    console.endKeys();
}

Outcome runMainMenu(plat::Console& console, const MainMenuActions& actions, std::string title) {
    // Kept across passes: the menu fits them to their field in place.
    std::string items[] = {
        "Extract all \".txr\" file(s) in this folder",
        "Undo last convertion",
        "How to use?",
    };
    const int keys[] = {'1', '2', '3', kKeyEscape};

    Outcome outcome = Outcome::allDone;
    for (;;) {
        // Every pass starts on the first entry.
        const int choice = MENU2(console, items, 3, 1, keys, 4, title, std::string(kFooter));
        Outcome done = Outcome::allDone;
        if (choice == 1)
            done = actions.extractAll();
        else if (choice == 2)
            done = actions.undoLast();
        else if (choice == 3)
            showHelp(console);
        else
            break;  // ESC, or the end of input
        if (done == Outcome::someFailed) outcome = Outcome::someFailed;
    }
    return outcome;
}

Outcome runMainMenu(std::string programDir, std::string title) {
    plat::StandardConsole console;
    const MainMenuActions actions{
        [&] { return extractAll(programDir); },
        [&] { return undoLast(programDir); },
    };
    return runMainMenu(console, actions, std::move(title));
}

}  // namespace txr
