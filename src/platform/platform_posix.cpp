// POSIX implementation of the platform layer (Linux first; other systems
// where noted).
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
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

// Every file operation goes through here, so that a test build can make any
// one of them fail (or the process die at it). The shipped build compiles
// these down to the plain calls.
namespace sys {
#ifdef TXR_FAULT_INJECTION
bool injected(const char* op);  // sets errno when the operation is to fail
#else
constexpr bool injected(const char*) { return false; }
#endif

int open(const char* path, int flags, mode_t mode = 0) { return injected("open") ? -1 : ::open(path, flags, mode); }
ssize_t pread(int fd, void* buf, size_t n, off_t at) { return injected("read") ? -1 : ::pread(fd, buf, n, at); }
ssize_t write(int fd, const void* buf, size_t n) { return injected("write") ? -1 : ::write(fd, buf, n); }
int ftruncate(int fd, off_t size) { return injected("truncate") ? -1 : ::ftruncate(fd, size); }
int link(const char* from, const char* to) { return injected("link") ? -1 : ::link(from, to); }
int unlink(const char* path) { return injected("remove") ? -1 : ::unlink(path); }
int rename(const char* from, const char* to) { return injected("rename") ? -1 : ::rename(from, to); }
int fsync(int fd) { return injected("flush") ? -1 : ::fsync(fd); }
#ifdef __linux__
int syncfs(int fd) { return injected("flush") ? -1 : ::syncfs(fd); }
#endif
int fchmod(int fd, mode_t mode) { return injected("chmod") ? -1 : ::fchmod(fd, mode); }
DIR* opendir(const char* path) { return injected("list") ? nullptr : ::opendir(path); }
int close(int fd) {
    if (!injected("close")) return ::close(fd);
    const int err = errno;
    ::close(fd);  // the descriptor is gone either way
    errno = err;
    return -1;
}
#ifdef __linux__
ssize_t copy_file_range(int in, off_t* inAt, int out, size_t n) {
    return injected("copy") ? -1 : ::copy_file_range(in, inAt, out, nullptr, n, 0);
}
int renameat2(const char* from, const char* to) {
    return injected("rename") ? -1 : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}
#endif
}  // namespace sys

#ifdef TXR_FAULT_INJECTION
struct FaultPlan {
    long failAt = 0;
    int error = 0;
    long killAt = 0;
    std::vector<const char*> seen;
    int killSignal = SIGKILL;
};
FaultPlan gFaults;

std::mutex gFaultsMutex;  // the conversion has a helper thread

bool sys::injected(const char* op) {
    std::lock_guard<std::mutex> lock(gFaultsMutex);
    gFaults.seen.push_back(op);
    const long n = static_cast<long>(gFaults.seen.size());
    if (n == gFaults.killAt) ::kill(::getpid(), gFaults.killSignal);
    if (n != gFaults.failAt) return false;
    errno = gFaults.error;
    return true;
}

// The test binary takes its plan from TXR_FAULTS: "fail=N,errno=E",
// "kill=N" (SIGKILL) or "signal=S,at=N".
const bool gFaultsFromEnvironment = [] {
    if (const char* plan = std::getenv("TXR_FAULTS")) {
        std::sscanf(plan, "fail=%ld,errno=%d", &gFaults.failAt, &gFaults.error);
        std::sscanf(plan, "kill=%ld", &gFaults.killAt);
        std::sscanf(plan, "signal=%d,at=%ld", &gFaults.killSignal, &gFaults.killAt);
    }
    return true;
}();
#endif

// ---- state the signal handler needs: plain data only ----
char gTempPath[4096];
volatile std::sig_atomic_t gTempArmed = 0;

void armTemp(const std::string& path) {
    gTempArmed = 0;
    if (path.size() >= sizeof gTempPath) return;  // cannot happen: PATH_MAX
    std::memcpy(gTempPath, path.c_str(), path.size() + 1);
    gTempArmed = 1;
}

void disarmTemp() { gTempArmed = 0; }

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};


void onInterrupt(int sig) {
    const int saved = errno;
    if (gTempArmed) ::unlink(gTempPath);
    restoreConsole();
    errno = saved;
    // SA_RESETHAND put the default action back: die of the same signal.
    ::raise(sig);
}

}  // namespace

// ---- File ----------------------------------------------------------------

Status File::close() {
    if (!isOpen()) return {};
    const int fd = static_cast<int>(std::exchange(handle_, kClosed));
    // Linux closes the fd even when close() fails; never retry.
    if (sys::close(fd) != 0 && errno != EINTR) return fromErrno(errno, "cannot close");
    return {};
}

Status openRead(const std::string& path, File& file, FileInfo& info) {
    // O_NONBLOCK so that a FIFO under a texture's name cannot hang the tool;
    // it changes nothing for regular files.
    const int fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
        const ssize_t n = sys::pread(fdOf(file), out + got, len - got, static_cast<off_t>(offset + got));
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
        const ssize_t n = sys::write(fdOf(file), in, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromErrno(errno, "cannot write");
        }
        in += n;
        len -= static_cast<std::size_t>(n);
    }
    return {};
}

Status copyRange(File& from, std::uint64_t offset, std::uint64_t length, File& to) {
    auto pos = static_cast<off_t>(offset);
    const auto end = static_cast<off_t>(offset + length);
    const Status shrank = fromErrno(EIO, "the file changed while it was copied");
#ifdef __linux__
    // Measured here: the in-kernel copy is fastest when it writes from a
    // page boundary (a conversion); writing at byte 12 (an undo), a plain
    // 1 MiB buffer is up to twice as fast.
    const off_t at = ::lseek(fdOf(to), 0, SEEK_CUR);
    while (at >= 0 && at % 4096 == 0 && pos < end) {
        const ssize_t n = sys::copy_file_range(fdOf(from), &pos, fdOf(to), static_cast<size_t>(end - pos));
        if (n > 0) continue;
        if (n == 0) return shrank;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return fromErrno(errno, "cannot copy");
        break;
    }
#endif
    static thread_local std::vector<unsigned char> buf;
    if (pos < end && buf.empty()) buf.resize(1 << 20);
    while (pos < end) {
        const auto want = static_cast<size_t>(std::min<off_t>(end - pos, static_cast<off_t>(buf.size())));
        const ssize_t n = sys::pread(fdOf(from), buf.data(), want, pos);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fromErrno(errno, "cannot read");
        }
        if (n == 0) return shrank;
        if (Status s = writeAll(to, buf.data(), static_cast<std::size_t>(n)); !s.ok()) return s;
        pos += n;
    }
    return {};
}

Status emptyFile(const std::string& path) {
    const int fd = sys::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return fromErrno(errno, "cannot empty");
    File f;
    f.adopt(fd);
    return f.close();
}

Status openAppend(const std::string& path, File& file, std::uint64_t& sizeBefore) {
    const int fd = sys::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return fromErrno(errno, "cannot open");
    file.adopt(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fromErrno(errno, "cannot examine");
    sizeBefore = static_cast<std::uint64_t>(st.st_size);
    return {};
}

Status truncateTo(File& file, std::uint64_t size) {
    while (sys::ftruncate(fdOf(file), static_cast<off_t>(size)) != 0) {
        if (errno != EINTR) return fromErrno(errno, "cannot truncate");
    }
    return {};
}

Status renameNoReplace(const std::string& from, const std::string& to) {
#ifdef __linux__
    if (sys::renameat2(from.c_str(), to.c_str()) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return fromErrno(errno, "cannot rename");
#endif
    // File systems without the flag: a hard link cannot replace either.
    if (sys::link(from.c_str(), to.c_str()) != 0) return fromErrno(errno, "cannot rename");
    if (sys::unlink(from.c_str()) != 0) {
        const int err = errno;
        ::unlink(to.c_str());
        return fromErrno(err, "cannot rename");
    }
    return {};
}

Status removeFile(const std::string& path) {
    if (sys::unlink(path.c_str()) != 0) return fromErrno(errno, "cannot remove");
    return {};
}

Status makeDurable(const std::vector<std::string>& paths) {
    std::vector<dev_t> flushed;
    for (const std::string& path : paths) {
#ifdef __linux__
        // One syncfs writes everything of that file system, names included.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return fromErrno(errno, "cannot flush");
        if (std::find(flushed.begin(), flushed.end(), st.st_dev) != flushed.end()) continue;
        flushed.push_back(st.st_dev);
#endif
        const int fd = sys::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return fromErrno(errno, "cannot flush");
        File f;
        f.adopt(fd);
#ifdef __linux__
        if (sys::syncfs(fd) != 0) return fromErrno(errno, "cannot flush");
#else
        if (sys::fsync(fd) != 0) return fromErrno(errno, "cannot flush");
#endif
    }
    return {};
}

bool nameTaken(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return true;
    return errno != ENOENT && errno != ENOTDIR;
}

Status listRegularFiles(const std::string& folder, std::vector<std::string>& names) {
    DIR* dir = sys::opendir(folder.c_str());
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
    static const std::string pid = std::to_string(::getpid());
    Status last;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            stem + kTempMarker + pid + "-" + std::to_string(++counter);
        InterruptsHeld held;
        const int fd = sys::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) {
            last = fromErrno(errno, "cannot create a temporary file");
            if (errno == EEXIST) continue;
            return last;
        }
        file_.adopt(fd);
        path_ = std::move(candidate);
        armTemp(path_);
        if (sys::fchmod(fd, like.permissions & 07777) != 0) {
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
    // Replacing loses the old content at once, so that waits for the disk.
    while (replace && sys::fsync(fdOf(file_)) != 0) {
        if (errno != EINTR) return fromErrno(errno, "cannot flush");
    }
    if (Status s = file_.close(); !s.ok()) return s;
    InterruptsHeld held;
    if (replace) {
        if (sys::rename(path_.c_str(), target.c_str()) != 0) return fromErrno(errno, "cannot rename");
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

#ifdef TXR_FAULT_INJECTION
void faults::arm(long failAt, int error, long killAt) {
    std::lock_guard<std::mutex> lock(gFaultsMutex);
    gFaults = FaultPlan{failAt, error, killAt, {}};
}
long faults::count() {
    std::lock_guard<std::mutex> lock(gFaultsMutex);
    return static_cast<long>(gFaults.seen.size());
}
std::string faults::nameOf(long n) {
    std::lock_guard<std::mutex> lock(gFaultsMutex);
    return n >= 1 && n <= static_cast<long>(gFaults.seen.size()) ? gFaults.seen[static_cast<std::size_t>(n - 1)] : "";
}
#endif

// The shell has expanded any patterns already, and names are bytes.
std::vector<std::string> arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void installInterruptHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND;
    for (int sig : kInterrupts) {
        // Whoever started the tool with a signal ignored (nohup, a script's
        // background job) wants it to go on ignoring it.
        struct sigaction before {};
        if (::sigaction(sig, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &sa, nullptr);
    }
}

// Used also while a temporary file and its copy in gTempPath change
// together, so the handler never sees one without the other.
InterruptsHeld::InterruptsHeld() {
    static_assert(sizeof(sigset_t) <= sizeof saved_);
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kInterrupts) sigaddset(&set, sig);
    ::pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved_));
}

InterruptsHeld::~InterruptsHeld() { ::pthread_sigmask(SIG_SETMASK, reinterpret_cast<sigset_t*>(saved_), nullptr); }

}  // namespace plat
