// POSIX implementation of the platform layer (Linux first; other systems
// where noted).
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace plat {
namespace {

Status fromErrno(int err, const char* what) {
    Status s;
    s.code = err;
    s.fault = (err == EEXIST || err == ENOTEMPTY) ? Fault::exists
              : (err == ENOENT || err == ENOTDIR) ? Fault::missing
                                                   : Fault::other;
    s.text = std::string(what) + ": " + std::strerror(err);
    return s;
}

int fdOf(const File& f) { return static_cast<int>(f.native()); }

// ---- state the signal handler needs: plain data only ----
char gTempPath[4096];
volatile std::sig_atomic_t gTempArmed = 0;
termios gSavedTermios;
volatile std::sig_atomic_t gTermiosChanged = 0;

void armTemp(const std::string& path) {
    gTempArmed = 0;
    if (path.size() >= sizeof gTempPath) return;  // cannot happen: PATH_MAX
    std::memcpy(gTempPath, path.c_str(), path.size() + 1);
    gTempArmed = 1;
}

void disarmTemp() { gTempArmed = 0; }

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Holds interrupts back while a temporary file and its record in gTempPath
// change together, so the handler never sees one without the other.
class InterruptsHeld {
public:
    InterruptsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : kInterrupts) sigaddset(&set, sig);
        ::sigprocmask(SIG_BLOCK, &set, &saved_);
    }
    ~InterruptsHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    sigset_t saved_;
};

void onInterrupt(int sig) {
    const int saved = errno;
    if (gTempArmed) ::unlink(gTempPath);
    if (gTermiosChanged) ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
    errno = saved;
    // SA_RESETHAND put the default action back: die of the same signal.
    ::raise(sig);
}

}  // namespace

// ---- File ----------------------------------------------------------------

File::File(File&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, kClosed);
    }
    return *this;
}

File::~File() { close(); }

void File::adopt(std::intptr_t handle) {
    close();
    handle_ = handle;
}

Status File::close() {
    if (!isOpen()) return {};
    const int fd = static_cast<int>(std::exchange(handle_, kClosed));
    // Linux closes the fd even when close() fails; never retry.
    if (::close(fd) != 0 && errno != EINTR) return fromErrno(errno, "cannot close");
    return {};
}

Status openRead(const std::string& path, File& file, FileInfo& info) {
    // O_NONBLOCK so that a FIFO under a texture's name cannot hang the tool;
    // it changes nothing for regular files.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return fromErrno(errno, "cannot open");
    file.adopt(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fromErrno(errno, "cannot examine");
    info.regular = S_ISREG(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.permissions = st.st_mode & 07777;
    return {};
}

Status readAt(File& file, std::uint64_t offset, void* buf, std::size_t len, std::size_t& got) {
    got = 0;
    auto* out = static_cast<unsigned char*>(buf);
    while (got < len) {
        const ssize_t n = ::pread(fdOf(file), out + got, len - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromErrno(errno, "cannot read");
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

Status writeAll(File& file, const void* data, std::size_t len) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (len > 0) {
        const ssize_t n = ::write(fdOf(file), in, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromErrno(errno, "cannot write");
        }
        in += n;
        len -= static_cast<std::size_t>(n);
    }
    return {};
}

Status copyToEnd(File& from, std::uint64_t offset, File& to) {
    auto pos = static_cast<off_t>(offset);
#ifdef __linux__
    // In-kernel copy first; fall back to a buffer where the file systems
    // cannot do it (and on kernels that lack it).
    for (;;) {
        const ssize_t n = ::copy_file_range(fdOf(from), &pos, fdOf(to), nullptr, 1 << 30, 0);
        if (n > 0) continue;
        if (n == 0) return {};
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return fromErrno(errno, "cannot copy");
        break;
    }
#endif
    std::vector<unsigned char> buf(256 * 1024);
    for (;;) {
        const ssize_t n = ::pread(fdOf(from), buf.data(), buf.size(), pos);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromErrno(errno, "cannot read");
        }
        if (n == 0) return {};
        if (Status s = writeAll(to, buf.data(), static_cast<std::size_t>(n)); !s.ok()) return s;
        pos += n;
    }
}

Status emptyFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return fromErrno(errno, "cannot empty");
    File f;
    f.adopt(fd);
    return f.close();
}

Status openAppend(const std::string& path, File& file, std::uint64_t& sizeBefore) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return fromErrno(errno, "cannot open");
    file.adopt(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fromErrno(errno, "cannot examine");
    sizeBefore = static_cast<std::uint64_t>(st.st_size);
    return {};
}

Status truncateTo(File& file, std::uint64_t size) {
    while (::ftruncate(fdOf(file), static_cast<off_t>(size)) != 0) {
        if (errno != EINTR) return fromErrno(errno, "cannot truncate");
    }
    return {};
}

Status renameNoReplace(const std::string& from, const std::string& to) {
#ifdef __linux__
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return fromErrno(errno, "cannot rename");
#endif
    // File systems without the flag: a hard link cannot replace either.
    if (::link(from.c_str(), to.c_str()) != 0) return fromErrno(errno, "cannot rename");
    if (::unlink(from.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return fromErrno(err, "cannot rename");
    }
    return {};
}

Status removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return fromErrno(errno, "cannot remove");
    return {};
}

bool nameTaken(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return true;
    return errno != ENOENT && errno != ENOTDIR;
}

Status listRegularFiles(const std::string& folder, std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return fromErrno(errno, "cannot list");
    const int dfd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* e = ::readdir(dir);
        if (e == nullptr) break;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = ::fstatat(dfd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) names.emplace_back(e->d_name);
    }
    const int err = errno;
    ::closedir(dir);
    if (err != 0) return fromErrno(err, "cannot list");
    return {};
}

// ---- TempFile ------------------------------------------------------------

TempFile::~TempFile() { discard(); }

Status TempFile::create(const std::string& beside, const FileInfo& like) {
    discard();
    // Keep the file name short enough for the folder's name limit.
    const std::size_t slash = beside.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem = beside.substr(0, nameStart + std::min<std::size_t>(beside.size() - nameStart, 120));
    static unsigned counter = 0;
    Status last;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            stem + kTempMarker + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        InterruptsHeld held;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) {
            last = fromErrno(errno, "cannot create a temporary file");
            if (errno == EEXIST) continue;
            return last;
        }
        file_.adopt(fd);
        path_ = std::move(candidate);
        armTemp(path_);
        if (::fchmod(fd, like.permissions & 07777) != 0) {
            last = fromErrno(errno, "cannot set permissions");
            discard();
            return last;
        }
        return {};
    }
    return last;
}

Status TempFile::moveTo(const std::string& target) { return finish(target, false); }
Status TempFile::moveOver(const std::string& target) { return finish(target, true); }

Status TempFile::finish(const std::string& target, bool replace) {
    while (::fsync(fdOf(file_)) != 0) {
        if (errno != EINTR) return fromErrno(errno, "cannot flush");
    }
    if (Status s = file_.close(); !s.ok()) return s;
    InterruptsHeld held;
    if (replace) {
        if (::rename(path_.c_str(), target.c_str()) != 0) return fromErrno(errno, "cannot rename");
    } else if (Status s = renameNoReplace(path_, target); !s.ok()) {
        return s;
    }
    disarmTemp();
    path_.clear();
    return {};
}

void TempFile::discard() {
    file_.close();
    if (!path_.empty()) {
        InterruptsHeld held;
        ::unlink(path_.c_str());
        disarmTemp();
        path_.clear();
    }
}

bool isSeparator(char c) { return c == '/'; }

// The shell has expanded any patterns already, and names are bytes.
std::vector<std::string> arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void installInterruptHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    for (int sig : kInterrupts) ::sigaction(sig, &sa, nullptr);
}

// ---- Console -------------------------------------------------------------

bool inputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void clearScreen() {
    if (!outputIsTerminal()) return;
    // Home, clear the screen, clear the scroll-back.
    std::cout << "\x1b[H\x1b[2J\x1b[3J" << std::flush;
}

namespace {

struct InputBuffer {
    unsigned char data[4096];
    std::size_t pos = 0;
    std::size_t len = 0;
    bool ended = false;

    bool fill() {
        if (pos < len) return true;
        if (ended) return false;
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, data, sizeof data);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ended = true;
                return false;
            }
            pos = 0;
            len = static_cast<std::size_t>(n);
            return true;
        }
    }
};

InputBuffer gInput;

// One raw byte from the terminal, unbuffered and unechoed; -1 on failure.
int readTerminalKey() {
    termios raw {};
    if (::tcgetattr(STDIN_FILENO, &gSavedTermios) != 0) return -1;
    raw = gSavedTermios;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    gTermiosChanged = 1;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char c = 0;
    ssize_t n;
    do {
        n = ::read(STDIN_FILENO, &c, 1);
    } while (n < 0 && errno == EINTR);
    // Drop the rest of a multi-byte key (arrows send ESC [ A) so it does not
    // reach whatever reads the terminal next.
    ::tcflush(STDIN_FILENO, TCIFLUSH);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
    gTermiosChanged = 0;
    return n == 1 ? c : -1;
}

}  // namespace

int readInputByte() {
    if (!gInput.fill()) return -1;
    return gInput.data[gInput.pos++];
}

int peekInputByte() {
    if (!gInput.fill()) return -1;
    return gInput.data[gInput.pos];
}

void waitKey() {
    std::cout << std::flush;
    if (inputIsTerminal())
        readTerminalKey();
    else
        readInputByte();
}

}  // namespace plat
