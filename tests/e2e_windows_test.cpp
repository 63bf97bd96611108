// The real .exe on what differs on Windows: both separators, names in any
// script, names compared without case, files other programs hold open,
// read-only files, wildcards the tool expands itself, input from a pipe,
// the menu's keys as a Windows console sends them, Ctrl-C.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include <windows.h>

#include "support/command_line.h"
#include "support/menu_from_pipe.h"

namespace {

using namespace testing_support;

const std::string H = header();

DWORD attributesOf(const fs::path& path) { return ::GetFileAttributesW(path.c_str()); }

bool isReadOnly(const fs::path& path) {
    const DWORD a = attributesOf(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
}

void makeReadOnly(const fs::path& path) {
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
}

// Another program holding a file open, sharing only what it is told to.
class HeldOpen {
public:
    HeldOpen(const fs::path& path, DWORD share)
        : h_(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() {
        if (ok()) ::CloseHandle(h_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

// ---- where the program lies ----------------------------------------------

struct ProgramPathCase {
    const char* argv0;         // relative to the scratch folder
    const char* recordFolder;  // where the record must appear
};

class ProgramPath : public CommandLine, public ::testing::WithParamInterface<ProgramPathCase> {};

TEST_P(ProgramPath, TheLastSeparatorOfEitherKindEndsTheFolder) {
    fs::create_directories(dir / "prog" / "sub");
    writeBytes(dir / "a.txr", H + pngImage());
    RunOptions o = options({"a.txr"});
    o.argv0 = GetParam().argv0;

    const RunResult r = runTool(o);

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(dir / GetParam().recordFolder / "record.txt"), "ZTX a.txr.png\r\n");
    for (const char* other : {".", "prog", "prog/sub"}) {
        if (fs::path(other) != fs::path(GetParam().recordFolder)) {
            EXPECT_FALSE(fs::exists(dir / other / "record.txt")) << other;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Separators, ProgramPath,
                         ::testing::Values(ProgramPathCase {"prog\\vrnhTXRextractor13.exe", "prog"},
                                           ProgramPathCase {"prog/vrnhTXRextractor13.exe", "prog"},
                                           ProgramPathCase {"prog\\sub/vrnhTXRextractor13.exe", "prog/sub"},
                                           ProgramPathCase {"prog/sub\\vrnhTXRextractor13.exe", "prog/sub"},
                                           ProgramPathCase {".\\vrnhTXRextractor13.exe", "."}),
                         [](const auto& info) { return "path" + std::to_string(info.index); });

TEST_F(CommandLine, AFullProgramPathWithBackslashesAndBlanks) {
    fs::create_directory(dir / "my tools");
    writeBytes(dir / "a.txr", bmpImage());
    RunOptions o = options({"a.txr"});
    o.argv0 = dir.str("my tools\\vrnhTXRextractor13.exe");

    EXPECT_EQ(runTool(o).exitCode, 0);
    EXPECT_EQ(readBytes(dir / "my tools" / "record.txt"), "a.txr.bmp\r\n");
}

// ---- names ---------------------------------------------------------------

TEST_F(CommandLine, NamesInAnyScriptAndWithShellSignsAreConvertedExactly) {
    const std::vector<std::string> names = {
        "\xE5\xA3\x81\xE7\xBA\xB8.txr",                          // Chinese
        "\xF0\x9F\x99\x82 smile.txr",                            // an emoji: two UTF-16 units
        "caf\xC3\xA9.txr",                                       // Latin with an accent
        "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1.txr",  // Greek
        "\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA.txr",          // Hebrew, right to left
        "-rf.txr",           "--help.txr",      "with blank.txr", "  two leading blanks.txr",
        "a&b.txr",           "%PATH%.txr",      "c^a^r^e^t.txr",  "semi;colon.txr",
        "p(a)ren.txr",       "'single'.txr",    "!bang!.txr",     "$(touch pwned).txr",
        "`touch pwned`.txr", "[brackets].txr",  "a,b=c.txr"};
    expectConvertedExactly(names);
}

TEST_F(CommandLine, AFolderInAnotherScriptWithABackslash) {
    const std::string folder = "\xE8\xB3\x87\xE6\x96\x99 \xF0\x9F\x93\x81";  // Chinese and an emoji
    fs::create_directory(dir / folder);
    writeBytes(dir / folder / "x.txr", H + ddsImage());

    const RunResult r = run({folder + "\\x.txr"});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(dir / folder / "x.txr.dds"), ddsImage());
    EXPECT_EQ(record(), "ZTX " + folder + "\\x.txr.dds\r\n");
}

TEST_F(CommandLine, MessagesCarryNamesAsUtf8Bytes) {
    const std::string missing = "\xE5\xA3\x81\xE7\xBA\xB8-\xF0\x9F\x99\x82.txr";

    const RunResult r = run({missing});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("Not converted: \"" + missing + "\": cannot open: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no CR put before the LF";
    EXPECT_EQ(r.err.back(), '\n');
}

TEST_F(CommandLine, ANameTakenInAnotherCaseIsTaken) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "A.TXR.PNG", "someone else's");

    const RunResult r = run({"a.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir / "a.txr"), H + pngImage());
    EXPECT_EQ(readBytes(dir / "A.TXR.PNG"), "someone else's");
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"A.TXR.PNG", "a.txr", "prog"}));
}

// ---- files held open by another program ------------------------------------

struct HeldCase {
    const char* what;
    bool wrapped;
    DWORD share;  // what the other program lets others do
};

class Held : public CommandLine, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(Held, IsReportedByNameAndLeftWhole) {
    const std::string content = (GetParam().wrapped ? H : "") + pngImage();
    writeBytes(dir / "a.txr", content);
    writeBytes(dir / "b.txr", H + bmpImage());
    RunResult r;
    {
        HeldOpen other(dir / "a.txr", GetParam().share);
        ASSERT_TRUE(other.ok());
        r = run({"a.txr", "b.txr"});
    }

    EXPECT_EQ(r.exitCode, 2) << GetParam().what;
    EXPECT_EQ(r.err.rfind("Not converted: \"a.txr\": ", 0), 0u) << r.err;
    EXPECT_EQ(readBytes(dir / "a.txr"), content);
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"a.txr", "b.txr.bmp", "prog"}))
        << "no copy, no temporary file";
    EXPECT_EQ(record(), "ZTX b.txr.bmp\r\n") << "no line for the file that stayed";
}

INSTANTIATE_TEST_SUITE_P(
    Sharing, Held,
    ::testing::Values(HeldCase {"wrapped, shares nothing: cannot even be read", true, 0},
                      HeldCase {"plain, shares nothing", false, 0},
                      HeldCase {"wrapped, shares reading: copied, then the original cannot go", true, FILE_SHARE_READ},
                      HeldCase {"plain, shares reading: cannot be renamed", false, FILE_SHARE_READ}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

// ---- read-only files ---------------------------------------------------------

TEST_F(CommandLine, AReadOnlyFileIsConvertedAndStaysReadOnly) {
    writeBytes(dir / "wrapped.txr", H + pngImage());
    writeBytes(dir / "plain.txr", jpgImage());
    makeReadOnly(dir / "wrapped.txr");
    makeReadOnly(dir / "plain.txr");

    const RunResult r = run({"wrapped.txr", "plain.txr"});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"plain.txr.jpg", "prog", "wrapped.txr.png"}));
    EXPECT_EQ(readBytes(dir / "wrapped.txr.png"), pngImage());
    EXPECT_EQ(readBytes(dir / "plain.txr.jpg"), jpgImage());
    EXPECT_TRUE(isReadOnly(dir / "wrapped.txr.png"));
    EXPECT_TRUE(isReadOnly(dir / "plain.txr.jpg"));
    EXPECT_EQ(record(), "ZTX wrapped.txr.png\r\nplain.txr.jpg\r\n");
}

// Windows refuses to open a read-only file for writing; Wine run by root
// lets root write it, as the POSIX permissions underneath do.
bool readOnlyStopsWriting(const fs::path& probe) {
    writeBytes(probe, "");
    ::SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    const HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    ::SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(probe);
    return h == INVALID_HANDLE_VALUE;
}

TEST_F(CommandLine, AReadOnlyRecordIsReportedAndNothingMoves) {
    if (!readOnlyStopsWriting(dir / "probe")) GTEST_SKIP() << "this system lets a read-only file be written";
    writeBytes(dir / "prog" / "record.txt", "");
    makeReadOnly(dir / "prog" / "record.txt");
    writeBytes(dir / "a.txr", H + pngImage());

    const RunResult r = run({"a.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("record.txt"), std::string::npos) << r.err;
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"a.txr", "prog"}));
    ::SetFileAttributesW((dir / "prog" / "record.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// ---- wildcards -----------------------------------------------------------

struct WildcardCase {
    std::vector<std::string> args;
    std::string record;
    int exitCode;
    const char* errMentions;  // "" when nothing goes wrong
};

class Wildcard : public CommandLine, public ::testing::WithParamInterface<WildcardCase> {
protected:
    void SetUp() override {
        CommandLine::SetUp();
        writeBytes(dir / "b.txr", H + pngImage());
        writeBytes(dir / "a.txr", H + pngImage());
        writeBytes(dir / "C.txr", bmpImage());
        writeBytes(dir / "a.txrx", pngImage());  // its short name A~1.TXR must not count
        writeBytes(dir / "notes.png", pngImage());
        fs::create_directory(dir / "sub");
        writeBytes(dir / "sub" / "d.txr", H + ddsImage());
        writeBytes(dir / "sub" / "ee.txr", H + ddsImage());
    }
};

TEST_P(Wildcard, ArgumentsAreExpandedInNameOrder) {
    const RunResult r = run(GetParam().args);

    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err;
    if (*GetParam().errMentions)
        EXPECT_NE(r.err.find(GetParam().errMentions), std::string::npos) << r.err;
    else
        EXPECT_EQ(r.err, "");
    const std::string rec = fs::exists(dir / "prog" / "record.txt") ? record() : "";
    EXPECT_EQ(rec, GetParam().record);
    EXPECT_EQ(readBytes(dir / "a.txrx"), pngImage());
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, Wildcard,
    ::testing::Values(
        WildcardCase {{"*.txr"}, "ZTX a.txr.png\r\nZTX b.txr.png\r\nC.txr.bmp\r\n", 0, ""},
        WildcardCase {{"?.TXR"}, "ZTX a.txr.png\r\nZTX b.txr.png\r\nC.txr.bmp\r\n", 0, ""},
        WildcardCase {{"sub\\*.txr"}, "ZTX sub\\d.txr.dds\r\nZTX sub\\ee.txr.dds\r\n", 0, ""},
        WildcardCase {{"sub/??.txr"}, "ZTX sub/ee.txr.dds\r\n", 0, ""},
        WildcardCase {{"b.txr", "sub\\d*", "C.txr"}, "ZTX b.txr.png\r\nZTX sub\\d.txr.dds\r\nC.txr.bmp\r\n", 0, ""},
        WildcardCase {{"none*.txr", "a.txr"}, "ZTX a.txr.png\r\n", 2, "\"none*.txr\""},
        WildcardCase {{"nofolder\\*.txr"}, "", 2, "\"nofolder\\*.txr\""}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(CommandLine, AWildcardAlsoNamesTheFilesThatAreNotTxr) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "a.png", pngImage());

    const RunResult r = run({"a.*"}, "n\n");

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.rfind("\"a.png" + kPromptTail, 0), 0u) << r.out;
    EXPECT_EQ(readBytes(dir / "a.txr"), H + pngImage()) << "after the refused a.png, a.txr is not looked at";
}

// ---- input without a console -------------------------------------------------

struct PipeCase {
    const char* input;
    bool pipe;
    int exitCode;
};

class NoConsole : public CommandLine, public ::testing::WithParamInterface<PipeCase> {};

TEST_P(NoConsole, AnswersAndTheKeyComeFromStandardInput) {
    writeBytes(dir / "pic.png", pngImage());
    RunOptions o = options({"pic.png"}, GetParam().input);
    o.pipeInput = GetParam().pipe;

    const RunResult r = runTool(o);

    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.out << r.err;
    EXPECT_EQ(fs::exists(dir / "pic.png.png"), GetParam().exitCode == 0);
    EXPECT_NE(r.out.find("Press any key to continue . . . \n"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Input, NoConsole,
                         ::testing::Values(PipeCase {"y\n", true, 0}, PipeCase {"y\r\nk", true, 0},
                                           PipeCase {"\r\n\r\nY", true, 0}, PipeCase {"", true, 1},
                                           PipeCase {"n\r\n", true, 1}, PipeCase {"y\r\n", false, 0}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// ---- the menu, keys through a pipe ---------------------------------------------

// A console sends an arrow as 0 or 0xE0 and a second byte; a program that
// feeds the menu through a pipe may send the same.
struct MenuKeysCase {
    const char* name;
    std::string keys;
    std::vector<std::string> screens;  // in the order shown
};

class MenuThroughAPipe : public MenuFromPipe, public ::testing::WithParamInterface<MenuKeysCase> {};

TEST_P(MenuThroughAPipe, ConsoleKeyCodesWork) {
    RunOptions o = options(GetParam().keys);
    o.pipeInput = true;

    const RunResult r = runTool(o);

    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto& screens = GetParam().screens;
    const auto at = inOrder(r.out, screens);
    for (std::size_t i = 0; i < at.size(); ++i) EXPECT_NE(at[i], std::string::npos) << screens[i] << r.out;
    EXPECT_EQ(count(r.out, kMenuTitle),
              static_cast<std::size_t>(std::count(screens.begin(), screens.end(), kMenuTitle)))
        << r.out;
    EXPECT_EQ(listNames(dir / "prog"), std::vector<std::string> {}) << "no batch ran";
}

INSTANTIATE_TEST_SUITE_P(
    Table, MenuThroughAPipe,
    ::testing::Values(
        MenuKeysCase {"DownDownEnter", "\xE0P\xE0P\r",
                      {kMenuTitle, kMenuTitle, kMenuTitle, kHelpHeading, kMenuTitle, kClosing}},
        MenuKeysCase {"UpWithNulPrefixWraps", std::string("\0H\r", 3),
                      {kMenuTitle, kMenuTitle, kHelpHeading, kMenuTitle, kClosing}},
        MenuKeysCase {"OtherExtendedKeysIgnored", std::string("\xE0M\0;\xE0G\x1b", 7), {kMenuTitle, kClosing}},
        MenuKeysCase {"HelpThenAnArrowBack", "3\xE0H", {kMenuTitle, kHelpHeading, kMenuTitle, kClosing}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MenuFromPipe, BatchAndUndoByKeysThroughAPipe) {
    writeBytes(dir / "prog" / "a.txr", H + pngImage());
    writeBytes(dir / "prog/\xE5\xA3\x81.txr", bmpImage());
    const auto before = snapshot(dir / "prog");
    for (const char* keys : {"1", "2"}) {
        RunOptions o = options(keys);
        o.pipeInput = true;

        const RunResult r = runTool(o);

        EXPECT_EQ(r.exitCode, 0) << keys << r.err;
        EXPECT_NE(r.out.find("<<< Press any key back to menu >>>"), std::string::npos) << r.out;
        if (*keys == '1') {
            EXPECT_NE(r.out.find("Convert a.txr\nConvert \xE5\xA3\x81.txr\n"), std::string::npos) << r.out;
            EXPECT_EQ(readBytes(dir / "prog" / "a.txr.png"), pngImage());
            EXPECT_EQ(readBytes(dir / "prog/\xE5\xA3\x81.txr.bmp"), bmpImage());
        }
    }
    EXPECT_EQ(snapshot(dir / "prog"), before);
}

// ---- console events ------------------------------------------------------

// The handler treats every console event alike: Ctrl-C, Ctrl-Break, the
// console window closed. A Ctrl-C takes a while to arrive, and the copy is
// quick: go on until one has stopped the tool while its copy was unfinished.
TEST_F(Interrupted, CtrlCLeavesNoTemporaryFile) {
    bool stoppedWhileCopying = false;
    for (int attempt = 0; attempt < 20 && !stoppedWhileCopying; ++attempt) {
        RunOptions o = options({"big.txr"});
        o.interruptible = true;
        RunningTool tool(o);
        for (int i = 0; i < 5000 && !copying(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(200));
        tool.signal(SIGINT);
        tool.wait();
        expectWholeUnderOneName();
        for (const auto& n : listNames(dir.path())) EXPECT_EQ(n.find(".vrnh-unfinished-"), std::string::npos) << n;
        stoppedWhileCopying = !fs::exists(dir / "big.txr.png");
        reset();
    }
    EXPECT_TRUE(stoppedWhileCopying) << "no Ctrl-C arrived before the copy was done";
}

}  // namespace
