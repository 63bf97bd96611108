// A full disk and a read-only file system, on real mounts (skipped where
// the tests may not mount).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include <sys/mount.h>

#include "conversion/conversion.h"
#include "support/files.h"
#include "support/run_tool.h"

namespace {

using namespace testing_support;

const std::string H = header();

class Mounted : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir / "prog");
        fs::create_directory(dir / "disk");
    }
    void TearDown() override {
        if (mounted) ::umount2(disk().c_str(), MNT_DETACH);
    }
    std::string disk() const { return dir.str("disk"); }

    bool mountTmpfs(const char* size) {
        mounted = ::mount("tmpfs", disk().c_str(), "tmpfs", 0, size) == 0;
        return mounted;
    }

    // Fills what is left of the disk.
    void fill() {
        std::ofstream f(dir / "disk" / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (f.write(block.data(), block.size())) {
        }
    }

    RunResult convert(const std::vector<std::string>& names) {
        RunOptions o;
        for (const auto& n : names) o.args.push_back(disk() + "/" + n);
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        return runTool(o);
    }

    std::string record() {
        return fs::exists(dir / "prog" / "record.txt") ? readBytes(dir / "prog" / "record.txt") : "";
    }

    ScratchDir dir;
    bool mounted = false;
};

TEST_F(Mounted, AFullDiskLeavesTheTextureWholeAndUnrecorded) {
    if (!mountTmpfs("size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    std::string big = pngImage();
    big.resize(600 << 10, 'p');
    writeBytes(dir / "disk" / "big.txr", H + big);  // no room for a second copy

    const RunResult r = convert({"big.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(listNames(dir / "disk"), std::vector<std::string>{"big.txr"}) << "no temporary file left";
    EXPECT_TRUE(readBytes(dir / "disk" / "big.txr") == H + big);
    EXPECT_EQ(record(), "");
}

TEST_F(Mounted, AFullDiskStopsTheUndoOfThatFileOnly) {
    if (!mountTmpfs("size=2m")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    std::string big = pngImage();
    big.resize(600 << 10, 'p');
    writeBytes(dir / "disk" / "big.txr", H + big);
    writeBytes(dir / "disk" / "small.txr", bmpImage());
    // Convert with room to spare, then take the room away.
    const std::string prog = dir.str("prog") + "/";
    ASSERT_EQ(txr::fixTxr(disk() + "/big.txr", prog).status, txr::FixStatus::converted);
    ASSERT_EQ(txr::fixTxr(disk() + "/small.txr", prog).status, txr::FixStatus::converted);
    fill();

    std::ostringstream out, err;
    EXPECT_EQ(txr::undoAll(prog, out, err), txr::Outcome::someFailed);

    EXPECT_NE(err.str().find("big.txr.png"), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "Undo to " + disk() + "/small.txr.bmp\nUndo Compete.\n");
    EXPECT_TRUE(readBytes(dir / "disk" / "big.txr.png") == big) << "still whole, as converted";
    EXPECT_EQ(readBytes(dir / "disk" / "small.txr"), bmpImage());
    EXPECT_EQ(listNames(dir / "disk"), (std::vector<std::string>{"big.txr.png", "filler", "small.txr"}));
}

TEST_F(Mounted, AFullRecordDiskConvertsNothing) {
    if (!mountTmpfs("size=64k")) GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    // Here the record lives on the full disk, beside the textures.
    writeBytes(dir / "disk" / "a.txr", bmpImage());
    fill();
    RunOptions o;
    o.args = {disk() + "/a.txr"};
    o.argv0 = disk() + "/vrnhTXRextractor13";

    const RunResult r = runTool(o);

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("record.txt"), std::string::npos) << r.err;
    EXPECT_EQ(readBytes(dir / "disk" / "a.txr"), bmpImage());
    EXPECT_FALSE(fs::exists(dir / "disk" / "a.txr.bmp"));
}

TEST_F(Mounted, AReadOnlyFileSystemIsReportedAndLeftAlone) {
    const std::string source = dir.str("source");
    fs::create_directory(source);
    writeBytes(dir / "source" / "a.txr", H + pngImage());
    writeBytes(dir / "source" / "b.txr", jpgImage());
    mounted = ::mount(source.c_str(), disk().c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (!mounted || ::mount(nullptr, disk().c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        GTEST_SKIP() << "cannot make a read-only mount here: " << std::strerror(errno);

    const RunResult r = convert({"a.txr", "b.txr"});

    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("Read-only file system"), std::string::npos) << r.err;
    EXPECT_EQ(listNames(dir / "source"), (std::vector<std::string>{"a.txr", "b.txr"}));
    EXPECT_EQ(readBytes(dir / "source" / "a.txr"), H + pngImage());
    EXPECT_EQ(record(), "") << "both lines taken back";
}

}  // namespace
