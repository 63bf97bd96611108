// Converting one texture file, and the record that lets a batch be undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace txr {

inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::string_view kContainerMagic = "ZOATEX";
inline constexpr std::string_view kUnwrapMarker = "ZTX ";
inline constexpr std::string_view kRecordName = "record.txt";

enum class ImageType { dds, bmp, png, jpg, tga };

// The extension a converted file gets: "dds", "bmp", "png", "jpg", "tga".
std::string_view extensionOf(ImageType type);

// Classifies an image by its first bytes. Positions that `head` does not
// supply match nothing, so a short file falls through to TGA.
ImageType classify(std::span<const unsigned char> head);

// A file is wrapped when it starts with the container magic and is long
// enough to hold the whole header.
bool isWrapped(std::span<const unsigned char> head, std::uint64_t fileSize);

// One line of the record, CRLF included.
std::string recordLine(bool unwrapped, std::string_view path, ImageType type);

std::string recordPathIn(const std::string& programDir);

// The text with control bytes shown as '?', so that a file name cannot
// drive the terminal.
std::string printable(std::string_view text);

// What a whole action (a batch, an undo) achieved.
enum class Outcome { allDone, someFailed };

enum class FixStatus {
    converted,
    unreadable,     // missing, not a regular file, or cannot be read
    nameTaken,      // the new name already exists; nothing was touched
    unrecordable,   // the path cannot be one record line
    recordFailed,   // the record could not be written; nothing was touched
    writeFailed,    // writing, renaming or removing failed; rolled back
};

struct FixResult {
    std::string path;        // as given
    FixStatus status = FixStatus::converted;
    std::string newPath;     // set when converted
    bool unwrapped = false;  // the container header was stripped
    std::string reason;      // for the user, when not converted
};

// Converts the texture at `path` where it lies: strips the container header
// if there is one, appends the record line to programDir + "record.txt" and
// gives the file its image extension. Either all of that happens or, on
// failure, none of it.
FixResult fixTxr(std::string path, std::string programDir);

// Converts files one after another, as fixTxr does each: the record stays
// open between them, and originals are removed in the background once their
// converted copy is on disk. Outcomes come back in the order of convert().
class Converter {
public:
    explicit Converter(std::string programDir);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    void convert(std::string path);
    // The outcomes settled so far, without waiting.
    std::vector<FixResult> takeSettled();
    // Waits for, and returns, all the outcomes not yet taken.
    std::vector<FixResult> finish();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One non-empty line of the record, read back.
struct RecordEntry {
    bool wrapped = false;   // the line starts with the unwrap marker
    std::string recorded;   // the name the converted file bears now
    std::string restored;   // its name before: cut at the last "."
};
RecordEntry parseRecordLine(std::string_view line);

// Splits the record into lines in bounded memory (a line holds what it
// holds). A CR in front of the LF is not part of the line; a last line
// without LF still counts, and so does a CR at the very end.
class LineReader {
public:
    // Fills `buf` with up to `cap` bytes; `got` is 0 at the end.
    using Source = std::function<plat::Status(char* buf, std::size_t cap, std::size_t& got)>;
    explicit LineReader(Source source) : source_(std::move(source)), buf_(new char[kChunk]) {}

    // False at the end; then `error` tells a failed read apart.
    bool next(std::string& line, plat::Status& error);

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    Source source_;
    std::unique_ptr<char[]> buf_;
    std::size_t pos_ = 0, len_ = 0;
    bool ended_ = false;
};

// Takes back every conversion listed in programDir + "record.txt", in order,
// then deletes the record. One line per entry on `out`, problems on `err`.
Outcome undoAll(const std::string& programDir, std::ostream& out, std::ostream& err);

// The undo as a screen of its own: clears, undoes, waits for a key.
Outcome undoLast(std::string programDir);

}  // namespace txr
