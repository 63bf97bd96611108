// Console text: Big5 glyphs as UTF-8, attributes as colours. How wide the
// glyphs show is measured in console_text_posix_test.cpp.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

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
