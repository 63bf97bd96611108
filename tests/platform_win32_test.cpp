// The Windows platform layer in-process, where Windows differs: moves that
// must not replace, read-only attributes, files held open by others, names
// compared without case, UTF-8 names for the wide API.
#include <gtest/gtest.h>

#include <sstream>

#include <windows.h>

#include "conversion/conversion.h"
#include "flow/flow.h"
#include "platform/platform.h"
#include "support/files.h"

namespace {

using namespace testing_support;

const std::string H = header();

bool isReadOnly(const fs::path& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) != 0;
}

void setReadOnly(const fs::path& path, bool on) {
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
}

class HeldOpen {
public:
    HeldOpen(const fs::path& path, DWORD share)
        : h_(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() {
        if (h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
    HANDLE h_;
};

class Win32Platform : public ::testing::Test {
protected:
    // Read-only files would outlive the scratch folder otherwise.
    void TearDown() override {
        for (const auto& e : fs::recursive_directory_iterator(dir.path())) setReadOnly(e.path(), false);
    }
    ScratchDir dir;
};

TEST_F(Win32Platform, RenameNeverReplacesWhateverTheCase) {
    writeBytes(dir / "from", "mine");
    for (const char* taken : {"to", "TO"}) {
        writeBytes(dir / "to", "theirs");

        const plat::Status s = plat::renameNoReplace(dir.str("from"), dir.str(taken));

        EXPECT_EQ(s.fault, plat::Fault::exists) << taken << ": " << s.text;
        EXPECT_EQ(s.code, ERROR_ALREADY_EXISTS);
        EXPECT_EQ(readBytes(dir / "from"), "mine");
        EXPECT_EQ(readBytes(dir / "to"), "theirs");
    }
    EXPECT_TRUE(plat::renameNoReplace(dir.str("from"), dir.str("free")).ok());
    EXPECT_EQ(readBytes(dir / "free"), "mine");
}

TEST_F(Win32Platform, FaultsTellMissingFromTaken) {
    plat::File f;
    plat::FileInfo info;
    EXPECT_EQ(plat::openRead(dir.str("none"), f, info).fault, plat::Fault::missing);
    EXPECT_EQ(plat::openRead(dir.str("no-folder\\none"), f, info).fault, plat::Fault::missing);
    EXPECT_EQ(plat::openRead(dir.str("bad|name"), f, info).fault, plat::Fault::missing);
    const plat::Status notUtf8 = plat::openRead(dir.str("bad") + "\xFF.txr", f, info);
    EXPECT_FALSE(notUtf8.ok());
    EXPECT_NE(notUtf8.text.find("UTF-8"), std::string::npos) << notUtf8.text;
}

TEST_F(Win32Platform, NameTakenIgnoresCase) {
    writeBytes(dir / "Image.PNG", "x");
    EXPECT_TRUE(plat::nameTaken(dir.str("image.png")));
    EXPECT_FALSE(plat::nameTaken(dir.str("image.png.png")));
    EXPECT_FALSE(plat::nameTaken(dir.str("no-folder\\image.png")));
}

TEST_F(Win32Platform, AFileHeldWithoutSharingCannotBeOpenedAndSaysWhy) {
    writeBytes(dir / "a.txr", "x");
    HeldOpen other(dir / "a.txr", 0);
    plat::File f;
    plat::FileInfo info;

    const plat::Status s = plat::openRead(dir.str("a.txr"), f, info);

    EXPECT_EQ(s.code, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(s.text.rfind("cannot open: ", 0), 0u) << s.text;
    EXPECT_GT(s.text.size(), std::string("cannot open: ").size());
}

TEST_F(Win32Platform, RemovingAReadOnlyFileWorksAndAFailureKeepsTheAttribute) {
    writeBytes(dir / "ro", "x");
    setReadOnly(dir / "ro", true);
    EXPECT_TRUE(plat::removeFile(dir.str("ro")).ok());
    EXPECT_FALSE(fs::exists(dir / "ro"));

    writeBytes(dir / "held", "x");
    setReadOnly(dir / "held", true);
    {
        HeldOpen other(dir / "held", FILE_SHARE_READ);
        EXPECT_FALSE(plat::removeFile(dir.str("held")).ok());
    }
    EXPECT_TRUE(isReadOnly(dir / "held")) << "left as it was";
}

TEST_F(Win32Platform, ATemporaryFileTakesTheOriginalsAttributes) {
    writeBytes(dir / "a.txr", "original");
    setReadOnly(dir / "a.txr", true);
    plat::File source;
    plat::FileInfo info;
    ASSERT_TRUE(plat::openRead(dir.str("a.txr"), source, info).ok());
    plat::TempFile temp;
    ASSERT_TRUE(temp.create(dir.str("a.txr"), info).ok());
    ASSERT_TRUE(plat::writeAll(temp.file(), "payload", 7).ok());

    ASSERT_TRUE(temp.moveTo(dir.str("a.txr.png")).ok());

    EXPECT_EQ(readBytes(dir / "a.txr.png"), "payload");
    EXPECT_TRUE(isReadOnly(dir / "a.txr.png"));
}

TEST_F(Win32Platform, AReadOnlyTemporaryFileLeftUnfinishedIsRemoved) {
    writeBytes(dir / "a.txr", "original");
    setReadOnly(dir / "a.txr", true);
    plat::File source;
    plat::FileInfo info;
    ASSERT_TRUE(plat::openRead(dir.str("a.txr"), source, info).ok());
    source.close();
    {
        plat::TempFile temp;
        ASSERT_TRUE(temp.create(dir.str("a.txr"), info).ok());
        ASSERT_TRUE(plat::writeAll(temp.file(), "half", 4).ok());
        writeBytes(dir / "taken", "theirs");
        EXPECT_EQ(temp.moveTo(dir.str("taken")).fault, plat::Fault::exists);
    }
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"a.txr", "taken"}));
    EXPECT_EQ(readBytes(dir / "taken"), "theirs");
}

TEST_F(Win32Platform, MoveOverReplacesAReadOnlyFileInPlace) {
    writeBytes(dir / "nodot", "old");
    setReadOnly(dir / "nodot", true);
    plat::File source;
    plat::FileInfo info;
    ASSERT_TRUE(plat::openRead(dir.str("nodot"), source, info).ok());
    source.close();
    plat::TempFile temp;
    ASSERT_TRUE(temp.create(dir.str("nodot"), info).ok());
    ASSERT_TRUE(plat::writeAll(temp.file(), "new", 3).ok());

    ASSERT_TRUE(temp.moveOver(dir.str("nodot")).ok());

    EXPECT_EQ(readBytes(dir / "nodot"), "new");
    EXPECT_TRUE(isReadOnly(dir / "nodot"));
    EXPECT_EQ(listNames(dir.path()), std::vector<std::string> {"nodot"});
}

TEST_F(Win32Platform, ATemporaryNameIsCutBetweenCharacters) {
    // 181 bytes; byte 120, where the stem would end, lies inside a character.
    std::string name = "a";
    for (int i = 0; i < 60; ++i) name += "\xE5\xA3\x81";
    name += ".txr";
    writeBytes(dir / name, "x");
    plat::TempFile temp;

    ASSERT_TRUE(temp.create(dir.str(name), plat::FileInfo {}).ok());

    const std::vector<std::string> names = listNames(dir.path());
    ASSERT_EQ(names.size(), 2u);
    const std::string made = names[0] == name ? names[1] : names[0];
    EXPECT_EQ(made.rfind(name.substr(0, 118) + ".vrnh-unfinished-", 0), 0u) << made;
}

TEST_F(Win32Platform, ListingGivesUtf8NamesOfFilesOnly) {
    const std::string chinese = "\xE5\xA3\x81\xE7\xBA\xB8.txr";
    const std::string emoji = "\xF0\x9F\x99\x82.TXR";
    writeBytes(dir / chinese, "x");
    writeBytes(dir / emoji, "x");
    fs::create_directory(dir / "folder.txr");

    for (const char* end : {"\\", "/", ""}) {
        std::vector<std::string> names;
        ASSERT_TRUE(plat::listRegularFiles(utf8Of(dir.path()) + end, names).ok());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string> {chinese, emoji})) << "folder ending in \"" << end << '"';
    }
}

TEST_F(Win32Platform, ReadOnlyFilesGoThroughABatchAndItsUndo) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "b.txr", bmpImage());
    setReadOnly(dir / "a.txr", true);
    setReadOnly(dir / "b.txr", true);
    const std::string prog = utf8Of(dir.path()) + "\\";
    std::ostringstream out, err;

    ASSERT_EQ(txr::convertFolder(prog, out, err), txr::Outcome::allDone) << err.str();
    EXPECT_TRUE(isReadOnly(dir / "a.txr.png"));
    EXPECT_TRUE(isReadOnly(dir / "b.txr.bmp"));

    ASSERT_EQ(txr::undoAll(prog, out, err), txr::Outcome::allDone) << err.str();
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"a.txr", "b.txr"}));
    EXPECT_EQ(readBytes(dir / "a.txr"), H + pngImage());
    EXPECT_EQ(readBytes(dir / "b.txr"), bmpImage());
    EXPECT_TRUE(isReadOnly(dir / "a.txr"));
    EXPECT_TRUE(isReadOnly(dir / "b.txr"));
}

TEST_F(Win32Platform, FlushingKeepsAReadOnlyFileReadOnly) {
    writeBytes(dir / "a.txr.png", "converted");
    setReadOnly(dir / "a.txr.png", true);
    writeBytes(dir / "b.txr.png", "converted");

    const plat::Status s = plat::makeDurable({dir.str("a.txr.png"), dir.str("b.txr.png")});

    EXPECT_TRUE(s.ok()) << s.text;
    EXPECT_TRUE(isReadOnly(dir / "a.txr.png"));
    EXPECT_FALSE(isReadOnly(dir / "b.txr.png"));
    EXPECT_EQ(readBytes(dir / "a.txr.png"), "converted");
    EXPECT_EQ(plat::makeDurable({dir.str("gone.png")}).fault, plat::Fault::missing);
}

TEST_F(Win32Platform, AFileShorterThanItsCopyNeedsIsAnError) {
    writeBytes(dir / "a.txr", "0123456789");
    plat::File source;
    plat::FileInfo info;
    ASSERT_TRUE(plat::openRead(dir.str("a.txr"), source, info).ok());
    plat::TempFile temp;
    ASSERT_TRUE(temp.create(dir.str("a.txr"), info).ok());

    ASSERT_TRUE(plat::copyRange(source, 2, 8, temp.file()).ok());
    const plat::Status s = plat::copyRange(source, 2, 9, temp.file());

    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.text, "the file changed while it was copied");
    ASSERT_TRUE(temp.moveTo(dir.str("copy")).ok());
    EXPECT_EQ(readBytes(dir / "copy"), "23456789" "23456789") << "exactly what was asked, then what there was";
}

// The record stays open for appending while a line in its middle is cut out
// (a conversion taken back after later ones were recorded).
TEST_F(Win32Platform, ARecordLineIsTakenBackFromTheMiddle) {
    writeBytes(dir / "a.txr", H + pngImage());
    writeBytes(dir / "b.txr", H + bmpImage());
    const std::string prog = utf8Of(dir.path()) + "\\";
    {
        HeldOpen other(dir / "a.txr", FILE_SHARE_READ);  // a viewer: its original cannot go
        std::ostringstream out, err;
        EXPECT_EQ(txr::convertFolder(prog, out, err), txr::Outcome::someFailed);
        EXPECT_EQ(out.str(), "Convert b.txr\n");
        EXPECT_EQ(err.str().find("could not be restored"), std::string::npos) << err.str();
    }
    EXPECT_EQ(readBytes(dir / "record.txt"), "ZTX " + prog + "b.txr.bmp\r\n");
    EXPECT_EQ(listNames(dir.path()), (std::vector<std::string> {"a.txr", "b.txr.bmp", "record.txt"}));
}

// The console's code page decides how the frame glyphs go out: their own
// bytes only where the console reads them as Big5.
struct CodePageCase {
    unsigned codePage;
    bool big5;
};

class CodePage : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePage, OnlyBig5GetsTheGlyphsUnchanged) {
    EXPECT_EQ(plat::isBig5CodePage(GetParam().codePage), GetParam().big5) << GetParam().codePage;
}

INSTANTIATE_TEST_SUITE_P(Table, CodePage,
                         ::testing::Values(CodePageCase {950, true},     // Traditional Chinese, Big5
                                           CodePageCase {65001, false},  // UTF-8
                                           CodePageCase {936, false},    // GBK: the same bytes, other signs
                                           CodePageCase {932, false}, CodePageCase {949, false},
                                           CodePageCase {437, false}, CodePageCase {1252, false},
                                           CodePageCase {0, false}),     // no console at all
                         [](const auto& info) { return "cp" + std::to_string(info.param.codePage); });

TEST(Win32ProgramDirectory, EitherSeparatorEndsIt) {
    EXPECT_EQ(txr::programDirectoryOf("C:\\tools\\vrnhTXRextractor13.exe"), "C:\\tools\\");
    EXPECT_EQ(txr::programDirectoryOf("C:\\a/b\\x.exe"), "C:\\a/b\\");
    EXPECT_EQ(txr::programDirectoryOf("C:/a\\b/x.exe"), "C:/a\\b/");
    EXPECT_EQ(txr::programDirectoryOf("\\\\server\\share\\x.exe"), "\\\\server\\share\\");
    EXPECT_EQ(txr::programDirectoryOf("x.exe"), "");
}

}  // namespace
