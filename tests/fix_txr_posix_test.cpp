// fixTxr on what only POSIX systems have: line breaks in names, symbolic
// links anyone may make, permission bits.
#include <gtest/gtest.h>

#include "conversion/conversion.h"
#include "support/files.h"
#include "support/fix_txr_fixture.h"

namespace {

using namespace testing_support;
using txr::FixStatus;

const std::string H = header();

TEST_F(FixTxr, RefusesANameThatWouldBreakTheRecordLine) {
    writeBytes(dir / "two\nlines.txr", H + pngImage());

    const txr::FixResult r = txr::fixTxr(dir.str("two\nlines.txr"), prog());

    EXPECT_EQ(r.status, FixStatus::unrecordable);
    EXPECT_EQ(readBytes(dir / "two\nlines.txr"), H + pngImage());
    EXPECT_FALSE(fs::exists(dir / "prog" / "record.txt"));
}

TEST_F(FixTxr, ADanglingLinkAlsoHoldsTheName) {
    writeBytes(dir / "a.txr", pngImage());
    fs::create_symlink(dir / "nowhere", dir / "a.txr.png");

    EXPECT_EQ(txr::fixTxr(dir.str("a.txr"), prog()).status, FixStatus::nameTaken);
    EXPECT_EQ(readBytes(dir / "a.txr"), pngImage());
}

TEST_F(FixTxr, TheNewFileKeepsTheOriginalsPermissions) {
    writeBytes(dir / "a.txr", H + pngImage());
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read;
    fs::permissions(dir / "a.txr", readOnly);

    ASSERT_EQ(txr::fixTxr(dir.str("a.txr"), prog()).status, FixStatus::converted);

    EXPECT_EQ(fs::status(dir / "a.txr.png").permissions(), readOnly);
}

}  // namespace
