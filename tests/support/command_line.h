// Fixtures of the end-to-end tests: a scratch folder to work in, with the
// program's folder prog/ inside it, so its record is dir/prog/record.txt.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_tool.h"

namespace testing_support {

inline const std::string kPromptTail = "\" is not a txr file, continue convertion?(Y/N) ";

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dir / "prog"); }

    // Run in the scratch folder, as if the program lay in dir/prog.
    RunOptions options(std::vector<std::string> args, std::string input = "") const {
        RunOptions o;
        o.args = std::move(args);
        o.input = std::move(input);
        o.cwd = utf8Of(dir.path());
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        return o;
    }
    RunResult run(std::vector<std::string> args, std::string input = "") {
        return runTool(options(std::move(args), std::move(input)));
    }
    std::string record() { return readBytes(dir / "prog" / "record.txt"); }

    // Each of these names (every other file wrapped), given on the command
    // line, is converted exactly, with its record line, and nothing else
    // appears in the folder.
    void expectConvertedExactly(const std::vector<std::string>& names) {
        std::vector<std::string> expectedNames = {"prog"};
        std::string expectedRecord;
        for (std::size_t i = 0; i < names.size(); ++i) {
            const bool wrapped = i % 2 == 0;
            writeBytes(dir / names[i], (wrapped ? header() : "") + pngImage());
            expectedNames.push_back(names[i] + ".png");
            expectedRecord += (wrapped ? "ZTX " : "") + names[i] + ".png\r\n";
        }
        std::sort(expectedNames.begin(), expectedNames.end());

        const RunResult r = run(names);

        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(listNames(dir.path()), expectedNames);
        EXPECT_EQ(record(), expectedRecord);
        for (const auto& n : names) EXPECT_EQ(readBytes(dir / (n + ".png")), pngImage()) << n;
    }

    ScratchDir dir;
};

// A wrapped file large enough that the tool is still copying when it dies.
class Interrupted : public CommandLine {
protected:
    void SetUp() override {
        CommandLine::SetUp();
        std::string payload = pngImage();
        payload.resize(48 << 20, '\x5A');
        original = header() + payload;
        writeBytes(dir / "big.txr", original);
        payloadOnly = payload;
    }

    // Whatever moment the tool died, the texture is whole under one name.
    void expectWholeUnderOneName() {
        const bool old = fs::exists(dir / "big.txr");
        const bool converted = fs::exists(dir / "big.txr.png");
        ASSERT_TRUE(old || converted);
        if (old) {
            EXPECT_TRUE(readBytes(dir / "big.txr") == original) << "the original was damaged";
        }
        if (converted) {
            EXPECT_TRUE(readBytes(dir / "big.txr.png") == payloadOnly) << "a half-written file";
        }
    }

    // True once the tool has begun to write its copy (or is done).
    bool copying() {
        for (const auto& n : listNames(dir.path()))
            if (n.find(".vrnh-unfinished-") != std::string::npos) return true;
        return fs::exists(dir / "big.txr.png");
    }

    // Start again from the original alone.
    void reset() {
        for (const auto& name : listNames(dir.path()))
            if (name != "prog") fs::remove(dir / name);
        fs::remove(dir / "prog" / "record.txt");
        writeBytes(dir / "big.txr", original);
    }

    std::string original, payloadOnly;
};

}  // namespace testing_support
