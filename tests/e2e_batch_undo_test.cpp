// The folder batch and the undo through the real binary's menu, with keys
// piped to it.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/files.h"
#include "support/run_tool.h"

namespace {

using namespace testing_support;

const std::string H = header();

class FromTheMenu : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir / "prog");
        fs::create_directory(dir / "elsewhere");
    }

    // Program in dir/prog, started from dir/elsewhere, keys on its input.
    RunOptions options(const std::string& keys) {
        RunOptions o;
        o.input = keys;
        o.cwd = dir.str("elsewhere");
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        return o;
    }
    RunResult run(const std::string& keys) { return runTool(options(keys)); }

    ScratchDir dir;
};

TEST_F(FromTheMenu, BatchThenUndoGivesBackTheFolder) {
    writeBytes(dir / "prog" / "a.txr", H + pngImage());
    writeBytes(dir / "prog" / "b b.txr", bmpImage());
    writeBytes(dir / "prog" / "C.TXR", H + jpgImage());
    const auto before = snapshot(dir / "prog");

    const RunResult batch = run("1");

    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_NE(batch.out.find("Convert C.TXR\nConvert a.txr\nConvert b b.txr\n<<< Press any key back to menu >>>"),
              std::string::npos)
        << batch.out;
    EXPECT_EQ(readBytes(dir / "prog" / "a.txr.png"), pngImage());

    const RunResult undo = run("2");

    EXPECT_EQ(undo.exitCode, 0) << undo.err;
    EXPECT_NE(undo.out.find("Undo Compete.\n<<< Press any key back to menu >>>"), std::string::npos) << undo.out;
    EXPECT_EQ(snapshot(dir / "prog"), before);

    const RunResult again = run("2");
    EXPECT_NE(again.out.find("\"record.txt\" not found. No undo operation preformed."), std::string::npos);
}

// Fault found: keys typed as lines into a pipe on Windows end with CR LF.
// The CR answered the batch's key wait and the LF took the first entry
// again: a second batch emptied the record, so the first could no longer be
// undone. A CR LF is one key now.
TEST_F(FromTheMenu, RegressionCrLfAfterAKeyIsOneKey) {
    writeBytes(dir / "prog" / "a.txr", H + pngImage());

    const RunResult batch = run("1\r\n");

    EXPECT_EQ(batch.exitCode, 0) << batch.err;
    EXPECT_EQ(readBytes(dir / "prog" / "record.txt"), "ZTX " + dir.str("prog") + "/a.txr.png\r\n");

    const RunResult help = run("3\r\n");

    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.out.find("Convert "), std::string::npos) << "no batch after the help screen";
    EXPECT_EQ(readBytes(dir / "prog" / "record.txt"), "ZTX " + dir.str("prog") + "/a.txr.png\r\n");
}

TEST_F(FromTheMenu, TheRecordIsTheProgramsWhereverItIsStartedFrom) {
    // The working folder has textures and a record of its own: not ours.
    writeBytes(dir / "elsewhere" / "x.txr", H + pngImage());
    writeBytes(dir / "elsewhere" / "record.txt", "ZTX stale.txr.png\r\n");
    writeBytes(dir / "prog" / "a.txr", H + pngImage());

    EXPECT_EQ(run("1").exitCode, 0);
    EXPECT_EQ(readBytes(dir / "prog" / "record.txt"), "ZTX " + dir.str("prog") + "/a.txr.png\r\n");
    EXPECT_EQ(run("2").exitCode, 0);

    EXPECT_EQ(readBytes(dir / "prog" / "a.txr"), H + pngImage());
    EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
    EXPECT_EQ(readBytes(dir / "elsewhere" / "x.txr"), H + pngImage());
    EXPECT_EQ(readBytes(dir / "elsewhere" / "record.txt"), "ZTX stale.txr.png\r\n");
}

TEST_F(FromTheMenu, AUsersTmpVnIsNeitherReadNorDeleted) {
    writeBytes(dir / "prog" / "tmp.vn", "b.txr\r\n");
    writeBytes(dir / "elsewhere" / "tmp.vn", "b.txr\r\n");
    writeBytes(dir / "prog" / "b.txr", bmpImage());  // only listed by the user's file

    const RunResult r = run("1");

    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readBytes(dir / "prog" / "tmp.vn"), "b.txr\r\n");
    EXPECT_EQ(readBytes(dir / "elsewhere" / "tmp.vn"), "b.txr\r\n");
    EXPECT_EQ(r.out.find("Convert tmp.vn"), std::string::npos);
}

TEST_F(FromTheMenu, AnEntryThatCannotBeUndoneMakesTheExitStatusTwo) {
    writeBytes(dir / "prog" / "a.txr.png", pngImage());
    writeBytes(dir / "prog" / "a.txr", "in the way");
    writeBytes(dir / "prog" / "record.txt", "ZTX " + dir.str("prog") + "/a.txr.png\r\n");

    const RunResult r = run("2");

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir / "prog" / "a.txr"), "in the way");
    EXPECT_EQ(readBytes(dir / "prog" / "a.txr.png"), pngImage());
}

TEST_F(FromTheMenu, KilledDuringALargeRewrapTheFileIsWhole) {
    std::string payload = pngImage();
    payload.resize(48 << 20, 'q');
    for (int delayMs : {0, 2, 5, 10, 20, 40, 80}) {
        for (const auto& n : listNames(dir / "prog")) fs::remove(dir / "prog" / n);
        writeBytes(dir / "prog" / "big.txr.png", payload);
        writeBytes(dir / "prog" / "record.txt", "ZTX " + dir.str("prog") + "/big.txr.png\r\n");

        RunningTool tool(options("2"));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        tool.kill();
        tool.wait();

        const bool converted = fs::exists(dir / "prog" / "big.txr.png");
        const bool restored = fs::exists(dir / "prog" / "big.txr");
        ASSERT_TRUE(converted || restored) << "delay " << delayMs;
        if (converted) {
            EXPECT_TRUE(readBytes(dir / "prog" / "big.txr.png") == payload) << "delay " << delayMs;
        }
        if (restored) {
            EXPECT_TRUE(readBytes(dir / "prog" / "big.txr") == H + payload) << "delay " << delayMs;
        }
    }
}

}  // namespace
