// The real binary, run on real files in a scratch folder.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <thread>

#include "support/files.h"
#include "support/run_tool.h"

namespace {

using namespace testing_support;

const std::string H = header();
const std::string kPromptTail = "\" is not a txr file, continue convertion?(Y/N) ";

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dir / "prog"); }

    // The program lies in dir/prog, so its record is dir/prog/record.txt.
    RunResult run(std::vector<std::string> args, std::string input = "") {
        RunOptions o;
        o.args = std::move(args);
        o.input = std::move(input);
        o.cwd = dir.path().string();
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        return runTool(o);
    }
    std::string record() { return readBytes(dir / "prog" / "record.txt"); }

    ScratchDir dir;
};

TEST_F(CommandLine, ConvertsEachFileAndRecordsIt) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "b.txr", jpgImage());

    const RunResult r = run({"a.txr", "b.txr"});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readBytes(dir / "a.txr.png"), pngImage());
    EXPECT_EQ(readBytes(dir / "b.txr.jpg"), jpgImage());
    EXPECT_EQ(record(), "ZTX a.txr.png\r\nb.txr.jpg\r\n");
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr.png", "b.txr.jpg", "prog"}));
}

TEST_F(CommandLine, ClosingScreenHasTitleNoticesAndPause) {
    // Without files the menu would come first; its own tests cover that.
    writeBytes(dir / "a.txr", H + pngImage());
    const RunResult r = run({"a.txr"});

    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(r.out.rfind("\nVornhal TXR Extractor v1.4\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("record.txt"), std::string::npos);
    EXPECT_NE(r.out.find("Press any key to continue . . ."), std::string::npos);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no escape codes into a file";
}

TEST_F(CommandLine, WithoutASeparatorTheRecordIsInTheWorkingFolder) {
    writeBytes(dir / "a.txr", H + bmpImage());
    RunOptions o;
    o.args = {"a.txr"};
    o.cwd = dir.path().string();
    o.argv0 = "vrnhTXRextractor13";

    EXPECT_EQ(runTool(o).exitCode, 0);
    EXPECT_EQ(readBytes(dir / "record.txt"), "ZTX a.txr.bmp\r\n");
}

struct PromptCase {
    const char* input;
    bool converts;
};

class Prompt : public CommandLine, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(Prompt, OnlyYOrLowerYGoesOn) {
    writeBytes(dir / "pic.png", pngImage());

    const RunResult r = run({"pic.png"}, GetParam().input);

    EXPECT_EQ(r.out.rfind("\"pic.png" + kPromptTail, 0), 0u) << r.out;
    if (GetParam().converts) {
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(readBytes(dir / "pic.png.png"), pngImage());
        EXPECT_EQ(record(), "pic.png.png\r\n");
    } else {
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.out.find("\nAbort.\n\nVornhal TXR Extractor v1.4\n"), std::string::npos) << r.out;
        EXPECT_EQ(readBytes(dir / "pic.png"), pngImage());
        EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, Prompt,
                         ::testing::Values(PromptCase{"y\n", true}, PromptCase{"Y\n", true},
                                           PromptCase{"  \n\t y", true}, PromptCase{"n\n", false},
                                           PromptCase{"N\n", false}, PromptCase{"yes\n", false},
                                           PromptCase{"", false}, PromptCase{"\n\n", false},
                                           PromptCase{"yy\n", false}),
                         [](const auto& info) { return "answer" + std::to_string(info.index); });

TEST_F(CommandLine, UpperCaseTxrAndDotlessNamesAreAskedFor) {
    for (const char* name : {"a.TXR", "noext", "a."}) {
        writeBytes(dir / name, pngImage());
        const RunResult r = run({name}, "n");
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_EQ(r.out.rfind(std::string("\"") + name + kPromptTail, 0), 0u) << r.out;
    }
}

TEST_F(CommandLine, TwoWordsOnOneLineAnswerTwoPrompts) {
    writeBytes(dir / "a.png", pngImage());
    writeBytes(dir / "b.bmp", bmpImage());

    const RunResult r = run({"a.png", "b.bmp"}, "y n\n");

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(fs::exists(dir / "a.png.png"));
    EXPECT_EQ(readBytes(dir / "b.bmp"), bmpImage());
    EXPECT_EQ(record(), "a.png.png\r\n");
}

TEST_F(CommandLine, AbortLeavesLaterArgumentsUntouched) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "b.png", pngImage());
    writeBytes(dir / "c.txr", H + ddsImage());

    const RunResult r = run({"a.txr", "b.png", "c.txr"}, "n\n");

    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr.png", "b.png", "c.txr", "prog"}));
    EXPECT_EQ(readBytes(dir / "c.txr"), H + ddsImage());
    EXPECT_EQ(record(), "ZTX a.txr.png\r\n");
}

TEST_F(CommandLine, ACollisionIsReportedAndTheRunGoesOn) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "a.txr.png", "keep me");
    writeBytes(dir / "b.txr", H + bmpImage());

    const RunResult r = run({"a.txr", "b.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("a.txr.png"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir / "a.txr"), H + pngImage());
    EXPECT_EQ(readBytes(dir / "a.txr.png"), "keep me");
    EXPECT_EQ(readBytes(dir / "b.txr.bmp"), bmpImage());
    EXPECT_EQ(record(), "ZTX b.txr.bmp\r\n");
    EXPECT_NE(r.out.find("Vornhal TXR Extractor v1.4"), std::string::npos) << "closing screen still shows";
}

TEST_F(CommandLine, AFileNamedTwiceIsConvertedOnce) {
    writeBytes(dir / "a.txr", H + pngImage());

    const RunResult r = run({"a.txr", "a.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("No such file"), std::string::npos) << r.err;
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr.png", "prog"}));
    EXPECT_EQ(record(), "ZTX a.txr.png\r\n");
}

TEST_F(CommandLine, AMissingFileIsReported) {
    const RunResult r = run({"ghost.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("ghost.txr"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
}

TEST_F(CommandLine, HostileNamesAreConvertedExactlyAndRunNothing) {
    const std::vector<std::string> names = {
        "a&b.txr",           "x|y.txr",       "$(touch pwned).txr", "`touch pwned`.txr", "-rf.txr",
        "with blank.txr",    "q\"uote.txr",   "semi;touch pwned.txr", "%PATH%.txr",      "c^a^r^e^t.txr",
        "lt<gt>pwned.txr",   "p(a)ren.txr",   "back\\slash.txr",    "'single'.txr",      "caf\xC3\xA9.txr",
        "bad\xFF\xFEutf8.txr", "\xE5\xA3\x81\xE7\xBA\xB8.txr", ">pwned.txr", "*.txr", "tab\there.txr"};
    std::vector<std::string> expectedNames = {"prog"};
    std::string expectedRecord;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const bool wrapped = i % 2 == 0;
        writeBytes(dir / names[i], (wrapped ? H : "") + pngImage());
        expectedNames.push_back(names[i] + ".png");
        expectedRecord += (wrapped ? "ZTX " : "") + names[i] + ".png\r\n";
    }
    std::sort(expectedNames.begin(), expectedNames.end());

    const RunResult r = run(names);

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(listNames(dir.path()), expectedNames);
    EXPECT_EQ(record(), expectedRecord);
    for (const auto& n : names) EXPECT_EQ(readBytes(dir / (n + ".png")), pngImage()) << n;
}

TEST_F(CommandLine, ANameWithALineBreakIsRefused) {
    writeBytes(dir / "two\nlines.txr", H + pngImage());
    writeBytes(dir / "ok.txr", H + pngImage());

    const RunResult r = run({"two\nlines.txr", "ok.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("two?lines.txr"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir / "two\nlines.txr"), H + pngImage());
    EXPECT_EQ(record(), "ZTX ok.txr.png\r\n");
}

TEST_F(CommandLine, AReadOnlyFolderLeavesEverythingAsItWas) {
    if (!canDropPrivileges()) GTEST_SKIP() << "cannot run as an unprivileged user here";
    // The textures lie in a folder the user cannot write; the record's
    // folder is writable.
    fs::create_directory(dir / "locked");
    writeBytes(dir / "locked" / "a.txr", H + pngImage());
    writeBytes(dir / "locked" / "b.txr", bmpImage());
    fs::permissions(dir.path(), fs::perms::all);
    fs::permissions(dir / "prog", fs::perms::all);
    fs::permissions(dir / "locked", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                        fs::perms::others_read | fs::perms::others_exec);
    RunOptions o;
    o.args = {"locked/a.txr", "locked/b.txr"};
    o.cwd = dir.path().string();
    o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
    o.unprivileged = true;

    const RunResult r = runTool(o);

    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("locked/a.txr"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("locked/b.txr"), std::string::npos) << r.err;
    EXPECT_EQ(listNames(dir / "locked"), (std::vector<std::string>{"a.txr", "b.txr"}));
    EXPECT_EQ(readBytes(dir / "locked" / "a.txr"), H + pngImage());
    EXPECT_EQ(readBytes(dir / "locked" / "b.txr"), bmpImage());
    EXPECT_EQ(record(), "") << "no line for a conversion that did not happen";
}

// A wrapped file large enough that the tool is still copying when it dies.
class Interrupted : public CommandLine {
protected:
    void SetUp() override {
        CommandLine::SetUp();
        std::string payload = pngImage();
        payload.resize(48 << 20, '\x5A');
        original = H + payload;
        writeBytes(dir / "big.txr", original);
        payloadOnly = payload;
    }

    // Whatever moment the tool died, the texture is whole under one name.
    void expectWholeUnderOneName() {
        const bool old = fs::exists(dir / "big.txr");
        const bool converted = fs::exists(dir / "big.txr.png");
        ASSERT_TRUE(old || converted);
        if (old) {
            EXPECT_TRUE(readBytes(dir / "big.txr") == original) << "the original was damaged";
        }
        if (converted) {
            EXPECT_TRUE(readBytes(dir / "big.txr.png") == payloadOnly) << "a half-written file";
        }
    }

    std::string original, payloadOnly;
};

TEST_F(Interrupted, KilledAtAnyMomentTheFileIsWhole) {
    for (int delayMs : {0, 1, 2, 4, 8, 16, 32, 64}) {
        RunOptions o;
        o.args = {"big.txr"};
        o.cwd = dir.path().string();
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        RunningTool tool(o);
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        tool.signal(SIGKILL);
        tool.wait();
        expectWholeUnderOneName();
        // Start again from the original for the next delay.
        for (const auto& name : listNames(dir.path()))
            if (name != "prog") fs::remove(dir / name);
        fs::remove(dir / "prog" / "record.txt");
        writeBytes(dir / "big.txr", original);
    }
}

// Fault found here: a signal between the creation of the temporary file and
// its registration with the interrupt handler left the file behind (about
// one run in thirty); interrupts are now held back across that step.
TEST_F(Interrupted, TerminatedItLeavesNoTemporaryFile) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        RunOptions o;
        o.args = {"big.txr"};
        o.cwd = dir.path().string();
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        RunningTool tool(o);
        // Wait until the copy has begun, then interrupt it.
        for (int i = 0; i < 2000; ++i) {
            bool copying = false;
            for (const auto& n : listNames(dir.path())) copying |= n.find(".vrnh-unfinished-") != std::string::npos;
            if (copying || fs::exists(dir / "big.txr.png")) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        tool.signal(sig);
        tool.wait();
        expectWholeUnderOneName();
        for (const auto& n : listNames(dir.path())) EXPECT_EQ(n.find(".vrnh-unfinished-"), std::string::npos) << n;
        for (const auto& name : listNames(dir.path()))
            if (name != "prog") fs::remove(dir / name);
        writeBytes(dir / "big.txr", original);
    }
}

TEST_F(Interrupted, ASignalIgnoredFromTheStartStaysIgnored) {
    RunOptions o;
    o.args = {"big.txr"};
    o.cwd = dir.path().string();
    o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
    o.ignoredSignals = {SIGHUP};
    RunningTool tool(o);
    for (int i = 0; i < 2000 && listNames(dir.path()).size() == 2; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    tool.signal(SIGHUP);

    const RunResult r = tool.wait();

    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(dir / "big.txr.png"), payloadOnly);
}

}  // namespace
