// Starts the tool with CreateProcessW: the command line is built here, so
// argv[0] can be anything, and standard input, output and error are files
// (or, for input, a pipe) that the child inherits.
#include <csignal>
#include <stdexcept>

#include <windows.h>

#include "support/files.h"
#include "support/run_tool.h"

namespace testing_support {

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// Quoted so that CommandLineToArgvW (and the C runtime) give back `arg`
// exactly: backslashes double only in front of a quote or the closing quote.
void appendArgument(std::wstring& line, const std::wstring& arg) {
    line += L' ';
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

HANDLE inheritable(const fs::path& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa {sizeof sa, nullptr, TRUE};
    const HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + utf8Of(path));
    return h;
}

}  // namespace

// The build's path may be a POSIX one (/work/...) when the tests run under
// Wine; made absolute now, it stays right whatever folder the tool runs in.
std::string toolPath() {
    static const std::string path = [] {
        const std::wstring given = wide(TOOL_PATH);
        std::wstring full(32768, L'\0');
        const DWORD n = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (n == 0 || n >= full.size()) throw std::runtime_error("cannot resolve " TOOL_PATH);
        full.resize(n);
        return utf8Of(fs::path(full));
    }();
    return path;
}

bool canDropPrivileges() { return false; }  // no such switch for a child here

struct RunningTool::Impl {
    ScratchDir io;
    PROCESS_INFORMATION process {};
    bool running = false;
};

RunningTool::RunningTool(const RunOptions& o) : impl_(new Impl) {
    if (o.unprivileged) throw std::runtime_error("cannot run as another user here");
    writeBytes(impl_->io / "in", o.input);
    writeBytes(impl_->io / "out", "");
    writeBytes(impl_->io / "err", "");

    const std::wstring exe = wide(toolPath());
    // argv[0] is taken up to the next blank or between quotes, without
    // escapes (no Windows path holds a quote).
    const std::wstring argv0 = wide(o.argv0.empty() ? toolPath() : o.argv0);
    std::wstring line = argv0.find_first_of(L" \t") == std::wstring::npos ? argv0 : L"\"" + argv0 + L"\"";
    for (const auto& a : o.args) appendArgument(line, wide(a));

    HANDLE in = INVALID_HANDLE_VALUE, inWriteEnd = INVALID_HANDLE_VALUE;
    if (o.pipeInput) {
        SECURITY_ATTRIBUTES sa {sizeof sa, nullptr, TRUE};
        if (!::CreatePipe(&in, &inWriteEnd, &sa, 0)) throw std::runtime_error("cannot make a pipe");
        ::SetHandleInformation(inWriteEnd, HANDLE_FLAG_INHERIT, 0);
    } else {
        in = inheritable(impl_->io / "in", GENERIC_READ, OPEN_EXISTING);
    }
    const HANDLE out = inheritable(impl_->io / "out", GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = inheritable(impl_->io / "err", GENERIC_WRITE, CREATE_ALWAYS);

    STARTUPINFOW si {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    const std::wstring cwd = o.cwd.empty() ? std::wstring() : wide(o.cwd);
    // No console, as when run from a script or a service; or, for Ctrl-C,
    // a hidden console of its own. Either way input and output are the
    // test's files, not a console. (Only on request: a console host whose
    // tool was killed may stay behind, holding ctest's output open.)
    const DWORD console = o.interruptible ? CREATE_NEW_CONSOLE : DETACHED_PROCESS;
    BOOL started = FALSE;
    DWORD startError = 0;
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR while
    // another process is starting or being killed; a second try works.
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        started = ::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE,
                                   console | CREATE_UNICODE_ENVIRONMENT, nullptr, cwd.empty() ? nullptr : cwd.c_str(),
                                   &si, &impl_->process);
        startError = ::GetLastError();
        if (startError != ERROR_INTERNAL_ERROR) break;
    }
    ::CloseHandle(in);
    ::CloseHandle(out);
    ::CloseHandle(err);
    if (!started) {
        if (inWriteEnd != INVALID_HANDLE_VALUE) ::CloseHandle(inWriteEnd);
        delete impl_;
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(startError));
    }
    impl_->running = true;
    if (o.pipeInput) {
        // A tool that stops reading early breaks the pipe; that is fine.
        std::size_t done = 0;
        while (done < o.input.size()) {
            DWORD n = 0;
            if (!::WriteFile(inWriteEnd, o.input.data() + done, static_cast<DWORD>(o.input.size() - done), &n,
                             nullptr))
                break;
            done += n;
        }
        ::CloseHandle(inWriteEnd);
    }
}

RunningTool::~RunningTool() {
    if (impl_->running) {
        ::TerminateProcess(impl_->process.hProcess, 1);
        ::WaitForSingleObject(impl_->process.hProcess, INFINITE);
    }
    if (impl_->process.hProcess != nullptr) ::CloseHandle(impl_->process.hProcess);
    if (impl_->process.hThread != nullptr) ::CloseHandle(impl_->process.hThread);
    delete impl_;
}

// SIGINT becomes a Ctrl-C in the tool's console; anything else ends it at
// once.
void RunningTool::signal(int sig) {
    if (sig != SIGINT) return kill();
    // Console events go to every process of a console: join the tool's
    // for a moment, deaf to them, then go back to our own (if any).
    const bool hadConsole = ::GetConsoleWindow() != nullptr;
    ::FreeConsole();
    if (!::AttachConsole(impl_->process.dwProcessId)) throw std::runtime_error("cannot reach the tool's console");
    ::SetConsoleCtrlHandler(nullptr, TRUE);
    const BOOL sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    ::FreeConsole();
    if (hadConsole) ::AttachConsole(ATTACH_PARENT_PROCESS);
    if (!sent) throw std::runtime_error("cannot send Ctrl-C");
}

void RunningTool::kill() { ::TerminateProcess(impl_->process.hProcess, 1); }

RunResult RunningTool::wait() {
    if (::WaitForSingleObject(impl_->process.hProcess, INFINITE) != WAIT_OBJECT_0)
        throw std::runtime_error("waiting for the tool failed");
    impl_->running = false;
    DWORD code = 0;
    ::GetExitCodeProcess(impl_->process.hProcess, &code);
    RunResult r;
    r.exitCode = static_cast<int>(code);
    r.out = readBytes(impl_->io / "out");
    r.err = readBytes(impl_->io / "err");
    return r;
}

RunResult runTool(const RunOptions& options) { return RunningTool(options).wait(); }

}  // namespace testing_support
