#include <gtest/gtest.h>

#include "conversion/conversion.h"
#include "support/files.h"
#include "support/fix_txr_fixture.h"

namespace {

using namespace testing_support;
using txr::FixStatus;

struct ContentCase {
    const char* what;
    std::string before;
    const char* extension;
    std::string after;
    bool unwrapped;
};

class Conversion : public ::testing::TestWithParam<ContentCase> {};

TEST_P(Conversion, RewritesRenamesAndRecords) {
    const ContentCase& c = GetParam();
    ScratchDir dir;
    const std::string path = dir.str("t.txr");
    writeBytes(path, c.before);

    const txr::FixResult r = txr::fixTxr(path, dir.path().string() + "/");

    ASSERT_EQ(r.status, FixStatus::converted) << r.reason;
    const std::string newName = std::string("t.txr.") + c.extension;
    EXPECT_EQ(r.newPath, dir.str(newName));
    EXPECT_EQ(r.unwrapped, c.unwrapped);
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"record.txt", newName}));
    EXPECT_EQ(readBytes(dir / newName), c.after);
    EXPECT_EQ(readBytes(dir / "record.txt"), (c.unwrapped ? "ZTX " : "") + path + "." + c.extension + "\r\n");
}

const std::string H = header();

INSTANTIATE_TEST_SUITE_P(
    Table, Conversion,
    ::testing::Values(
        ContentCase{"wrapped png", H + pngImage(), "png", pngImage(), true},
        ContentCase{"bytes 6-11 do not matter", "ZOATEX" + std::string("\xFF\0\x7Fzz\x01", 6) + pngImage(), "png",
                    pngImage(), true},
        ContentCase{"wrapped dds", H + ddsImage(), "dds", ddsImage(), true},
        ContentCase{"wrapped bmp", H + bmpImage(), "bmp", bmpImage(), true},
        ContentCase{"wrapped jpg", H + jpgImage(), "jpg", jpgImage(), true},
        ContentCase{"wrapped tga", H + tgaImage(), "tga", tgaImage(), true},
        ContentCase{"only the outer header goes", H + H + pngImage(), "tga", H + pngImage(), true},
        ContentCase{"header alone", H, "tga", "", true},
        ContentCase{"payload of two bytes", H + "BM", "bmp", "BM", true},
        ContentCase{"plain png", pngImage(), "png", pngImage(), false},
        ContentCase{"plain jpg", jpgImage(), "jpg", jpgImage(), false},
        ContentCase{"ZOATE and not X", "ZOATEY" + pngImage(), "tga", "ZOATEY" + pngImage(), false},
        ContentCase{"magic but shorter than a header", "ZOATEX1\0\0\0", "tga", "ZOATEX1\0\0\0", false},
        ContentCase{"empty file", "", "tga", "", false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(FixTxr, AppendsToTheRecordInOrderAndKeepsWhatWasThere) {
    writeBytes(dir / "prog" / "record.txt", "ZTX old.txr.png\r\n");
    writeBytes(dir / "a.txr", H + ddsImage());
    writeBytes(dir / "b.txr", bmpImage());

    EXPECT_EQ(txr::fixTxr(dir.str("a.txr"), prog()).status, FixStatus::converted);
    EXPECT_EQ(txr::fixTxr(dir.str("b.txr"), prog()).status, FixStatus::converted);

    EXPECT_EQ(record(), "ZTX old.txr.png\r\nZTX " + dir.str("a.txr") + ".dds\r\n" + dir.str("b.txr") + ".bmp\r\n");
}

TEST_F(FixTxr, NeverReplacesAnExistingFile) {
    for (const std::string& content : {H + pngImage(), pngImage()}) {
        writeBytes(dir / "a.txr", content);
        writeBytes(dir / "a.txr.png", "someone else's");

        const txr::FixResult r = txr::fixTxr(dir.str("a.txr"), prog());

        EXPECT_EQ(r.status, FixStatus::nameTaken);
        EXPECT_NE(r.reason.find("a.txr.png"), std::string::npos) << r.reason;
        EXPECT_EQ(readBytes(dir / "a.txr"), content);
        EXPECT_EQ(readBytes(dir / "a.txr.png"), "someone else's");
        EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
        EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr", "a.txr.png", "prog"}));
    }
}

TEST_F(FixTxr, RefusesWhatIsNotAReadableFile) {
    fs::create_directory(dir / "folder.txr");
    EXPECT_EQ(txr::fixTxr(dir.str("missing.txr"), prog()).status, FixStatus::unreadable);
    EXPECT_EQ(txr::fixTxr(dir.str("folder.txr"), prog()).status, FixStatus::unreadable);
    EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"folder.txr", "prog"}));
}

TEST_F(FixTxr, LeavesTheFileAloneWhenTheRecordCannotBeWritten) {
    writeBytes(dir / "a.txr", H + pngImage());

    const txr::FixResult r = txr::fixTxr(dir.str("a.txr"), dir.str("no-such-folder") + "/");

    EXPECT_EQ(r.status, FixStatus::recordFailed);
    EXPECT_NE(r.reason.find("record.txt"), std::string::npos) << r.reason;
    EXPECT_EQ(readBytes(dir / "a.txr"), H + pngImage());
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string>{"a.txr", "prog"}));
}

}  // namespace
