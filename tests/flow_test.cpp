#include <gtest/gtest.h>

#include "flow/flow.h"

namespace {

TEST(ProgramDirectory, IsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(txr::programDirectoryOf("/opt/tools/vrnhTXRextractor13"), "/opt/tools/");
    EXPECT_EQ(txr::programDirectoryOf("./vrnhTXRextractor13"), "./");
    EXPECT_EQ(txr::programDirectoryOf("bin/x.y/tool"), "bin/x.y/");
    EXPECT_EQ(txr::programDirectoryOf("vrnhTXRextractor13"), "");
    EXPECT_EQ(txr::programDirectoryOf(""), "");
}

struct ExtensionCase {
    const char* path;
    const char* extension;
};

class Extension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(Extension, IsTheTextAfterTheLastDot) {
    EXPECT_EQ(txr::extensionOfArgument(GetParam().path), GetParam().extension) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Table, Extension,
                         ::testing::Values(ExtensionCase{"a.txr", "txr"}, ExtensionCase{"dir/a.b.txr", "txr"},
                                           ExtensionCase{"a.TXR", "TXR"}, ExtensionCase{"noext", "noext"},
                                           ExtensionCase{"dir.old/file", "old/file"}, ExtensionCase{"a.", ""},
                                           ExtensionCase{"a.txr.png", "png"}));

TEST(Printable, MasksControlBytesOnly) {
    EXPECT_EQ(txr::printable("a\x1b[31mb\n\r\t\x7F"), "a?[31mb????");
    EXPECT_EQ(txr::printable("caf\xC3\xA9 \xFF & \"x\""), "caf\xC3\xA9 \xFF & \"x\"");
}

}  // namespace
