#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/files.h"
#include "support/run_tool.h"

extern char** environ;

namespace testing_support {

namespace {
constexpr uid_t kNobody = 65534;
}

std::string toolPath() { return TOOL_PATH; }

bool canDropPrivileges() {
    if (::geteuid() != 0) return true;  // already a plain user
    const pid_t pid = ::fork();
    // The tool must also be reachable for that user (a private build folder
    // would not be).
    if (pid == 0)
        ::_exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::access(TOOL_PATH, X_OK) == 0 ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct RunningTool::Impl {
    ScratchDir io;
    pid_t pid = -1;
};

RunningTool::RunningTool(const RunOptions& o) : impl_(new Impl) {
    writeBytes(impl_->io / "in", o.input);
    writeBytes(impl_->io / "out", "");  // there to read even if the child dies at once
    writeBytes(impl_->io / "err", "");
    const std::string in = impl_->io.str("in"), out = impl_->io.str("out"), err = impl_->io.str("err");
    const std::string exe = o.exe.empty() ? toolPath() : o.exe;
    std::vector<std::string> argvStore;
    argvStore.push_back(o.argv0.empty() ? exe : o.argv0);
    argvStore.insert(argvStore.end(), o.args.begin(), o.args.end());
    std::vector<char*> argv;
    for (auto& a : argvStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore = o.env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto& mine : o.env) replaced |= mine.rfind(name, 0) == 0;
        if (!replaced) envStore.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    int pipeEnds[2] = {-1, -1};
    if (o.pipeInput && ::pipe(pipeEnds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int fi = o.pipeInput ? pipeEnds[0] : ::open(in.c_str(), O_RDONLY);
        if (o.pipeInput) ::close(pipeEnds[1]);
        const int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fi < 0 || fo < 0 || fe < 0) ::_exit(126);
        ::dup2(fi, 0);
        ::dup2(fo, 1);
        ::dup2(fe, 2);
        if (!o.cwd.empty() && ::chdir(o.cwd.c_str()) != 0) ::_exit(126);
        for (int sig : o.ignoredSignals) ::signal(sig, SIG_IGN);
        if (o.unprivileged && ::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(126);
        }
        ::execve(exe.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    impl_->pid = pid;
    if (o.pipeInput) {
        ::close(pipeEnds[0]);
        // A tool that stops reading early must not take the test down.
        std::signal(SIGPIPE, SIG_IGN);
        std::size_t done = 0;
        while (done < o.input.size()) {
            const ssize_t n = ::write(pipeEnds[1], o.input.data() + done, o.input.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(pipeEnds[1]);
    }
}

RunningTool::~RunningTool() {
    if (impl_->pid > 0) {
        ::kill(impl_->pid, SIGKILL);
        ::waitpid(impl_->pid, nullptr, 0);
    }
    delete impl_;
}

void RunningTool::signal(int sig) { ::kill(impl_->pid, sig); }
void RunningTool::kill() { ::kill(impl_->pid, SIGKILL); }

RunResult RunningTool::wait() {
    int status = 0;
    while (::waitpid(impl_->pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    impl_->pid = -1;
    RunResult r;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = readBytes(impl_->io / "out");
    r.err = readBytes(impl_->io / "err");
    return r;
}

RunResult runTool(const RunOptions& options) { return RunningTool(options).wait(); }

RunResult runCommand(const std::vector<std::string>& args) {
    std::vector<std::string> store = args;
    std::vector<char*> argv;
    for (auto& a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    // Output goes to a file, not a pipe: a program that leaves a daemon
    // behind (tmux starting its server) would hold a pipe open.
    ScratchDir io;
    const std::string out = io.str("out");
    const pid_t pid = ::fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        const int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null < 0 || fo < 0) ::_exit(126);
        ::dup2(null, 0);
        ::dup2(fo, 1);
        ::dup2(null, 2);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    RunResult r;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = fs::exists(out) ? readBytes(out) : "";
    return r;
}

}  // namespace testing_support
