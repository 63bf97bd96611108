// The real binary started without files, its keys coming from a pipe or a
// file: the fixture and what the tests look for in its output.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_tool.h"

namespace testing_support {

inline const std::string kMenuTitle = "\n   Vornhal TXR Extractor v1.4\n";
inline const std::string kClosing = "\nVornhal TXR Extractor v1.4\n";
inline const std::string kHelpHeading = "Usage(1):";

inline std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Where each of `marks` stands in `text`, searching on from the last one;
// npos where one is missing.
inline std::vector<std::size_t> inOrder(const std::string& text, const std::vector<std::string>& marks) {
    std::vector<std::size_t> at;
    std::size_t from = 0;
    for (const auto& m : marks) {
        const std::size_t p = from == std::string::npos ? from : text.find(m, from);
        at.push_back(p);
        from = p == std::string::npos ? p : p + m.size();
    }
    return at;
}

inline std::size_t count(const std::string& text, const std::string& mark) {
    std::size_t n = 0;
    for (std::size_t p = text.find(mark); p != std::string::npos; p = text.find(mark, p + 1)) ++n;
    return n;
}

class MenuFromPipe : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(dir / "prog"); }

    RunOptions options(std::string input, std::vector<std::string> env = {"LC_ALL=C.UTF-8"}) const {
        RunOptions o;
        o.input = std::move(input);
        o.cwd = dir.path().string();
        o.argv0 = dir.str("prog") + "/vrnhTXRextractor13";
        o.env = std::move(env);
        return o;
    }
    RunResult run(std::string input, std::vector<std::string> env = {"LC_ALL=C.UTF-8"}) {
        return runTool(options(std::move(input), std::move(env)));
    }

    ScratchDir dir;
};

}  // namespace testing_support
