// The real binary started without files, its keys coming from a pipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/menu_from_pipe.h"

namespace {

using namespace testing_support;

TEST_F(MenuFromPipe, EmptyInputLeavesForTheClosingScreen) {
    writeBytes(dir / "a.txr", header() + pngImage());

    const RunResult r = run("");

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.rfind(kMenuTitle, 0), 0u) << r.out;
    const auto at = inOrder(r.out, {kMenuTitle, "<3> How to use?", kClosing, "Press any key to continue . . ."});
    for (std::size_t p : at) EXPECT_NE(p, std::string::npos) << r.out;
    EXPECT_EQ(count(r.out, kMenuTitle), 1u);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no escape codes into a pipe";
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr", "prog"})) << "nothing touched";
    EXPECT_EQ(listNames(dir / "prog"), std::vector<std::string>{}) << "no record";
}

TEST_F(MenuFromPipe, OutsideABig5LocaleTheBoxIsUtf8) {
    const RunResult r = run("");

    const std::string top = "\u3000┌─" + repeat("──", 35) + "┐ ";
    const std::string first = "\u3000│ <1> Extract all \".txr\" file(s) in this folder" + std::string(25, ' ') + "│ ";
    const std::string bottom = "\u3000└─" + repeat("──", 35) + "┘ ";
    EXPECT_NE(r.out.find(kMenuTitle + top + "\n" + first + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(bottom + "\n   【ESC:Exit】 【↑ ↓ Enter:Select】 【<?>:Hotkey】\n"), std::string::npos)
        << r.out;
}

struct KeysCase {
    const char* name;
    std::string input;
    std::vector<std::string> screens;  // in the order shown
};

class MenuKeys : public MenuFromPipe, public ::testing::WithParamInterface<KeysCase> {};

TEST_P(MenuKeys, ShowTheirScreensAndEndNormally) {
    const RunResult r = run(GetParam().input);

    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto at = inOrder(r.out, GetParam().screens);
    for (std::size_t i = 0; i < at.size(); ++i) EXPECT_NE(at[i], std::string::npos) << GetParam().screens[i] << r.out;
    const auto& screens = GetParam().screens;
    EXPECT_EQ(count(r.out, kMenuTitle), static_cast<std::size_t>(std::count(screens.begin(), screens.end(), kMenuTitle)))
        << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MenuKeys,
    ::testing::Values(
        KeysCase{"HelpThenBack", "3x", {kMenuTitle, kHelpHeading, kMenuTitle, kClosing}},
        KeysCase{"HelpByArrowsAndEnter", "\x1b[B\x1b[B\r\n", {kMenuTitle, kMenuTitle, kMenuTitle, kHelpHeading, kMenuTitle, kClosing}},
        KeysCase{"UpWrapsToHelp", "\x1b[A\rq\x1b", {kMenuTitle, kMenuTitle, kHelpHeading, kMenuTitle, kClosing}},
        KeysCase{"LoneEscape", "\x1b", {kMenuTitle, kClosing}},
        KeysCase{"EscapeBeforeAHotkey", "\x1b" "3", {kMenuTitle, kClosing}},
        KeysCase{"OtherKeysIgnored", "x\x1b[C\x1b[1;5A9", {kMenuTitle, kClosing}},
        // The batch and the undo come back to the menu.
        KeysCase{"Batch", "1", {kMenuTitle, kMenuTitle, kClosing}},
        KeysCase{"Undo", "2k", {kMenuTitle, kMenuTitle, kClosing}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
