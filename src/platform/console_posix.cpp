// POSIX console: terminal modes, keys, colours and standard input.
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <iostream>
#include <utility>

#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/platform.h"

namespace plat {

namespace {

// How long the bytes of one key may lag behind each other. A terminal sends
// an arrow key's bytes in one go; a lone ESC is followed by nothing.
constexpr int kFollowingByteMs = 50;

// ---- state the signal handlers need: plain data only ----
termios gSavedTermios;
termios gKeysTermios;
volatile std::sig_atomic_t gTermiosChanged = 0;
volatile std::sig_atomic_t gColoured = 0;

constexpr char kNormalColours[] = "\x1b[0m";

// Ctrl-Z: give the shell its terminal as the user set it (not every shell
// does that itself), then stop.
void onStop(int) {
    const int saved = errno;
    if (gTermiosChanged) ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
    struct sigaction stop {}, mine {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    ::sigaction(SIGTSTP, &stop, &mine);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(SIGTSTP);
    // Here again after `fg`.
    ::sigaction(SIGTSTP, &mine, nullptr);
    errno = saved;
}

// Back from a stop: shells put their own settings on the terminal, so keys
// would wait for Enter again.
void onContinue(int) {
    const int saved = errno;
    if (gTermiosChanged) ::tcsetattr(STDIN_FILENO, TCSANOW, &gKeysTermios);
    errno = saved;
}

void installStopHandlers() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = onContinue;
    ::sigaction(SIGCONT, &sa, nullptr);
    // Left alone where it was ignored from the start.
    struct sigaction before {};
    if (::sigaction(SIGTSTP, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
    sa.sa_handler = onStop;
    ::sigaction(SIGTSTP, &sa, nullptr);
}

// Keys one at a time, unechoed. ISIG stays on so Ctrl-C still interrupts;
// output processing stays on so "\n" still starts a new line.
void enterKeyMode() {
    if (gTermiosChanged) return;
    installStopHandlers();
    if (::tcgetattr(STDIN_FILENO, &gSavedTermios) != 0) return;
    gKeysTermios = gSavedTermios;
    gKeysTermios.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    gKeysTermios.c_cc[VMIN] = 1;
    gKeysTermios.c_cc[VTIME] = 0;
    // The handlers must never see the flag before the settings.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    gTermiosChanged = 1;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gKeysTermios);
}

void leaveKeyMode() {
    if (!gTermiosChanged) return;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
    gTermiosChanged = 0;
}

// One byte from the terminal; -1 when it has gone (hang-up) or fails.
int readTerminalByte() {
    unsigned char c = 0;
    ssize_t n;
    do {
        n = ::read(STDIN_FILENO, &c, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? c : -1;
}

bool terminalByteWithin(int ms) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return ::poll(&p, 1, ms) == 1 && (p.revents & POLLIN) != 0;
}

// The character set of the user's locale, leaving the tool's own locale
// as it was.
std::string localeCodeset() {
    const char* current = std::setlocale(LC_CTYPE, nullptr);
    const std::string saved = current ? current : "C";
    std::string codeset;
    if (std::setlocale(LC_CTYPE, "") != nullptr) codeset = ::nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.c_str());
    return codeset;
}

}  // namespace

bool inputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool outputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void clearScreen() {
    if (!outputIsTerminal()) return;
    // Home, clear the screen, clear the scroll-back.
    std::cout << "\x1b[H\x1b[2J\x1b[3J" << std::flush;
}

std::size_t readStandardInput(unsigned char* buf, std::size_t cap) {
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, cap);
        if (n < 0 && errno == EINTR) continue;
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }
}

void waitKey() {
    std::cout << std::flush;
    if (!inputIsTerminal()) {
        readPipedKey();
        return;
    }
    enterKeyMode();
    readTerminalByte();
    // Drop the rest of a multi-byte key (arrows send ESC [ A) so it does not
    // reach whatever reads the terminal next.
    ::tcflush(STDIN_FILENO, TCIFLUSH);
    leaveKeyMode();
}

void restoreConsole() {
    if (gTermiosChanged) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &gSavedTermios);
        gTermiosChanged = 0;
    }
    if (gColoured) {
        // If this fails the terminal is gone, and so is the colour.
        [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, kNormalColours, sizeof kNormalColours - 1);
        gColoured = 0;
    }
}

// ---- StandardConsole -----------------------------------------------------

StandardConsole::StandardConsole()
    : keysFromTerminal_(inputIsTerminal()),
      colours_(outputIsTerminal()),
      // A file or pipe gets what a terminal in the same locale would show.
      glyphsAsUtf8_(!isBig5Codeset(localeCodeset())) {}

StandardConsole::~StandardConsole() {
    endKeys();
    if (gColoured) setAttribute(7);
}

int StandardConsole::readKeyByte() {
    std::cout << std::flush;
    if (!keysFromTerminal_) return readInputByte();
    if (pendingByte_ >= 0) return std::exchange(pendingByte_, -1);
    enterKeyMode();
    return readTerminalByte();
}

int StandardConsole::peekFollowingByte() {
    if (!keysFromTerminal_) return peekInputByte();
    if (pendingByte_ < 0 && terminalByteWithin(kFollowingByteMs)) pendingByte_ = readTerminalByte();
    return pendingByte_;
}

void StandardConsole::endKeys() {
    if (keysFromTerminal_) leaveKeyMode();
}

void StandardConsole::write(std::string_view text) {
    if (glyphsAsUtf8_)
        std::cout << big5GlyphsToUtf8(text);
    else
        std::cout << text;
    std::cout << std::flush;
}

void StandardConsole::clear() { clearScreen(); }

void StandardConsole::setAttribute(int attribute) {
    if (!colours_) return;
    // Set before the colour can reach the screen, so an interrupt always
    // puts the normal colours back.
    if (attribute != 7) gColoured = 1;
    std::cout << escapeForAttribute(attribute) << std::flush;
    if (attribute == 7) gColoured = 0;
}

}  // namespace plat
