// The Big5 frame glyphs as UTF-8, measured with the C library's width table
// (the one terminals such as tmux use), which only POSIX systems have.
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

}  // namespace
