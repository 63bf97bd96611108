// Console text: Big5 glyphs as UTF-8, attributes as colours.
#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>

#include "platform/platform.h"

namespace {

// Columns a UTF-8 text takes in a terminal, by the C library's width table
// (the one terminals such as tmux use); -1 when the locale is missing.
int columns(const std::string& utf8) {
    const std::string old = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) return -1;
    std::wstring wide(utf8.size() + 1, L'\0');
    const std::size_t n = std::mbstowcs(wide.data(), utf8.c_str(), wide.size());
    const int width = n == static_cast<std::size_t>(-1) ? -2 : ::wcswidth(wide.c_str(), n);
    std::setlocale(LC_CTYPE, old.c_str());
    return width;
}

struct GlyphCase {
    const char* big5;
    const char* utf8;
};

class Glyph : public ::testing::TestWithParam<GlyphCase> {};

TEST_P(Glyph, BecomesUtf8TwoColumnsWide) {
    const std::string utf8 = plat::big5GlyphsToUtf8(GetParam().big5);
    EXPECT_EQ(utf8, GetParam().utf8);
    const int width = columns(utf8);
    if (width == -1) GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(width, 2) << utf8;
}

INSTANTIATE_TEST_SUITE_P(Frame, Glyph,
                         ::testing::Values(GlyphCase{"\xA1\x40", "\u3000"}, GlyphCase{"\xA2\x7A", "┌─"},
                                           GlyphCase{"\xA2\x77", "──"}, GlyphCase{"\xA2\x7B", "┐ "},
                                           GlyphCase{"\xA2\x78", "│ "}, GlyphCase{"\xA2\x7C", "└─"},
                                           GlyphCase{"\xA2\x7D", "┘ "}, GlyphCase{"\xA1\x69", "【"},
                                           GlyphCase{"\xA1\x6A", "】"}, GlyphCase{"\xA1\xF4", "↑ "},
                                           GlyphCase{"\xA1\xF5", "↓ "}));

// The column (from 0) where the last `mark` of a UTF-8 line shows.
int columnOfLast(const std::string& utf8, const std::string& mark) {
    const std::size_t at = utf8.rfind(mark);
    return at == std::string::npos ? -3 : columns(utf8.substr(0, at));
}

TEST(Big5ToUtf8, ABoxKeepsItsEdgesInLine) {
    std::string horizontal;
    for (int i = 0; i < 35; ++i) horizontal += "\xA2\x77";
    const std::string top = plat::big5GlyphsToUtf8("\xA1\x40\xA2\x7A" + horizontal + "\xA2\x7B");
    const std::string row = plat::big5GlyphsToUtf8("\xA1\x40\xA2\x78<1> " + std::string(66, 'x') + "\xA2\x78");
    const std::string bottom = plat::big5GlyphsToUtf8("\xA1\x40\xA2\x7C" + horizontal + "\xA2\x7D");

    if (columns(top) == -1) GTEST_SKIP() << "no C.UTF-8 locale";
    EXPECT_EQ(columns(top), 76);
    EXPECT_EQ(columns(row), 76);
    EXPECT_EQ(columns(bottom), 76);
    EXPECT_EQ(columnOfLast(top, "┐"), 74);
    EXPECT_EQ(columnOfLast(row, "│"), 74);
    EXPECT_EQ(columnOfLast(bottom, "┘"), 74);
    EXPECT_EQ(columnOfLast(top, "┌"), 2);
    EXPECT_EQ(row.find("│"), top.find("┌"));
    EXPECT_EQ(columnOfLast(bottom, "└"), 2);
}

TEST(Big5ToUtf8, LeavesEverythingElseAlone) {
    EXPECT_EQ(plat::big5GlyphsToUtf8("<1> Extract all \".txr\" file(s)"), "<1> Extract all \".txr\" file(s)");
    EXPECT_EQ(plat::big5GlyphsToUtf8(""), "");
    // An unknown pair stays whole, and its trail byte never starts a pair
    // of its own: A1 40 here is the end of A2 A1 and a plain "@".
    EXPECT_EQ(plat::big5GlyphsToUtf8("\xA2\xA1\x40"), "\xA2\xA1\x40");
    EXPECT_EQ(plat::big5GlyphsToUtf8("a\xA2\xA1\xA1\x40"), "a\xA2\xA1\u3000");
    // A lead byte cut off at the end, as an item cut to its field may be.
    EXPECT_EQ(plat::big5GlyphsToUtf8("ab\xA2"), "ab\xA2");
    EXPECT_EQ(plat::big5GlyphsToUtf8("\xA1\x69" "ESC:Exit\xA1\x6A"), "【ESC:Exit】");
}

TEST(Codeset, Big5IsRecognisedByItsUsualNames) {
    for (const char* name : {"BIG5", "BIG5-HKSCS", "Big5", "Big5HKSCS", "big5"}) EXPECT_TRUE(plat::isBig5Codeset(name)) << name;
    for (const char* name : {"UTF-8", "ANSI_X3.4-1968", "", "BIG", "GB18030", "EUC-TW"})
        EXPECT_FALSE(plat::isBig5Codeset(name)) << name;
}

struct AttributeCase {
    int attribute;
    const char* escape;
};

class Attribute : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(Attribute, BecomesTerminalColours) {
    EXPECT_EQ(plat::escapeForAttribute(GetParam().attribute), GetParam().escape);
}

INSTANTIATE_TEST_SUITE_P(Table, Attribute,
                         ::testing::Values(AttributeCase{7, "\x1b[0m"},                 // the terminal's own
                                           AttributeCase{0x9F, "\x1b[0;97;104m"},       // bright white on light blue
                                           AttributeCase{0x1E, "\x1b[0;93;44m"},        // yellow on blue
                                           AttributeCase{0x0C, "\x1b[0;91;40m"},        // red and blue swap places
                                           AttributeCase{0x70, "\x1b[0;30;47m"},        // black on grey
                                           AttributeCase{0x00, "\x1b[0;30;40m"}));

}  // namespace
