// Windows console: keys, colours, code pages and standard input.
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <utility>

#include <conio.h>
#include <windows.h>

#include "platform/platform.h"

namespace plat {

namespace {

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

// ---- state the console handler needs: plain data only ----

// The console's output code page as the user had it when the tool started;
// 0 without a console. The tool's own text is UTF-8 (names are), so the
// console shows UTF-8 while the tool runs and gets this back at the end.
// The frame glyphs go by this code page, not by the UTF-8 the tool set: Big5
// where it was 950, written in that code page for the moment; UTF-8 at Big5
// width anywhere else.
UINT gUserCodePage = 0;
bool gCodePageSwitched = false;
WORD gUserAttributes = 7;
std::atomic<bool> gColoured{false};

// Set up before main, before anything is written.
struct ConsoleAtStart {
    ConsoleAtStart() {
        gUserCodePage = ::GetConsoleOutputCP();
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info))
            gUserAttributes = info.wAttributes;
        if (gUserCodePage != 0 && gUserCodePage != CP_UTF8 &&
            (isConsole(STD_OUTPUT_HANDLE) || isConsole(STD_ERROR_HANDLE)) && ::SetConsoleOutputCP(CP_UTF8)) {
            gCodePageSwitched = true;
            std::atexit(restoreConsole);
        }
    }
} gConsoleAtStart;

// The next byte of a key from the console; an extended key (an arrow) comes
// as 0 or 0xE0 and a second byte, which _getch hands over at the next call.
// _getch reads with processed input off, so Ctrl-C arrives as byte 3: it is
// passed on as the console event it would have been, and the console
// handler ends the tool as usual (unless Ctrl-C was ignored from the start).
int consoleKeyByte() {
    const int c = _getch();
    if (c == 3) ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    return c;
}

}  // namespace

bool inputIsTerminal() { return isConsole(STD_INPUT_HANDLE); }
bool outputIsTerminal() { return isConsole(STD_OUTPUT_HANDLE); }

void clearScreen() {
    if (!outputIsTerminal()) return;
    std::cout << std::flush;
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(out, &info)) return;
    // The whole buffer, scroll-back included, as "cls" does.
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD home{0, 0};
    DWORD written = 0;
    ::FillConsoleOutputCharacterW(out, L' ', cells, home, &written);
    ::FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &written);
    ::SetConsoleCursorPosition(out, home);
}

std::size_t readStandardInput(unsigned char* buf, std::size_t cap) {
    // ReadFile takes bytes as they come: no text-mode translation. A closed
    // pipe or a missing handle is the end of input.
    DWORD n = 0;
    if (!::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buf, static_cast<DWORD>(cap), &n, nullptr)) return 0;
    return n;
}

void waitKey() {
    std::cout << std::flush;
    if (inputIsTerminal()) {
        // Both bytes of an extended key, so the second does not reach
        // whatever reads keys next.
        const int c = consoleKeyByte();
        if (c == 0 || c == 0xE0) _getch();
    } else {
        // Not _getch: on a pipe or file it does not read standard input.
        readPipedKey();
    }
}

// Runs at exit and in the console handler (a thread of its own).
void restoreConsole() {
    if (gColoured.exchange(false)) ::SetConsoleTextAttribute(::GetStdHandle(STD_OUTPUT_HANDLE), gUserAttributes);
    if (gCodePageSwitched) ::SetConsoleOutputCP(gUserCodePage);
}

// ---- StandardConsole -----------------------------------------------------

StandardConsole::StandardConsole()
    : keysFromTerminal_(inputIsTerminal()),
      colours_(outputIsTerminal()),
      // A file or pipe gets what the user's console would show.
      glyphsAsUtf8_(!isBig5CodePage(gUserCodePage)) {}

StandardConsole::~StandardConsole() {
    endKeys();
    if (gColoured) setAttribute(7);
}

int StandardConsole::readKeyByte() {
    std::cout << std::flush;
    if (!keysFromTerminal_) return readInputByte();
    if (pendingByte_ >= 0) return std::exchange(pendingByte_, -1);
    return consoleKeyByte();
}

// A console delivers whole keys: the second byte of an extended key is
// there at once, and no key spreads over time as a terminal's escape
// sequences do. So only what is waiting counts.
int StandardConsole::peekFollowingByte() {
    if (!keysFromTerminal_) return peekInputByte();
    if (pendingByte_ < 0 && _kbhit()) pendingByte_ = consoleKeyByte();
    return pendingByte_;
}

// _getch gives the console its modes back after each key.
void StandardConsole::endKeys() {}

void StandardConsole::write(std::string_view text) {
    if (glyphsAsUtf8_) {
        std::cout << big5GlyphsToUtf8(text) << std::flush;
        return;
    }
    if (!gCodePageSwitched || !outputIsTerminal()) {
        std::cout << text << std::flush;
        return;
    }
    // Big5 bytes on a console the tool switched to UTF-8: shown in the
    // user's code page, and the lock keeps the console handler from putting
    // that back while this still changes it.
    const InterruptsHeld held;
    ::SetConsoleOutputCP(gUserCodePage);
    std::cout << text << std::flush;
    ::SetConsoleOutputCP(CP_UTF8);
}

void StandardConsole::clear() { clearScreen(); }

void StandardConsole::setAttribute(int attribute) {
    if (!colours_) return;
    std::cout << std::flush;
    // 7 stands for the colours the console had.
    const WORD value = attribute == 7 ? gUserAttributes : static_cast<WORD>(attribute & 0xFF);
    // Set before the colour can reach the screen, so an interrupt always
    // puts the console's colours back.
    if (attribute != 7) gColoured = true;
    ::SetConsoleTextAttribute(::GetStdHandle(STD_OUTPUT_HANDLE), value);
    if (attribute == 7) gColoured = false;
}

}  // namespace plat
