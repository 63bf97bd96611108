// A scratch folder with the program's folder prog/ inside, for fixTxr.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

namespace testing_support {

class FixTxr : public ::testing::Test {
protected:
    std::string prog() const { return dir.str("prog") + "/"; }
    std::string record() const { return readBytes(dir / "prog" / "record.txt"); }
    void SetUp() override { fs::create_directory(dir / "prog"); }
    ScratchDir dir;
};

}  // namespace testing_support
