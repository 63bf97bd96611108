// Everything the tool needs from the operating system: files, the console and
// standard input. One implementation per operating system, in the *_posix.cpp
// and *_win32.cpp files; nothing outside this folder knows which one is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat {

// What went wrong with a system call, kept as data so that the caller decides
// what to tell the user. `fault` is the part the tool's logic looks at.
enum class Fault { none, exists, missing, other };

struct Status {
    Fault fault = Fault::none;
    int code = 0;      // errno or GetLastError()
    std::string text;  // e.g. "cannot rename: File exists"

    bool ok() const { return fault == Fault::none; }
};

struct FileInfo {
    bool regular = false;
    std::uint64_t size = 0;
    std::uint32_t permissions = 0;  // mode bits on POSIX, attributes on Windows
};

// An open file; closed on destruction. Holds an fd or a HANDLE.
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : handle_(std::exchange(other.handle_, kClosed)) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, kClosed);
        }
        return *this;
    }
    ~File() { close(); }

    bool isOpen() const { return handle_ != kClosed; }
    Status close();  // a failure here can mean lost data, so it is reported
    std::intptr_t native() const { return handle_; }
    void adopt(std::intptr_t handle) {
        close();
        handle_ = handle;
    }

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

// Opens an existing file for reading and describes it.
Status openRead(const std::string& path, File& file, FileInfo& info);

// Reads up to `len` bytes at `offset`; fewer only at the end of the file.
Status readAt(File& file, std::uint64_t offset, void* buf, std::size_t len, std::size_t& got);

Status writeAll(File& file, const void* data, std::size_t len);

// Copies `length` bytes from `offset` of `from` onto the end of `to`, in
// bounded memory. A file that ends sooner has changed meanwhile: an error.
Status copyRange(File& from, std::uint64_t offset, std::uint64_t length, File& to);

// Creates the file if needed and cuts it to nothing.
Status emptyFile(const std::string& path);

// Opens (creating if needed) a file for appending, also readable, and tells
// its size before.
Status openAppend(const std::string& path, File& file, std::uint64_t& sizeBefore);
Status truncateTo(File& file, std::uint64_t size);

// Renames without ever replacing: fails with Fault::exists when `to` is taken.
Status renameNoReplace(const std::string& from, const std::string& to);
Status removeFile(const std::string& path);

// Puts the content and names of these files on disk, so that the copies
// they replace can be removed: one flush per file system where it can.
Status makeDurable(const std::vector<std::string>& paths);

// True when anything at all (file, folder, dangling link) bears this name.
bool nameTaken(const std::string& path);

// The names of the regular files in a folder (links followed), unsorted.
Status listRegularFiles(const std::string& folder, std::vector<std::string>& names);

// A new file beside `path` (same folder, so it can be renamed into place),
// with the permissions of `like`. Until it is moved to its final name it is
// removed when this object dies, and also when the process is interrupted.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    Status create(const std::string& beside, const FileInfo& like);
    File& file() { return file_; }
    const std::string& path() const { return path_; }
    // Closes and renames to `target` without replacing. It is not yet on
    // disk: makeDurable() before removing what it replaces.
    Status moveTo(const std::string& target);
    // Flushes to disk, closes and takes the place of `target`: only for
    // rewriting a file in place, where the old content is what it replaces.
    Status moveOver(const std::string& target);

private:
    Status finish(const std::string& target, bool replace);
    void discard();
    File file_;
    std::string path_;
};

// The marker in the names of temporary files, so a user who finds one left
// behind by a hard kill knows what it is.
inline constexpr const char* kTempMarker = ".vrnh-unfinished-";

// Test builds only (TXR_FAULT_INJECTION): every file operation is counted
// from arm() on; the failAt-th fails with `error`, at the killAt-th the
// process dies. 0 means never.
namespace faults {
void arm(long failAt, int error, long killAt = 0);
long count();
std::string nameOf(long n);  // "open", "write", "rename", ...
}  // namespace faults

// Folder separators in a path the user gave us.
bool isSeparator(char c);

// The program's arguments in UTF-8, its own path first. On Windows they come
// from the wide command line (main's argv is in the ANSI code page, which
// cannot hold every name), and an argument holding * or ? stands for the
// names it matches, in order, with its folder part; one that matches nothing
// stays as it is.
std::vector<std::string> arguments(int argc, char** argv);

// Restores the terminal and removes a pending temporary file when the
// process is interrupted (Ctrl-C, termination, hang-up). A signal that was
// ignored when the tool started stays ignored.
void installInterruptHandlers();

// Holds interrupts back in this thread while it lives. A thread started
// meanwhile keeps them held for good: interrupts then always reach the main
// thread, which knows what to clean up.
class InterruptsHeld {
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

private:
    alignas(std::max_align_t) unsigned char saved_[128];  // the system's signal set
};

// ---- Console -------------------------------------------------------------

bool inputIsTerminal();
bool outputIsTerminal();

// Empties the screen; writes nothing when output is not a terminal.
void clearScreen();

// Standard input as bytes, shared by word prompts and key waits when input
// is not a terminal. -1 at end of input.
int readInputByte();
int peekInputByte();

// What those read from: up to `cap` bytes as they come; 0 at the end.
std::size_t readStandardInput(unsigned char* buf, std::size_t cap);

// One key from standard input that is not a terminal: a byte, but CR LF
// (a line ended on Windows) counts once, so its LF is not the next key.
int readPipedKey();

// Waits for one key press. At end of input it returns at once.
void waitKey();

// Gives the terminal back the settings and colours it had before the tool
// changed them. Safe inside a signal handler.
void restoreConsole();

// What the menu needs of a console: key bytes in, text and colours out.
// StandardConsole is the tool's own; tests drive the menu with a fake.
class Console {
public:
    virtual ~Console() = default;

    // The next byte of a key press, waiting for it; -1 at end of input.
    virtual int readKeyByte() = 0;
    // The byte that comes right after the one just read, as part of the same
    // key, left unread; -1 when none does: nothing within a short wait on a
    // terminal, end of input elsewhere.
    virtual int peekFollowingByte() = 0;
    // No more keys for now: a terminal gets its own settings back until the
    // next key is read, so that other prompts work as usual.
    virtual void endKeys() = 0;

    // Text in the tool's own bytes: ASCII, and Big5 for the frame glyphs and
    // the footer signs.
    virtual void write(std::string_view text) = 0;
    // Empties the screen; the cursor goes to its top left.
    virtual void clear() = 0;
    // A character attribute as consoles number them: bits 0-3 foreground
    // (1 blue, 2 green, 4 red, 8 bright), bits 4-7 background likewise;
    // 7 stands for the normal colours.
    virtual void setAttribute(int attribute) = 0;
};

// Standard input and output. On a terminal, keys come one at a time without
// echo and without waiting for Enter (Ctrl-C still interrupts), attributes
// become colours, and where the locale's character set is not Big5 the frame
// glyphs are written as UTF-8 at their Big5 width. Elsewhere keys are the
// bytes of standard input, shared with readInputByte, and nothing but text
// is written.
class StandardConsole final : public Console {
public:
    StandardConsole();
    ~StandardConsole() override;  // gives the terminal its settings back
    StandardConsole(const StandardConsole&) = delete;
    StandardConsole& operator=(const StandardConsole&) = delete;

    int readKeyByte() override;
    int peekFollowingByte() override;
    void endKeys() override;
    void write(std::string_view text) override;
    void clear() override;
    void setAttribute(int attribute) override;

private:
    bool keysFromTerminal_;
    bool colours_;
    bool glyphsAsUtf8_;
    int pendingByte_ = -1;  // a byte peeked at on a terminal
};

// ---- Console text, the same on every system ------------------------------

// True for the names that locales and code pages give Big5 ("BIG5",
// "BIG5-HKSCS", "Big5HKSCS", ...).
bool isBig5Codeset(std::string_view name);

// True for the Windows code page of Big5 (950), the only one in which a
// console shows the frame glyphs' own bytes as the frame.
bool isBig5CodePage(unsigned codePage);

// `text` with the Big5 frame glyphs and footer signs in UTF-8. Each stays two
// columns wide as in Big5: the ideographic space and the lenticular brackets
// are wide already; box-drawing glyphs and arrows are narrow, so each gets a
// second column, a line that goes on where a border runs on, else a blank.
// Every other byte is kept as it is.
std::string big5GlyphsToUtf8(std::string_view text);

// The terminal escape sequence for a console character attribute; attribute
// 7 gives back the terminal's own colours.
std::string escapeForAttribute(int attribute);

}  // namespace plat
