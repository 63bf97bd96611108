// Runs a program on the terminal it was given and tells whether the
// terminal's settings are the same afterwards, however the program ended.
//
//   tty_witness REPORT PIDFILE EXE ARGV0 [ARGS...]
//
// Writes the program's process id to PIDFILE once started, and, when it has
// ended, "exit=N signal=S same=B" to REPORT (written whole, then renamed
// into place, so a reader never sees half of it).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 && cfgetispeed(&a) == cfgetispeed(&b) &&
           cfgetospeed(&a) == cfgetospeed(&b);
}

bool writeFile(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    std::FILE* f = std::fopen(part.c_str(), "w");
    if (f == nullptr) return false;
    const bool ok = std::fputs(text.c_str(), f) >= 0;
    return std::fclose(f) == 0 && ok && std::rename(part.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return 2;
    termios before {};
    if (::tcgetattr(STDIN_FILENO, &before) != 0) return 3;

    const pid_t pid = ::fork();
    if (pid < 0) return 4;
    if (pid == 0) {
        ::execv(argv[3], argv + 4);
        ::_exit(127);
    }
    // Ctrl-C on the terminal reaches the witness too; it must outlive the
    // program to look at the terminal.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGQUIT, SIG_IGN);
    writeFile(argv[2], std::to_string(pid) + "\n");

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    termios after {};
    const bool same = ::tcgetattr(STDIN_FILENO, &after) == 0 && sameSettings(before, after);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    writeFile(argv[1], "exit=" + std::to_string(exitCode) + " signal=" + std::to_string(signal) +
                           " same=" + (same ? "1" : "0") + "\n");
    return 0;
}
