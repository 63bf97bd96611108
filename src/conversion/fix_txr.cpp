#include "conversion/conversion.h"

#include <algorithm>
#include <utility>

#include "platform/platform.h"

namespace txr {

std::string_view extensionOf(ImageType type) {
    switch (type) {
        case ImageType::dds: return "dds";
        case ImageType::bmp: return "bmp";
        case ImageType::png: return "png";
        case ImageType::jpg: return "jpg";
        case ImageType::tga: return "tga";
    }
    return "tga";
}

namespace {

// True when every listed position is present in `head` and holds its byte.
bool matches(std::span<const unsigned char> head, std::size_t first, std::string_view bytes) {
    if (head.size() < first + bytes.size()) return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (head[first + i] != static_cast<unsigned char>(bytes[i])) return false;
    }
    return true;
}

}  // namespace

ImageType classify(std::span<const unsigned char> head) {
    if (matches(head, 0, "DDS")) return ImageType::dds;
    if (matches(head, 0, "BM")) return ImageType::bmp;
    if (matches(head, 1, "PNG")) return ImageType::png;  // byte 0 is not looked at
    if (matches(head, 0, "\xFF\xD8")) return ImageType::jpg;
    return ImageType::tga;
}

bool isWrapped(std::span<const unsigned char> head, std::uint64_t fileSize) {
    return fileSize >= kHeaderSize && matches(head, 0, kContainerMagic);
}

std::string recordLine(bool unwrapped, std::string_view path, ImageType type) {
    std::string line;
    if (unwrapped) line += kUnwrapMarker;
    line += path;
    line += '.';
    line += extensionOf(type);
    line += "\r\n";
    return line;
}

std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = '?';
    }
    return out;
}

std::string recordPathIn(const std::string& programDir) { return programDir + std::string(kRecordName); }

namespace {

// The record, opened for one appended line that can be taken back.
class RecordAppend {
public:
    plat::Status open(const std::string& path) { return plat::openAppend(path, file_, sizeBefore_); }

    plat::Status append(const std::string& line) {
        plat::Status s = plat::writeAll(file_, line.data(), line.size());
        if (!s.ok()) takeBack();  // never leave half a line behind
        return s;
    }

    // Returns a note for the user when the line could not be removed.
    std::string takeBack() {
        plat::Status s = plat::truncateTo(file_, sizeBefore_);
        return s.ok() ? std::string() : "; the record could not be restored (" + s.text + ")";
    }

private:
    plat::File file_;
    std::uint64_t sizeBefore_ = 0;
};

}  // namespace

FixResult fixTxr(std::string path, std::string programDir) {
    FixResult r;
    auto fail = [&r](FixStatus status, std::string why) {
        r.status = status;
        r.reason = std::move(why);
        r.newPath.clear();
        r.unwrapped = false;
        return r;
    };

    if (path.find('\n') != std::string::npos)
        return fail(FixStatus::unrecordable, "its name holds a line break, which a record line cannot hold");

    plat::File source;
    plat::FileInfo info;
    if (plat::Status s = plat::openRead(path, source, info); !s.ok()) return fail(FixStatus::unreadable, s.text);
    if (!info.regular) return fail(FixStatus::unreadable, "not a regular file");

    unsigned char head[kHeaderSize + 4];
    std::size_t got = 0;
    if (plat::Status s = plat::readAt(source, 0, head, sizeof head, got); !s.ok())
        return fail(FixStatus::unreadable, s.text);
    const std::span<const unsigned char> start(head, got);
    const bool wrapped = isWrapped(start, info.size);
    const ImageType type = classify(wrapped ? start.subspan(std::min(got, kHeaderSize)) : start);

    r.newPath = path + "." + std::string(extensionOf(type));
    r.unwrapped = wrapped;
    if (plat::nameTaken(r.newPath))
        return fail(FixStatus::nameTaken, "\"" + r.newPath + "\" already exists");

    const std::string recordPath = recordPathIn(programDir);
    RecordAppend record;
    if (plat::Status s = record.open(recordPath); !s.ok())
        return fail(FixStatus::recordFailed, "record \"" + recordPath + "\": " + s.text);
    const std::string line = recordLine(wrapped, path, type);

    if (!wrapped) {
        source.close();
        if (plat::Status s = record.append(line); !s.ok())
            return fail(FixStatus::recordFailed, "record \"" + recordPath + "\": " + s.text);
        if (plat::Status s = plat::renameNoReplace(path, r.newPath); !s.ok()) {
            const std::string note = record.takeBack();
            if (s.fault == plat::Fault::exists)
                return fail(FixStatus::nameTaken, "\"" + r.newPath + "\" already exists" + note);
            return fail(FixStatus::writeFailed, s.text + note);
        }
        return r;
    }

    // Wrapped: the payload goes to a new file that takes the new name only
    // when complete; the original goes last.
    plat::TempFile temp;
    if (plat::Status s = temp.create(path, info); !s.ok()) return fail(FixStatus::writeFailed, s.text);
    if (plat::Status s = plat::copyToEnd(source, kHeaderSize, temp.file()); !s.ok())
        return fail(FixStatus::writeFailed, s.text);
    source.close();
    if (plat::Status s = record.append(line); !s.ok())
        return fail(FixStatus::recordFailed, "record \"" + recordPath + "\": " + s.text);
    if (plat::Status s = temp.moveTo(r.newPath); !s.ok()) {
        const std::string note = record.takeBack();
        if (s.fault == plat::Fault::exists)
            return fail(FixStatus::nameTaken, "\"" + r.newPath + "\" already exists" + note);
        return fail(FixStatus::writeFailed, s.text + note);
    }
    if (plat::Status s = plat::removeFile(path); !s.ok()) {
        // Both names exist now; drop our copy so the file is as it was.
        const std::string newPath = r.newPath;
        plat::Status undone = plat::removeFile(newPath);
        std::string note = record.takeBack();
        if (!undone.ok()) note += "; the copy \"" + newPath + "\" remains";
        return fail(FixStatus::writeFailed, "original: " + s.text + note);
    }
    return r;
}

}  // namespace txr
