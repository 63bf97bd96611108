// A console for tests: keys from a script, output kept byte by byte with the
// attribute each byte was written in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace testing_support {

class FakeConsole final : public plat::Console {
public:
    // Each burst is what a terminal delivers at once, like the three bytes
    // of an arrow key; a byte at the end of a burst has nothing following.
    // One burst holding everything is how a pipe behaves.
    explicit FakeConsole(std::vector<std::string> bursts = {}) : bursts_(std::move(bursts)) {}

    int readKeyByte() override {
        inKeyMode = true;
        while (burst_ < bursts_.size() && pos_ == bursts_[burst_].size()) {
            ++burst_;
            pos_ = 0;
        }
        if (burst_ == bursts_.size()) return -1;
        return static_cast<unsigned char>(bursts_[burst_][pos_++]);
    }
    int peekFollowingByte() override {
        if (burst_ == bursts_.size() || pos_ == bursts_[burst_].size()) return -1;
        return static_cast<unsigned char>(bursts_[burst_][pos_]);
    }
    void endKeys() override { inKeyMode = false; }

    void write(std::string_view text) override {
        if (screens.empty()) screens.emplace_back();
        screens.back().text += text;
        screens.back().attributes.insert(screens.back().attributes.end(), text.size(), attribute);
    }
    void clear() override {
        ++clears;
        screens.emplace_back();
    }
    void setAttribute(int a) override { attribute = a; }

    // Everything the scripted keys still hold.
    std::string unread() const {
        std::string rest;
        for (std::size_t b = burst_; b < bursts_.size(); ++b) rest += bursts_[b].substr(b == burst_ ? pos_ : 0);
        return rest;
    }

    struct Line {
        std::string text;
        std::vector<int> attributes;
    };

    struct Screen {
        std::string text;
        std::vector<int> attributes;

        std::vector<Line> lines() const {
            std::vector<Line> out(1);
            for (std::size_t i = 0; i < text.size(); ++i) {
                if (text[i] == '\n') {
                    out.emplace_back();
                    continue;
                }
                out.back().text += text[i];
                out.back().attributes.push_back(attributes[i]);
            }
            if (out.back().text.empty()) out.pop_back();  // after the last line end
            return out;
        }
    };

    // The text written since each clear (the first one also before any).
    std::vector<Screen> screens;
    int clears = 0;
    int attribute = 7;
    bool inKeyMode = false;

private:
    std::vector<std::string> bursts_;
    std::size_t burst_ = 0;
    std::size_t pos_ = 0;
};

}  // namespace testing_support
