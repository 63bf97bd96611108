// The real binary started without files, its keys coming from a pipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_tool.h"

namespace {

using namespace testing_support;

const std::string kMenuTitle = "\n   Vornhal TXR Extractor v1.4\n";
const std::string kClosing = "\nVornhal TXR Extractor v1.4\n";
const std::string kHelpHeading = "Usage(1):";

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Where each of `marks` stands in `text`, searching on from the last one;
// npos where one is missing.
std::vector<std::size_t> inOrder(const std::string& text, const std::vector<std::string>& marks) {
    std::vector<std::size_t> at;
    std::size_t from = 0;
    for (const auto& m : marks) {
        const std::size_t p = from == std::string::npos ? from : text.find(m, from);
        at.push_back(p);
        from = p == std::string::npos ? p : p + m.size();
    }
    return at;
}

std::size_t count(const std::string& text, const std::string& mark) {
    std::size_t n = 0;
    for (std::size_t p = text.find(mark); p != std::string::npos; p = text.find(mark, p + 1)) ++n;
    return n;
}

class MenuFromPipe : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dir / "prog"); }

    RunResult run(std::string input, std::vector<std::string> env = {"LC_ALL=C.UTF-8"}) {
        RunOptions o;
        o.input = std::move(input);
        o.cwd = dir.path().string();
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        o.env = std::move(env);
        return runTool(o);
    }

    ScratchDir dir;
};

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
