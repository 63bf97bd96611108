// The help screen and the main menu, on a fake console with fake actions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menu/menu.h"
#include "support/fake_console.h"

namespace {

using testing_support::FakeConsole;
using namespace txr;

const std::string kTitle = "Vornhal TXR Extractor v1.4";

std::string horizontal() {
    std::string line;
    for (int i = 0; i < 35; ++i) line += "\xA2\x77";
    return line;
}

const std::string kTop = "\xA1\x40\xA2\x7A" + horizontal() + "\xA2\x7B";
const std::string kBottom = "\xA1\x40\xA2\x7C" + horizontal() + "\xA2\x7D";

std::string helpLine(const std::string& text, std::size_t blanks) {
    return "\xA1\x40\xA2\x78" + text + std::string(blanks, ' ') + "\xA2\x78";
}

// ---- Help ----------------------------------------------------------------------

TEST(Help, ShowsBothPanelsThenWaitsForOneKey) {
    FakeConsole console({"xy"});

    showHelp(console);

    ASSERT_EQ(console.clears, 1);
    const std::vector<std::string> expected = {
        "",
        kTop,
        helpLine("Usage(1):", 61),
        helpLine("    Direct run this exe will show the menu.", 27),
        helpLine("    You can extract all *.txr on the same folder,", 21),
        helpLine("    or undo last convertion.", 42),
        helpLine("    #Notice that \"Undo\" only process the last convertion.", 13),
        kBottom,
        kTop,
        helpLine("Usage(2):", 61),
        helpLine("    drag txr file(s) on \"vrnhTXRextractor13.exe\" by your cursor,", 6),
        helpLine("    or open as command \"vrnhTXRextractor13 [txr file]\"", 16),
        kBottom,
        "",
        "    <<< Press any key back to menu >>>",
    };
    std::vector<std::string> shown;
    for (const auto& line : console.screens.at(0).lines()) shown.push_back(line.text);
    EXPECT_EQ(shown, expected);
    for (std::size_t i = 1; i < 13; ++i) EXPECT_EQ(shown.at(i).size(), 76u) << i;
    EXPECT_EQ(console.screens[0].text.back(), '\n') << "the cursor under the last line";
    for (int a : console.screens[0].attributes) EXPECT_EQ(a, 7);

    EXPECT_EQ(console.unread(), "y") << "exactly one key";
    EXPECT_FALSE(console.inKeyMode);
}

TEST(Help, AnyKeyEndsIt) {
    for (const std::string key : {"\x1b[C", "\x1bOP", "\r", "\x1b", "\xE0M"}) {
        FakeConsole console({key, "z"});
        showHelp(console);
        EXPECT_EQ(console.unread(), "z") << "the whole key, and only it";
    }
    FakeConsole ended;
    showHelp(ended);  // returns at once at the end of input
    EXPECT_EQ(ended.clears, 1);
}

// ---- Main menu ---------------------------------------------------------------

// Fake actions that note what ran ("E" the batch, "U" the undo, "H" the help
// screen) and check the console is free while they run.
struct Recorder {
    FakeConsole console;
    std::string log;
    Outcome extractGives = Outcome::allDone;
    Outcome undoGives = Outcome::allDone;

    explicit Recorder(std::vector<std::string> keys) : console(std::move(keys)) {}

    Outcome run() {
        const MainMenuActions actions{
            [this] {
                expectConsoleFree();
                log += "E";
                return extractGives;
            },
            [this] {
                expectConsoleFree();
                log += "U";
                return undoGives;
            },
        };
        const Outcome outcome = runMainMenu(console, actions, kTitle);
        for (const auto& screen : console.screens)
            if (screen.text.find("Usage(1):") != std::string::npos) log += "H";
        return outcome;
    }

    // Actions show their own screens and may ask their own questions.
    void expectConsoleFree() {
        EXPECT_FALSE(console.inKeyMode);
        EXPECT_EQ(console.attribute, 7);
    }

    // Where the highlight stands on each menu screen, in order.
    std::vector<int> highlights() const {
        std::vector<int> rows;
        for (const auto& screen : console.screens) {
            const auto lines = screen.lines();
            if (lines.size() != 8 || lines[1].text != "   " + kTitle) continue;
            int row = 0;
            for (int r = 1; r <= 3; ++r)
                for (int a : lines[2 + r].attributes) row = a == 0x9F ? r : row;
            rows.push_back(row);
        }
        return rows;
    }
};

TEST(MainMenu, LooksAsIntended) {
    Recorder r({"\x1b"});
    r.run();

    ASSERT_EQ(r.console.screens.size(), 1u);
    std::vector<std::string> shown;
    for (const auto& line : r.console.screens[0].lines()) shown.push_back(line.text);
    const std::string footer = "\xA1\x69" "ESC:Exit" "\xA1\x6A" " "
                               "\xA1\x69" "\xA1\xF4\xA1\xF5" "Enter:Select" "\xA1\x6A" " "
                               "\xA1\x69" "<?>:Hotkey" "\xA1\x6A";
    const std::vector<std::string> expected = {
        "",
        "   " + kTitle,
        kTop,
        helpLine("<1> Extract all \".txr\" file(s) in this folder", 25),
        helpLine("<2> Undo last convertion", 46),
        helpLine("<3> How to use?", 55),
        kBottom,
        "   " + footer,
    };
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(footer.size(), 48u);
    EXPECT_EQ(r.highlights(), std::vector<int>{1});
}

struct PassCase {
    const char* name;
    std::vector<std::string> keys;
    std::string ran;
    std::vector<int> highlights;  // on each menu screen
};

class Pass : public ::testing::TestWithParam<PassCase> {};

TEST_P(Pass, KeysRunTheirActionsAndTheMenuComesBackOnItsFirstEntry) {
    Recorder r(GetParam().keys);

    EXPECT_EQ(r.run(), Outcome::allDone);

    EXPECT_EQ(r.log, GetParam().ran);
    EXPECT_EQ(r.highlights(), GetParam().highlights);
    EXPECT_EQ(r.console.unread(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Pass,
    ::testing::Values(PassCase{"EscapeLeaves", {"\x1b"}, "", {1}},
                      PassCase{"EndOfInputLeaves", {}, "", {1}},
                      PassCase{"OneRunsTheBatch", {"1"}, "E", {1, 1}},
                      PassCase{"TwoRunsTheUndo", {"2"}, "U", {1, 1}},
                      PassCase{"ThreeShowsHelp", {"3x"}, "H", {1, 1}},
                      PassCase{"EnterTakesTheHighlight", {"\r", "\x1b[B", "\r", "\x1b[A", "\r", "h"}, "EUH",
                               {1, 1, 2, 1, 3, 1}},
                      PassCase{"EscapeWhereverTheHighlightIs", {"\x1b[B", "\x1b[B", "\x1b"}, "", {1, 2, 3}},
                      PassCase{"BatchTwice", {"1", "1", "\x1b"}, "EE", {1, 1, 1}},
                      PassCase{"OtherKeysDoNothing", {"4", "q", "\x1b[C", "\x1b"}, "", {1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainMenu, AFailedActionMakesTheWholeRunFailed) {
    Recorder batchFails({"1", "2"});
    batchFails.extractGives = Outcome::someFailed;
    EXPECT_EQ(batchFails.run(), Outcome::someFailed);
    EXPECT_EQ(batchFails.log, "EU");

    Recorder undoFails({"2", "1"});
    undoFails.undoGives = Outcome::someFailed;
    EXPECT_EQ(undoFails.run(), Outcome::someFailed);
    EXPECT_EQ(undoFails.log, "UE");
}

}  // namespace
