// The real binary on what only POSIX systems have: any byte but "/" in a
// name, permission bits, other users, signals.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "support/command_line.h"

namespace {

using namespace testing_support;

const std::string H = header();

TEST_F(CommandLine, HostileNamesAreConvertedExactlyAndRunNothing) {
    const std::vector<std::string> names = {
        "a&b.txr",           "x|y.txr",       "$(touch pwned).txr", "`touch pwned`.txr", "-rf.txr",
        "with blank.txr",    "q\"uote.txr",   "semi;touch pwned.txr", "%PATH%.txr",      "c^a^r^e^t.txr",
        "lt<gt>pwned.txr",   "p(a)ren.txr",   "back\\slash.txr",    "'single'.txr",      "caf\xC3\xA9.txr",
        "bad\xFF\xFEutf8.txr", "\xE5\xA3\x81\xE7\xBA\xB8.txr", ">pwned.txr", "*.txr", "tab\there.txr"};
    expectConvertedExactly(names);
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
    o.cwd = utf8Of(dir.path());
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

// Fault found here: a signal between the creation of the temporary file and
// its registration with the interrupt handler left the file behind (about
// one run in thirty); interrupts are now held back across that step.
TEST_F(Interrupted, TerminatedItLeavesNoTemporaryFile) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        RunningTool tool(options({"big.txr"}));
        // Wait until the copy has begun, then interrupt it.
        for (int i = 0; i < 2000 && !copying(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(200));
        tool.signal(sig);
        tool.wait();
        expectWholeUnderOneName();
        for (const auto& n : listNames(dir.path())) EXPECT_EQ(n.find(".vrnh-unfinished-"), std::string::npos) << n;
        reset();
    }
}

TEST_F(Interrupted, ASignalIgnoredFromTheStartStaysIgnored) {
    RunOptions o = options({"big.txr"});
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
