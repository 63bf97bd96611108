// The menu widget: key decoding, drawing and the key loop, on a fake console.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "menu/menu.h"
#include "support/fake_console.h"

namespace {

using testing_support::FakeConsole;
using namespace txr;

const std::string kMargin = "\xA1\x40";
const std::string kEdge = "\xA2\x78";

std::string horizontal() {
    std::string line;
    for (int i = 0; i < 35; ++i) line += "\xA2\x77";
    return line;
}

const std::string kTop = kMargin + "\xA2\x7A" + horizontal() + "\xA2\x7B";
const std::string kBottom = kMargin + "\xA2\x7C" + horizontal() + "\xA2\x7D";

std::string row(char label, const std::string& field) { return kMargin + kEdge + "<" + label + "> " + field + kEdge; }

// ---- Key decoding ------------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string bytes;
    bool nothingFollows;
    int code;
    std::size_t used;
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, BytesGiveOneKey) {
    const DecodeCase& c = GetParam();
    const DecodedKey key = decodeKey(c.bytes, c.nothingFollows);
    EXPECT_EQ(key.code, c.code);
    if (c.code != kMoreBytes) {
        EXPECT_EQ(key.used, c.used);
    }
}

const std::string kNul(1, '\0');

INSTANTIATE_TEST_SUITE_P(
    Table, Decode,
    ::testing::Values(
        DecodeCase{"UpCsi", "\x1b[A", false, kKeyUp, 3}, DecodeCase{"UpSs3", "\x1bOA", false, kKeyUp, 3},
        DecodeCase{"DownCsi", "\x1b[B", false, kKeyDown, 3}, DecodeCase{"DownSs3", "\x1bOB", false, kKeyDown, 3},
        DecodeCase{"UpThenMore", "\x1b[A\x1b[B", false, kKeyUp, 3},
        DecodeCase{"CarriageReturnAlone", "\r", true, kKeyEnter, 1},
        DecodeCase{"CarriageReturnMayGoOn", "\r", false, kMoreBytes, 0},
        DecodeCase{"CrLfIsOneEnter", "\r\n", false, kKeyEnter, 2},
        DecodeCase{"CarriageReturnThenDigit", "\r1", false, kKeyEnter, 1},
        DecodeCase{"LineFeed", "\n", false, kKeyEnter, 1},
        DecodeCase{"Digit", "1\x1b[A", false, '1', 1}, DecodeCase{"Delete", "\x7f", false, 0x7f, 1},
        DecodeCase{"HighByte", "\xA1", false, 0xA1, 1},
        DecodeCase{"LoneEscape", "\x1b", true, kKeyEscape, 1},
        DecodeCase{"EscapeMayGoOn", "\x1b", false, kMoreBytes, 0},
        DecodeCase{"EscapeThenDigit", "\x1b" "2", false, kKeyEscape, 1},
        DecodeCase{"EscapeThenLetter", "\x1bx", false, kKeyEscape, 1},
        DecodeCase{"EscapeTwice", "\x1b\x1b", false, kKeyEscape, 1},
        DecodeCase{"Right", "\x1b[C", false, kOtherKey, 3}, DecodeCase{"Left", "\x1b[D", false, kOtherKey, 3},
        DecodeCase{"Home", "\x1b[H", false, kOtherKey, 3}, DecodeCase{"HomeSs3", "\x1bOH", false, kOtherKey, 3},
        DecodeCase{"F1", "\x1bOP", false, kOtherKey, 3}, DecodeCase{"F5", "\x1b[15~", false, kOtherKey, 5},
        DecodeCase{"CtrlUp", "\x1b[1;5A", false, kOtherKey, 6},
        DecodeCase{"LinuxConsoleF1", "\x1b[[A", false, kOtherKey, 4},
        DecodeCase{"SequenceGoesOn", "\x1b[1;5", false, kMoreBytes, 0},
        DecodeCase{"SequenceCutOff", "\x1b[1;5", true, kOtherKey, 5},
        DecodeCase{"BracketCutOff", "\x1b[", true, kOtherKey, 2},
        DecodeCase{"SequenceBrokenByEscape", "\x1b[1\x1b[A", false, kOtherKey, 3},
        DecodeCase{"PrefixE0Up", "\xE0H", false, kKeyUp, 2}, DecodeCase{"PrefixNulUp", kNul + "H", false, kKeyUp, 2},
        DecodeCase{"PrefixE0Down", "\xE0P", false, kKeyDown, 2},
        DecodeCase{"PrefixNulF1", kNul + ";", false, 0x13B, 2},
        DecodeCase{"PrefixMayGoOn", "\xE0", false, kMoreBytes, 0},
        DecodeCase{"PrefixCutOff", "\xE0", true, kOtherKey, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Every code get_code gives until the input ends.
std::vector<int> codesOf(std::vector<std::string> bursts) {
    FakeConsole console(std::move(bursts));
    std::vector<int> codes;
    for (int code = get_code(console); code != kEndOfInput; code = get_code(console)) codes.push_back(code);
    return codes;
}

TEST(GetCode, ReadsWholeKeysAndLeavesTheNextOneUnread) {
    using V = std::vector<int>;
    EXPECT_EQ(codesOf({"\x1b[A\x1b[B\r"}), (V{kKeyUp, kKeyDown, kKeyEnter}));
    EXPECT_EQ(codesOf({"\x1b[1;5A", "\x1b[C", "3"}), (V{kOtherKey, kOtherKey, '3'}));
    // ESC in a pipe: the next byte tells.
    EXPECT_EQ(codesOf({"\x1b" "2"}), (V{kKeyEscape, '2'}));
    EXPECT_EQ(codesOf({"\x1b\x1b[A"}), (V{kKeyEscape, kKeyUp}));
    EXPECT_EQ(codesOf({"\x1b[1\x1b[B"}), (V{kOtherKey, kKeyDown}));
    EXPECT_EQ(codesOf({"\xE0H\xE0P"}), (V{kKeyUp, kKeyDown}));
}

TEST(GetCode, APauseEndsAKey) {
    using V = std::vector<int>;
    // On a terminal nothing came with the ESC: it was pressed alone.
    EXPECT_EQ(codesOf({"\x1b", "[A"}), (V{kKeyEscape, '[', 'A'}));
    EXPECT_EQ(codesOf({"\x1b[1;", "5A"}), (V{kOtherKey, '5', 'A'}));
    EXPECT_EQ(codesOf({"\xE0", "H"}), (V{kOtherKey, 'H'}));
}

TEST(GetCode, EndOfInputReturnsAtOnceEveryTime) {
    FakeConsole console;
    EXPECT_EQ(get_code(console), kEndOfInput);
    EXPECT_EQ(get_code(console), kEndOfInput);
    EXPECT_EQ(codesOf({"\x1b"}), std::vector<int>{kKeyEscape});
}

// ---- Drawing -------------------------------------------------------------------

const int kKeys[] = {'1', '2', '3', kKeyEscape};

TEST(ShowMenu, DrawsTitleAndABoxOfFrameLines) {
    FakeConsole console;
    std::string items[] = {"Extract", "Undo", "Help"};

    showMENU(console, items, 3, 2, kKeys, "Title here");

    ASSERT_EQ(console.clears, 1);
    const auto lines = console.screens.at(0).lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].text, "");
    EXPECT_EQ(lines[1].text, "   Title here");
    EXPECT_EQ(lines[2].text, kTop);
    EXPECT_EQ(lines[3].text, row('1', "Extract" + std::string(59, ' ')));
    EXPECT_EQ(lines[4].text, row('2', "Undo" + std::string(62, ' ')));
    EXPECT_EQ(lines[5].text, row('3', "Help" + std::string(62, ' ')));
    EXPECT_EQ(lines[6].text, kBottom);
    for (std::size_t i = 2; i < lines.size(); ++i) EXPECT_EQ(lines[i].text.size(), 76u) << i;
    EXPECT_EQ(console.screens[0].text.back(), '\n');
}

TEST(ShowMenu, OnlyTheSelectedItemFieldIsHighlighted) {
    FakeConsole console;
    std::string items[] = {"one", "two", "three"};

    showMENU(console, items, 3, 2, kKeys, "T");

    const auto lines = console.screens.at(0).lines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (std::size_t b = 0; b < lines[i].attributes.size(); ++b) {
            // "\xA1\x40\xA2\x78<2> " is 8 bytes, then the 66-byte field.
            const bool inField = i == 4 && b >= 8 && b < 74;
            EXPECT_EQ(lines[i].attributes[b], inField ? 0x9F : 7) << "line " << i << " byte " << b;
        }
    }
    EXPECT_EQ(console.attribute, 7) << "normal colours after the field";
}

TEST(ShowMenu, ASelectionOutsideTheRowsHighlightsNothing) {
    for (int selected : {0, -1, 4, 100}) {
        FakeConsole console;
        std::string items[] = {"one", "two", "three"};
        showMENU(console, items, 3, selected, kKeys, "T");
        for (int a : console.screens.at(0).attributes) ASSERT_EQ(a, 7) << selected;
    }
}

struct FitCase {
    const char* name;
    std::string item;
    std::string field;
};

class Fit : public ::testing::TestWithParam<FitCase> {};

TEST_P(Fit, EachItemIsFittedToItsFieldInPlace) {
    FakeConsole console;
    std::string items[] = {GetParam().item};
    const int keys[] = {'1'};

    showMENU(console, items, 1, 1, keys, "T");

    EXPECT_EQ(items[0], GetParam().field);
    EXPECT_EQ(console.screens.at(0).lines().at(3).text, row('1', GetParam().field));
    // Fitting again changes nothing.
    showMENU(console, items, 1, 1, keys, "T");
    EXPECT_EQ(items[0], GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Fit,
    ::testing::Values(FitCase{"Empty", "", std::string(66, ' ')},
                      FitCase{"Short", std::string(20, 'a'), std::string(20, 'a') + std::string(46, ' ')},
                      FitCase{"Exact", std::string(66, 'b'), std::string(66, 'b')},
                      FitCase{"OneTooLong", std::string(66, 'c') + "d", std::string(66, 'c')},
                      FitCase{"Long", std::string(60, 'e') + "0123456789", std::string(60, 'e') + "012345"},
                      // Cut by bytes, even inside a two-byte character.
                      FitCase{"CutInsideBig5", std::string(65, 'f') + "\xA4\xA4", std::string(65, 'f') + "\xA4"},
                      FitCase{"TrailingBlanksKept", "x   ", "x" + std::string(65, ' ')}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShowMenu, LabelsAreTheLowByteOfEachKey) {
    FakeConsole console;
    std::string items[] = {"a", "b", "c"};
    const int keys[] = {kKeyUp, 'x', 0x17A};

    showMENU(console, items, 3, 1, keys, "T");

    const auto lines = console.screens.at(0).lines();
    EXPECT_EQ(lines.at(3).text.substr(4, 4), "<H> ");
    EXPECT_EQ(lines.at(4).text.substr(4, 4), "<x> ");
    EXPECT_EQ(lines.at(5).text.substr(4, 4), "<z> ");
}

TEST(ShowMenu, TitleIsWrittenUnchanged) {
    FakeConsole console;
    std::string items[] = {"a"};
    const std::string title(90, 't');

    showMENU(console, items, 1, 1, kKeys, title);

    EXPECT_EQ(console.screens.at(0).lines().at(1).text, "   " + title);
}

// ---- The key loop --------------------------------------------------------------

// The row whose item field is highlighted on a screen, from 1; 0 for none.
int highlightedRow(const FakeConsole::Screen& screen) {
    const auto lines = screen.lines();
    int found = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (int a : lines[i].attributes) {
            if (a == 0x9F) {
                found = static_cast<int>(i) - 2;
                break;
            }
        }
    }
    return found;
}

struct LoopCase {
    const char* name;
    std::vector<std::string> keys;  // bursts, as a terminal delivers them
    int selected;
    int result;
    int redraws;
    int highlighted;  // on the last screen
    std::string unread;
};

class Loop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(Loop, KeysGiveTheChoice) {
    const LoopCase& c = GetParam();
    FakeConsole console(c.keys);
    std::string items[] = {"Extract", "Undo", "Help"};

    const int result = MENU2(console, items, 3, c.selected, kKeys, 4, "Title", "Footer");

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(console.clears - 1, c.redraws);
    ASSERT_FALSE(console.screens.empty());
    EXPECT_EQ(highlightedRow(console.screens.back()), c.highlighted);
    EXPECT_EQ(console.unread(), c.unread);
    EXPECT_FALSE(console.inKeyMode) << "the terminal gets its settings back";
    EXPECT_EQ(console.attribute, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Loop,
    ::testing::Values(LoopCase{"EnterTakesTheFirstRow", {"\r"}, 1, 1, 0, 1, ""},
                      LoopCase{"EnterTakesTheGivenRow", {"\n"}, 2, 2, 0, 2, ""},
                      LoopCase{"DownThenEnter", {"\x1b[B", "\r"}, 1, 2, 1, 2, ""},
                      LoopCase{"UpOnTheFirstRowWraps", {"\x1b[A", "\r"}, 1, 3, 1, 3, ""},
                      LoopCase{"DownOnTheLastRowWraps", {"\x1bOB", "\x1bOB", "\x1bOB", "\r"}, 1, 1, 3, 1, ""},
                      LoopCase{"UpAndDownInOneBurst", {"\x1b[A\x1b[A\x1b[B\r"}, 1, 3, 3, 3, ""},
                      LoopCase{"WindowsArrows", {"\xE0H", std::string("\0P", 2), "\xE0H\r"}, 2, 1, 3, 1, ""},
                      LoopCase{"HotkeyAtOnceWithoutMoving", {"2x"}, 1, 2, 0, 1, "x"},
                      LoopCase{"HotkeyAfterAMove", {"\x1b[B", "3"}, 1, 3, 1, 2, ""},
                      LoopCase{"EscapeIsTheFourthHotkey", {"\x1b[B", "\x1b"}, 1, 4, 1, 2, ""},
                      LoopCase{"OtherKeysChangeNothing", {"x", "\x1b[C", "\x1b[1;5A", "\x1bOP", "\r"}, 1, 1, 0, 1, ""},
                      LoopCase{"EscapeThenDigitInAPipe", {"\x1b" "1"}, 1, 4, 0, 1, "1"},
                      LoopCase{"EndOfInputActsAsEscape", {}, 1, 4, 0, 1, ""},
                      LoopCase{"EndOfInputAfterMoves", {"\x1b[B\x1b[B"}, 1, 4, 2, 3, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Menu2, DrawsTheFooterUnderTheBoxEachTime) {
    const std::string footer = "\xA1\x69" "ESC:Exit" "\xA1\x6A" " and more";
    FakeConsole console({"\x1b[B", "\r"});
    std::string items[] = {"a", "b"};

    MENU2(console, items, 2, 1, kKeys, 4, "T", footer);

    ASSERT_EQ(console.screens.size(), 2u);
    for (const auto& screen : console.screens) {
        const auto lines = screen.lines();
        ASSERT_EQ(lines.size(), 7u);
        EXPECT_EQ(lines[5].text, kBottom);
        EXPECT_EQ(lines[6].text, "   " + footer);
    }
}

TEST(Menu2, TheFirstOfTwoEqualHotkeysCounts) {
    FakeConsole console({"b"});
    std::string items[] = {"a", "b", "c"};
    const int keys[] = {'a', 'b', 'b', 'b'};

    EXPECT_EQ(MENU2(console, items, 3, 1, keys, 4, "T", "F"), 2);
}

TEST(Menu2, AHotkeyMayHaveNoRow) {
    FakeConsole console({"z"});
    std::string items[] = {"a", "b"};
    const int keys[] = {'a', 'b', 'y', 'z'};

    EXPECT_EQ(MENU2(console, items, 2, 1, keys, 4, "T", "F"), 4);
}

TEST(Menu2, OnlyTheFirstKeyCountEntriesAreHotkeys) {
    FakeConsole console({"3", "1"});
    std::string items[] = {"a", "b", "c"};

    EXPECT_EQ(MENU2(console, items, 3, 1, kKeys, 1, "T", "F"), 1);
    EXPECT_EQ(console.unread(), "");
}

TEST(Menu2, AnArrowListedAsHotkeyMovesFirst) {
    FakeConsole console({"\x1b[B"});
    std::string items[] = {"a", "b"};
    const int keys[] = {'1', '2', kKeyDown};

    EXPECT_EQ(MENU2(console, items, 2, 1, keys, 3, "T", "F"), 3);
    EXPECT_EQ(console.clears, 2);
    EXPECT_EQ(highlightedRow(console.screens.back()), 2);
}

TEST(Menu2, EnterListedAsHotkeyGivesItsPosition) {
    FakeConsole console({"\r"});
    std::string items[] = {"a", "b"};
    const int keys[] = {'1', '2', kKeyEnter};

    EXPECT_EQ(MENU2(console, items, 2, 2, keys, 3, "T", "F"), 3);
}

TEST(Menu2, EndOfInputWithoutAnEscapeHotkeyGivesZero) {
    FakeConsole console({"x"});
    std::string items[] = {"a", "b"};
    const int keys[] = {'1', '2'};

    EXPECT_EQ(MENU2(console, items, 2, 1, keys, 2, "T", "F"), 0);
}

}  // namespace
