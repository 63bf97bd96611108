// The menu through the real binary where only POSIX systems can show it: in
// a Big5 locale.
#include <gtest/gtest.h>

#include "support/menu_from_pipe.h"

namespace {

using namespace testing_support;

// Few systems have a Big5 locale installed; the tests make one.
class MenuInBig5 : public MenuFromPipe {
protected:
    static void SetUpTestSuite() {
        locales = new ScratchDir;
        runCommand({"localedef", "-i", "zh_TW", "-f", "BIG5", locales->str("zh_TW.BIG5")});
    }
    static void TearDownTestSuite() {
        delete locales;
        locales = nullptr;
    }
    void SetUp() override {
        MenuFromPipe::SetUp();
        if (!fs::exists(*locales / "zh_TW.BIG5" / "LC_CTYPE")) GTEST_SKIP() << "cannot make a Big5 locale here";
    }
    static ScratchDir* locales;
};

ScratchDir* MenuInBig5::locales = nullptr;

TEST_F(MenuInBig5, FrameGlyphsGoOutUnchanged) {
    const RunResult r = run("3", {"LOCPATH=" + locales->path().string(), "LC_ALL=zh_TW.BIG5"});

    EXPECT_EQ(r.exitCode, 0);
    const std::string top = "\xA1\x40\xA2\x7A" + repeat("\xA2\x77", 35) + "\xA2\x7B";
    const std::string bottom = "\xA1\x40\xA2\x7C" + repeat("\xA2\x77", 35) + "\xA2\x7D";
    const std::string first =
        "\xA1\x40\xA2\x78<1> Extract all \".txr\" file(s) in this folder" + std::string(25, ' ') + "\xA2\x78";
    const std::string footer = "   \xA1\x69" "ESC:Exit" "\xA1\x6A \xA1\x69\xA1\xF4\xA1\xF5" "Enter:Select"
                               "\xA1\x6A \xA1\x69<?>:Hotkey\xA1\x6A";
    const std::string usage = "\xA1\x40\xA2\x78Usage(1):" + std::string(61, ' ') + "\xA2\x78";
    EXPECT_EQ(top.size(), 76u);
    EXPECT_EQ(first.size(), 76u);
    EXPECT_EQ(footer.size(), 3u + 48u);
    EXPECT_NE(r.out.find(kMenuTitle + top + "\n" + first + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n" + bottom + "\n" + footer + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n\n" + top + "\n" + usage + "\n"), std::string::npos) << r.out;
}

}  // namespace
