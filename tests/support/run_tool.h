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
    std::string exe;                // "" means toolPath()
    std::vector<std::string> env;   // "NAME=value" entries to set or replace
    std::vector<int> ignoredSignals;  // ignored from the start, as nohup does
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
    void kill();  // at once, no clean-up possible
    RunResult wait();

private:
    struct Impl;
    Impl* impl_;
};

// True when the tests can run the tool as an unprivileged user.
bool canDropPrivileges();

// Runs another program (found on PATH) with these arguments, no shell, and
// gives its exit code and standard output; exitCode is 127 when it cannot
// be started.
RunResult runCommand(const std::vector<std::string>& argv);

}  // namespace testing_support
