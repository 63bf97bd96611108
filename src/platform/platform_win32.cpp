// Windows implementation of the platform layer. Paths are UTF-8 everywhere
// else in the tool; here every one is turned into UTF-16 for the wide API, so
// any name that Windows allows works, whatever the ANSI code page.
#include "platform/platform.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

namespace plat {
namespace {

// ---- UTF-8 and UTF-16 ------------------------------------------------------

// Strict: a string that is not UTF-8 (or holds a NUL) names no file, and a
// lenient conversion would quietly name another one.
bool toWide(std::string_view text, std::wstring& out) {
    out.clear();
    if (text.find('\0') != std::string_view::npos || text.size() > INT_MAX) return false;
    if (text.empty()) return true;
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), n) == n;
}

std::string toUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

// ---- errors ----------------------------------------------------------------

std::string systemMessage(DWORD err) {
    wchar_t* buf = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, err, 0,
        reinterpret_cast<wchar_t*>(&buf), 0, nullptr);
    std::string text = n > 0 ? toUtf8(std::wstring_view(buf, n)) : "error " + std::to_string(err);
    ::LocalFree(buf);
    // One line without the closing full stop, like the POSIX messages.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

Status fromError(DWORD err, const char* what) {
    Status s;
    s.code = static_cast<int>(err);
    switch (err) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: s.fault = Fault::exists; break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:  // a name Windows cannot hold names no file
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_PATHNAME: s.fault = Fault::missing; break;
        default: s.fault = Fault::other; break;
    }
    s.text = std::string(what) + ": " + systemMessage(err);
    return s;
}

Status lastError(const char* what) { return fromError(::GetLastError(), what); }

Status notUtf8(const char* what) {
    Status s;
    s.fault = Fault::other;
    s.code = ERROR_NO_UNICODE_TRANSLATION;
    s.text = std::string(what) + ": the name is not valid UTF-8";
    return s;
}

HANDLE handleOf(const File& f) { return reinterpret_cast<HANDLE>(f.native()); }

void adoptHandle(File& f, HANDLE h) { f.adopt(reinterpret_cast<std::intptr_t>(h)); }

// Windows refuses to delete a read-only file where POSIX looks only at the
// folder. The tool removes a file only once its content is safe under
// another name (or it is the tool's own), so the attribute does not stop it.
BOOL deleteEvenIfReadOnly(const wchar_t* path) {
    if (::DeleteFileW(path)) return TRUE;
    const DWORD err = ::GetLastError();
    const DWORD attr = ::GetFileAttributesW(path);
    if (err != ERROR_ACCESS_DENIED || attr == INVALID_FILE_ATTRIBUTES || (attr & FILE_ATTRIBUTE_READONLY) == 0 ||
        (attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        ::SetLastError(err);
        return FALSE;
    }
    if (!::SetFileAttributesW(path, attr & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
        ::SetLastError(err);
        return FALSE;
    }
    if (::DeleteFileW(path)) return TRUE;
    const DWORD again = ::GetLastError();
    ::SetFileAttributesW(path, attr);  // as it was
    ::SetLastError(again);
    return FALSE;
}

// The attributes a copy carries over from its original.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// ---- state the console handler needs ---------------------------------------

// The handler runs on a thread of its own. This lock (taken by
// InterruptsHeld) makes a temporary file and its record in gTempPath change
// together, and the handler keeps it to the end, so no rename can slip in
// after it removed the file.
SRWLOCK gTempLock = SRWLOCK_INIT;
wchar_t gTempPath[32768];
bool gTempArmed = false;

// Callers hold the lock.
void armTemp(const std::wstring& path) {
    gTempArmed = false;
    if (path.size() >= sizeof gTempPath / sizeof gTempPath[0]) return;  // longer than any Windows path
    std::copy(path.begin(), path.end(), gTempPath);
    gTempPath[path.size()] = L'\0';
    gTempArmed = true;
}

void disarmTemp() { gTempArmed = false; }

// ---- standard streams --------------------------------------------------------

// Only a stream the process was given; the C runtime has no descriptor for
// a missing one.
void makeBinary(FILE* stream, DWORD which) {
    const HANDLE h = ::GetStdHandle(which);
    if (h != nullptr && h != INVALID_HANDLE_VALUE) _setmode(_fileno(stream), _O_BINARY);
}

// Set up before main. The standard streams carry bytes unchanged: no CR is
// put before LF, no Ctrl-Z ends the input. (The console's code page is
// console_win32.cpp's business.)
struct StandardStreams {
    StandardStreams() {
        makeBinary(stdin, STD_INPUT_HANDLE);
        makeBinary(stdout, STD_OUTPUT_HANDLE);
        makeBinary(stderr, STD_ERROR_HANDLE);
    }
} gStandardStreams;

BOOL WINAPI onConsoleEvent(DWORD) {
    // Never released: the process ends when the default handler runs next.
    ::AcquireSRWLockExclusive(&gTempLock);
    if (gTempArmed) deleteEvenIfReadOnly(gTempPath);
    plat::restoreConsole();
    return FALSE;
}

// True when `path` (links followed) is a regular file on a disk.
bool isRegularFile(const std::wstring& path) {
    const HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool regular = ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    ::CloseHandle(h);
    return regular;
}

}  // namespace

// ---- File ----------------------------------------------------------------

// kClosed is -1, which is also INVALID_HANDLE_VALUE.
Status File::close() {
    if (!isOpen()) return {};
    const HANDLE h = reinterpret_cast<HANDLE>(std::exchange(handle_, kClosed));
    if (!::CloseHandle(h)) return lastError("cannot close");
    return {};
}

Status openRead(const std::string& path, File& file, FileInfo& info) {
    std::wstring w;
    if (!toWide(path, w)) return notUtf8("cannot open");
    // Others may read along but not write, so the content cannot change
    // under the copy. Backup semantics let a folder open, to be refused as
    // "not a regular file" like on POSIX.
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError("cannot open");
    adoptHandle(file, h);
    BY_HANDLE_FILE_INFORMATION fi {};
    // A device (CON, NUL, a pipe) is no disk file; do not ask it more.
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        info = FileInfo {};
        return {};
    }
    if (!::GetFileInformationByHandle(h, &fi)) return lastError("cannot examine");
    info.regular = (fi.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    info.size = (std::uint64_t {fi.nFileSizeHigh} << 32) | fi.nFileSizeLow;
    info.permissions = fi.dwFileAttributes;
    return {};
}

Status readAt(File& file, std::uint64_t offset, void* buf, std::size_t len, std::size_t& got) {
    got = 0;
    auto* out = static_cast<unsigned char*>(buf);
    while (got < len) {
        const std::uint64_t pos = offset + got;
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(pos);
        at.OffsetHigh = static_cast<DWORD>(pos >> 32);
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(len - got, 1u << 30));
        DWORD n = 0;
        if (!::ReadFile(handleOf(file), out + got, want, &n, &at)) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_HANDLE_EOF) break;
            return fromError(err, "cannot read");
        }
        if (n == 0) break;
        got += n;
    }
    return {};
}

Status writeAll(File& file, const void* data, std::size_t len) {
    const auto* in = static_cast<const unsigned char*>(data);
    while (len > 0) {
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(len, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(handleOf(file), in, want, &n, nullptr)) return lastError("cannot write");
        in += n;
        len -= n;
    }
    return {};
}

Status copyRange(File& from, std::uint64_t offset, std::uint64_t length, File& to) {
    std::vector<unsigned char> buf(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1 << 20)));
    while (length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buf.size()));
        std::size_t got = 0;
        if (Status s = readAt(from, offset, buf.data(), want, got); !s.ok()) return s;
        if (got == 0) {
            Status s;
            s.fault = Fault::other;
            s.code = ERROR_HANDLE_EOF;
            s.text = "the file changed while it was copied";
            return s;
        }
        if (Status s = writeAll(to, buf.data(), got); !s.ok()) return s;
        offset += got;
        length -= got;
    }
    return {};
}

Status emptyFile(const std::string& path) {
    std::wstring w;
    if (!toWide(path, w)) return notUtf8("cannot empty");
    // Not CREATE_ALWAYS: that fails on a hidden file.
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError("cannot empty");
    File f;
    adoptHandle(f, h);
    if (!::SetEndOfFile(h)) return lastError("cannot empty");
    return f.close();
}

Status openAppend(const std::string& path, File& file, std::uint64_t& sizeBefore) {
    std::wstring w;
    if (!toWide(path, w)) return notUtf8("cannot open");
    // One writer at a time: a second run of the tool meanwhile is refused
    // rather than mixing its lines into ours. Readers may look on.
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError("cannot open");
    adoptHandle(file, h);
    LARGE_INTEGER end {};
    if (!::SetFilePointerEx(h, LARGE_INTEGER {}, &end, FILE_END)) return lastError("cannot examine");
    sizeBefore = static_cast<std::uint64_t>(end.QuadPart);
    return {};
}

Status truncateTo(File& file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO eof {};
    eof.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &eof, sizeof eof))
        return lastError("cannot truncate");
    // Later writes go on from the new end.
    if (!::SetFilePointerEx(handleOf(file), eof.EndOfFile, nullptr, FILE_BEGIN)) return lastError("cannot truncate");
    return {};
}

Status renameNoReplace(const std::string& from, const std::string& to) {
    std::wstring wfrom, wto;
    if (!toWide(from, wfrom) || !toWide(to, wto)) return notUtf8("cannot rename");
    // Without MOVEFILE_REPLACE_EXISTING the move fails with
    // ERROR_ALREADY_EXISTS when the name is taken.
    if (!::MoveFileExW(wfrom.c_str(), wto.c_str(), 0)) return lastError("cannot rename");
    return {};
}

Status removeFile(const std::string& path) {
    std::wstring w;
    if (!toWide(path, w)) return notUtf8("cannot remove");
    if (!deleteEvenIfReadOnly(w.c_str())) return lastError("cannot remove");
    return {};
}

namespace {

// FlushFileBuffers needs a handle that may write. Another program may have
// the file open (to show it, say), so every kind of sharing is allowed.
HANDLE openForFlush(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

}  // namespace

// Windows has no flush of a whole volume for a user, so each file is
// flushed on its own: its content and, on NTFS, the journal that holds its
// new name.
Status makeDurable(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        std::wstring w;
        if (!toWide(path, w)) return notUtf8("cannot flush");
        HANDLE h = openForFlush(w);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
            // A copy of a read-only original is read-only too, and Windows
            // opens no such file for writing. The attribute is lifted for
            // the open alone (an open handle may flush whatever the
            // attribute says), under the lock, so that a Ctrl-C cannot end
            // the tool before it is back.
            InterruptsHeld held;
            const DWORD attr = ::GetFileAttributesW(w.c_str());
            if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_READONLY) != 0 &&
                ::SetFileAttributesW(w.c_str(), attr & ~DWORD {FILE_ATTRIBUTE_READONLY})) {
                h = openForFlush(w);
                const DWORD err = ::GetLastError();
                ::SetFileAttributesW(w.c_str(), attr);
                ::SetLastError(err);
            } else {
                ::SetLastError(ERROR_ACCESS_DENIED);
            }
        }
        if (h == INVALID_HANDLE_VALUE) return lastError("cannot flush");
        File f;
        adoptHandle(f, h);
        if (!::FlushFileBuffers(h)) return lastError("cannot flush");
        if (Status s = f.close(); !s.ok()) return s;
    }
    return {};
}

bool nameTaken(const std::string& path) {
    std::wstring w;
    // No file bears a name that is not UTF-8; the next call says why.
    if (!toWide(path, w)) return false;
    // A link is looked at itself, not followed, so a dangling one counts.
    if (::GetFileAttributesW(w.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD err = ::GetLastError();
    return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND && err != ERROR_INVALID_NAME;
}

Status listRegularFiles(const std::string& folder, std::vector<std::string>& names) {
    std::wstring dir;
    if (!toWide(folder, dir)) return notUtf8("cannot list");
    if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/' && dir.back() != L':') dir += L'\\';
    WIN32_FIND_DATAW found {};
    const HANDLE h = ::FindFirstFileExW((dir + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        if (err == ERROR_FILE_NOT_FOUND) return {};  // not even "." (a drive's root)
        return fromError(err, "cannot list");
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        // A link counts by what it points to.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !isRegularFile(dir + found.cFileName))
            continue;
        names.push_back(toUtf8(found.cFileName));
    } while (::FindNextFileW(h, &found));
    const DWORD err = ::GetLastError();
    ::FindClose(h);
    if (err != ERROR_NO_MORE_FILES) return fromError(err, "cannot list");
    return {};
}

// ---- TempFile ------------------------------------------------------------

TempFile::~TempFile() { discard(); }

Status TempFile::create(const std::string& beside, const FileInfo& like) {
    discard();
    // Keep the file name short enough for the folder's name limit, and cut
    // it between characters, not inside one.
    std::size_t nameStart = beside.size();
    while (nameStart > 0 && !isSeparator(beside[nameStart - 1]) && beside[nameStart - 1] != ':') --nameStart;
    std::size_t cut = nameStart + std::min<std::size_t>(beside.size() - nameStart, 120);
    while (cut > nameStart && cut < beside.size() && (static_cast<unsigned char>(beside[cut]) & 0xC0) == 0x80) --cut;
    const std::string stem = beside.substr(0, cut);

    DWORD attributes = like.permissions & kKeptAttributes;
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    static unsigned counter = 0;
    Status last;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            stem + kTempMarker + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
        std::wstring w;
        if (!toWide(candidate, w)) return notUtf8("cannot create a temporary file");
        InterruptsHeld held;
        // Shared for deleting, so the console handler can remove it while
        // it is still open. The attributes are the original's from the
        // start (this handle may write to a read-only file it created).
        const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       CREATE_NEW, attributes, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            last = fromError(err, "cannot create a temporary file");
            if (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS) continue;
            return last;
        }
        adoptHandle(file_, h);
        path_ = candidate;
        armTemp(w);
        return {};
    }
    return last;
}

Status TempFile::moveTo(const std::string& target) { return finish(target, false); }
Status TempFile::moveOver(const std::string& target) { return finish(target, true); }

Status TempFile::finish(const std::string& target, bool replace) {
    // Replacing loses the old content at once, so that waits for the disk;
    // a new name is made durable by the caller (makeDurable).
    if (replace && !::FlushFileBuffers(handleOf(file_))) return lastError("cannot flush");
    if (Status s = file_.close(); !s.ok()) return s;
    std::wstring from, to;
    if (!toWide(path_, from) || !toWide(target, to)) return notUtf8("cannot rename");
    InterruptsHeld held;
    if (replace) {
        // A read-only file cannot be replaced; it is the one this file
        // stands in for, and this one carries its attributes.
        const DWORD old = ::GetFileAttributesW(to.c_str());
        const bool cleared = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) != 0 &&
                             ::SetFileAttributesW(to.c_str(), old & ~DWORD {FILE_ATTRIBUTE_READONLY});
        if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            const DWORD err = ::GetLastError();
            if (cleared) ::SetFileAttributesW(to.c_str(), old);
            return fromError(err, "cannot rename");
        }
    } else if (!::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return lastError("cannot rename");
    }
    disarmTemp();
    path_.clear();
    return {};
}

void TempFile::discard() {
    file_.close();
    if (!path_.empty()) {
        std::wstring w;
        InterruptsHeld held;
        if (toWide(path_, w)) deleteEvenIfReadOnly(w.c_str());
        disarmTemp();
        path_.clear();
    }
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

void installInterruptHandlers() { ::SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

// The console handler runs on a thread of its own, so there is nothing to
// hold back in this one: holding the lock the handler takes keeps it waiting
// until the temporary file and its record agree again. A thread started
// meanwhile needs nothing either; the handler never runs on it. (saved_ is
// the POSIX signal set.)
InterruptsHeld::InterruptsHeld() { ::AcquireSRWLockExclusive(&gTempLock); }
InterruptsHeld::~InterruptsHeld() { ::ReleaseSRWLockExclusive(&gTempLock); }

// ---- Arguments -------------------------------------------------------------

namespace {

bool sameCharIgnoringCase(wchar_t a, wchar_t b) {
    return ::CompareStringOrdinal(&a, 1, &b, 1, TRUE) == CSTR_EQUAL;
}

// `*` any run of characters, `?` exactly one, case ignored: the long name
// is checked again because FindFirstFileW also matches the short 8.3 names
// ("*.txr" would find "a.txrx" through "A~1.TXR").
bool wildcardMatch(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0, n = 0, starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || sameCharIgnoringCase(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

// The names `pattern` matches, with its folder part, in the order Windows
// shows them (case ignored); none when it matches nothing.
std::vector<std::wstring> expandWildcard(const std::wstring& pattern) {
    const std::size_t cut = pattern.find_last_of(L"\\/:");
    const std::wstring folder = cut == std::wstring::npos ? L"" : pattern.substr(0, cut + 1);
    const std::wstring_view namePattern = std::wstring_view(pattern).substr(folder.size());
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found {};
    const HANDLE h =
        ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring_view name = found.cFileName;
        if (name != L"." && name != L".." && wildcardMatch(namePattern, name)) names.emplace_back(name);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                      TRUE) == CSTR_LESS_THAN;
    });
    for (std::wstring& name : names) name.insert(0, folder);
    return names;
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
    // main's argv is in the ANSI code page, which cannot hold every name:
    // read the wide command line instead.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        const std::wstring arg = wide[i];
        // No file name holds * or ?, so such an argument can only be a
        // pattern. One that matches nothing stays, to be reported missing.
        const std::vector<std::wstring> matches =
            i > 0 && arg.find_first_of(L"*?") != std::wstring::npos ? expandWildcard(arg) : std::vector<std::wstring> {};
        if (matches.empty()) {
            args.push_back(toUtf8(arg));
        } else {
            for (const std::wstring& m : matches) args.push_back(toUtf8(m));
        }
    }
    ::LocalFree(wide);
    return args;
}

}  // namespace plat
