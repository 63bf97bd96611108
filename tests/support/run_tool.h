// Runs the real tool binary as a user would, with chosen arguments, standard
// input and working folder.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct RunOptions {
    std::vector<std::string> args;  // after the program path
    std::string input;              // all of standard input
    bool pipeInput = false;         // through a pipe rather than from a file
    std::string cwd;                // "" keeps the test's own
    std::string argv0;              // "" means the binary's real path
    bool unprivileged = false;      // drop root rights first
    bool interruptible = false;     // Windows: a hidden console of its own, which signal(SIGINT) needs
};

struct RunResult {
    int exitCode = -1;  // -1 when killed by a signal
    int signal = 0;     // POSIX only
    std::string out;
    std::string err;
};

// Path of the tool binary under test.
std::string toolPath();

RunResult runTool(const RunOptions& options);

// For tests that interrupt the tool: start, then signal or wait.
class RunningTool {
public:
    explicit RunningTool(const RunOptions& options);
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;
    void signal(int sig);
    // Ends the tool at once, with no chance to clean up.
    void kill();
    RunResult wait();

private:
    struct Impl;
    Impl* impl_;
};

// True when the tests can run the tool as an unprivileged user.
bool canDropPrivileges();

}  // namespace testing_support
