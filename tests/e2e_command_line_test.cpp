// The real binary, run on real files in a scratch folder. What holds on every
// system; e2e_posix_test.cpp and e2e_windows_test.cpp hold the rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "support/command_line.h"

namespace {

using namespace testing_support;

const std::string H = header();

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
    o.cwd = utf8Of(dir.path());
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
    // The second time it is gone; the reason is the system's own wording.
    EXPECT_EQ(r.err.rfind("Not converted: \"a.txr\": cannot open: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr.png", "prog"}));
    EXPECT_EQ(record(), "ZTX a.txr.png\r\n");
}

TEST_F(CommandLine, AMissingFileIsReported) {
    const RunResult r = run({"ghost.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("ghost.txr"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
}

TEST_F(Interrupted, KilledAtAnyMomentTheFileIsWhole) {
    for (int delayMs : {0, 1, 2, 4, 8, 16, 32, 64}) {
        RunningTool tool(options({"big.txr"}));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        tool.kill();
        tool.wait();
        expectWholeUnderOneName();
        reset();
    }
}

}  // namespace
