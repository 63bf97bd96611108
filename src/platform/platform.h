// Everything the tool needs from the operating system: files, the console and
// standard input. One implementation per system (platform_posix.cpp,
// platform_win32.cpp); nothing outside this folder knows which one is built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    bool isOpen() const { return handle_ != kClosed; }
    Status close();  // a failure here can mean lost data, so it is reported
    std::intptr_t native() const { return handle_; }
    void adopt(std::intptr_t handle);

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t handle_ = kClosed;
};

// Opens an existing file for reading and describes it.
Status openRead(const std::string& path, File& file, FileInfo& info);

// Reads up to `len` bytes at `offset`; fewer only at the end of the file.
Status readAt(File& file, std::uint64_t offset, void* buf, std::size_t len, std::size_t& got);

Status writeAll(File& file, const void* data, std::size_t len);

// Copies everything from `offset` to the end of `from` onto the end of `to`,
// in bounded memory.
Status copyToEnd(File& from, std::uint64_t offset, File& to);

// Creates the file if needed and cuts it to nothing.
Status emptyFile(const std::string& path);

// Opens (creating if needed) a file for appending and tells its size before.
Status openAppend(const std::string& path, File& file, std::uint64_t& sizeBefore);
Status truncateTo(File& file, std::uint64_t size);

// Renames without ever replacing: fails with Fault::exists when `to` is taken.
Status renameNoReplace(const std::string& from, const std::string& to);
Status removeFile(const std::string& path);

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
    // Flushes to disk, closes and renames to `target` without replacing.
    Status moveTo(const std::string& target);
    // The same, but takes the place of `target`: only for rewriting a file
    // in place, where the old content is what this file replaces.
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

// Folder separators in a path the user gave us.
bool isSeparator(char c);

// The program's arguments in UTF-8, its own path first. On Windows they come
// from the wide command line (main's argv is in the ANSI code page, which
// cannot hold every name), and an argument holding * or ? stands for the
// names it matches, in order, with its folder part; one that matches nothing
// stays as it is.
std::vector<std::string> arguments(int argc, char** argv);

// Restores the terminal and removes a pending temporary file when the
// process is interrupted (Ctrl-C, termination, hang-up).
void installInterruptHandlers();

// ---- Console -------------------------------------------------------------

bool inputIsTerminal();
bool outputIsTerminal();

// Empties the screen; writes nothing when output is not a terminal.
void clearScreen();

// Standard input as bytes, shared by word prompts and key waits when input
// is not a terminal. -1 at end of input.
int readInputByte();
int peekInputByte();

// Waits for one key press. At end of input it returns at once.
void waitKey();

}  // namespace plat
