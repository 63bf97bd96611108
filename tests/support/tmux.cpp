#include "support/tmux.h"

#include <stdexcept>
#include <thread>

#include "support/run_tool.h"

namespace testing_support {

namespace {

constexpr auto kPatience = std::chrono::seconds(10);
constexpr auto kPollEvery = std::chrono::milliseconds(10);

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool Tmux::available() { return runCommand({"tmux", "-V"}).exitCode == 0; }

Tmux::Tmux(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& cwd,
           int columns, int rows)
    : socket_(dir_.str("socket")) {
    std::vector<std::string> args = {"new-session", "-d", "-s", "t", "-x", std::to_string(columns),
                                     "-y",          std::to_string(rows), "-c", cwd};
    for (const auto& e : env) {
        args.push_back("-e");
        args.push_back(e);
    }
    // More than one word: tmux runs the program itself, with no shell.
    args.insert(args.end(), argv.begin(), argv.end());
    args.insert(args.end(), {";", "set-option", "-t", "t", "remain-on-exit", "on"});
    tmux(args);
}

Tmux::~Tmux() { runCommand({"tmux", "-S", socket_, "kill-server"}); }

std::string Tmux::tmux(std::vector<std::string> args) {
    std::vector<std::string> argv = {"tmux", "-S", socket_, "-u", "-f", "/dev/null"};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult r = runCommand(argv);
    if (r.exitCode != 0) throw std::runtime_error("tmux failed: " + args.front());
    return r.out;
}

void Tmux::keys(const std::vector<std::string>& names) {
    std::vector<std::string> args = {"send-keys", "-t", "t"};
    args.insert(args.end(), names.begin(), names.end());
    tmux(args);
}

std::vector<std::string> Tmux::screen(bool escapes) {
    std::vector<std::string> args = {"capture-pane", "-p", "-t", "t"};
    if (escapes) args.push_back("-e");
    std::vector<std::string> lines = splitLines(tmux(args));
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

bool Tmux::waitFor(const std::function<bool(const std::vector<std::string>&)>& done) {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < until) {
        if (done(screen())) return true;
        std::this_thread::sleep_for(kPollEvery);
    }
    return false;
}

bool Tmux::waitForLine(const std::string& line) {
    return waitFor([&](const std::vector<std::string>& lines) {
        for (const auto& l : lines)
            if (l == line) return true;
        return false;
    });
}

int Tmux::endColumn(int row) {
    // Copy mode's cursor lands where the terminal put the cells.
    std::vector<std::string> args = {"copy-mode", "-t", "t", ";", "send-keys", "-t", "t", "-X", "top-line"};
    if (row > 0) args.insert(args.end(), {";", "send-keys", "-t", "t", "-N", std::to_string(row), "-X", "cursor-down"});
    args.insert(args.end(), {";", "send-keys", "-t", "t", "-X", "end-of-line", ";", "display-message", "-p", "-t", "t",
                             "#{copy_cursor_x}", ";", "send-keys", "-t", "t", "-X", "cancel"});
    return std::stoi(tmux(args));
}

}  // namespace testing_support
