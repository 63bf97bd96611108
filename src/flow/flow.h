// Program flow: the two modes, the command-line loop and the closing screen.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/conversion.h"

namespace txr {

inline constexpr std::string_view kTitle = "Vornhal TXR Extractor v1.4";

// Exit statuses of the whole run.
enum class ExitStatus { done = 0, aborted = 1, someFailed = 2 };

// The folder of the program's own path, ending with its separator, or ""
// when the path names no folder.
std::string programDirectoryOf(std::string argv0);

// The text after the last "." of the whole path; the whole path when there
// is none.
std::string extensionOfArgument(std::string path);

// One whitespace-delimited word of standard input; the white space after it
// stays unread. Empty at end of input.
std::optional<std::string> readWord();

// True for the names the folder batch converts: "*.txr" in any case.
bool isTxrName(std::string_view name);

// Converts every .txr file of the folder (the program directory, or the
// working directory when that is empty), in byte order of their names,
// after emptying the record. One line per file on `out`, problems on `err`.
Outcome convertFolder(const std::string& programDir, std::ostream& out, std::ostream& err);

// The batch as a screen of its own: clears, converts, waits for a key.
Outcome extractAll(std::string programDir);

// Everything `main` does; returns the exit status.
int runMain(int argc, char** argv);

}  // namespace txr
