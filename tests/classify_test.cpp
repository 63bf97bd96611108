#include <gtest/gtest.h>

#include <string>

#include "conversion/conversion.h"

namespace {

using txr::ImageType;

std::span<const unsigned char> bytesOf(const std::string& s) {
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

struct SignatureCase {
    const char* what;
    std::string bytes;
    ImageType expected;
};

class Signature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(Signature, FirstMatchingRowWins) {
    EXPECT_EQ(txr::classify(bytesOf(GetParam().bytes)), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Signature,
    ::testing::Values(
        SignatureCase{"dds", "DDS |", ImageType::dds},
        SignatureCase{"dds, any fourth byte", "DDSx", ImageType::dds},
        SignatureCase{"dds needs three bytes", "DD", ImageType::tga},
        SignatureCase{"bmp", "BM", ImageType::bmp},
        SignatureCase{"bmp then anything", "BMxyz", ImageType::bmp},
        SignatureCase{"png", "\x89PNG", ImageType::png},
        SignatureCase{"png ignores byte 0", "xPNG", ImageType::png},
        SignatureCase{"png needs byte 3", "xPN", ImageType::tga},
        SignatureCase{"jpeg", "\xFF\xD8\xFF", ImageType::jpg},
        SignatureCase{"FF D9 is no jpeg", "\xFF\xD9", ImageType::tga},
        SignatureCase{"lower-case letters", "abcdef", ImageType::tga},
        SignatureCase{"ZOATE without X", "ZOATEY", ImageType::tga},
        SignatureCase{"container magic itself", "ZOATEX", ImageType::tga},
        SignatureCase{"one byte", "B", ImageType::tga},
        SignatureCase{"empty", "", ImageType::tga},
        SignatureCase{"lower-case dds", "dds", ImageType::tga}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Wrapped, NeedsMagicAndAWholeHeader) {
    const std::string magic = "ZOATEX";
    EXPECT_TRUE(txr::isWrapped(bytesOf(magic), 12));
    EXPECT_TRUE(txr::isWrapped(bytesOf(magic), 1000));
    EXPECT_FALSE(txr::isWrapped(bytesOf(magic), 11));  // shorter than the header
    EXPECT_FALSE(txr::isWrapped(bytesOf("ZOATEx"), 100));
    EXPECT_FALSE(txr::isWrapped(bytesOf("ZOATE"), 100));
}

TEST(RecordLine, MarkerPathExtensionAndCrLf) {
    EXPECT_EQ(txr::recordLine(true, "D:\\tex\\a.txr", ImageType::png), "ZTX D:\\tex\\a.txr.png\r\n");
    EXPECT_EQ(txr::recordLine(false, "a.txr", ImageType::bmp), "a.txr.bmp\r\n");
    EXPECT_EQ(txr::recordLine(false, "x y/z.txr", ImageType::jpg), "x y/z.txr.jpg\r\n");
    EXPECT_EQ(txr::recordLine(true, "t", ImageType::dds), "ZTX t.dds\r\n");
    EXPECT_EQ(txr::recordLine(false, "t", ImageType::tga), "t.tga\r\n");
}

TEST(RecordPath, SitsInTheProgramDirectory) {
    EXPECT_EQ(txr::recordPathIn(""), "record.txt");
    EXPECT_EQ(txr::recordPathIn("/opt/tool/"), "/opt/tool/record.txt");
}

}  // namespace
