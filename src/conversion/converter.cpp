#include <algorithm>
#include <deque>
#include <unordered_set>
#include <utility>

#include "conversion/conversion.h"
#include "conversion/retirer.h"
#include "platform/platform.h"

namespace txr {

namespace {

// The record, open for appending; a line can be taken back from anywhere.
class Record {
public:
    explicit Record(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    plat::Status ensureOpen() {
        if (file_.isOpen()) return {};
        return plat::openAppend(path_, file_, size_);
    }

    // Appends one whole line, or nothing; tells where it went.
    plat::Status append(const std::string& line, std::uint64_t& at) {
        at = size_;
        plat::Status s = plat::writeAll(file_, line.data(), line.size());
        if (!s.ok()) {
            plat::truncateTo(file_, at);
            return s;
        }
        size_ += line.size();
        return {};
    }

    // Removes `len` bytes at `at`. Returns a note for the user on failure.
    std::string takeBack(std::uint64_t at, std::uint64_t len) {
        // A rewrite that failed may have left the record closed.
        plat::Status s = ensureOpen();
        if (s.ok()) s = at + len == size_ ? plat::truncateTo(file_, at) : cutOut(at, len);
        if (!s.ok()) return "; the record could not be restored (" + s.text + ")";
        size_ -= len;
        return {};
    }

private:
    // A line in the middle: the record is rewritten without it.
    plat::Status cutOut(std::uint64_t at, std::uint64_t len) {
        // Closed first: Windows lets nobody read a file that another handle
        // writes unless the reader shares writing, which openRead never does.
        file_.close();
        plat::File reading;
        plat::FileInfo info;
        if (plat::Status s = plat::openRead(path_, reading, info); !s.ok()) return s;
        plat::TempFile temp;
        if (plat::Status s = temp.create(path_, info); !s.ok()) return s;
        std::vector<char> buf(64 * 1024);
        for (auto [from, to] : {std::pair{std::uint64_t{0}, at}, std::pair{at + len, size_}}) {
            while (from < to) {
                std::size_t got = 0;
                const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buf.size(), to - from));
                if (plat::Status s = plat::readAt(reading, from, buf.data(), want, got); !s.ok()) return s;
                if (got == 0) break;
                if (plat::Status s = plat::writeAll(temp.file(), buf.data(), got); !s.ok()) return s;
                from += got;
            }
        }
        reading.close();
        if (plat::Status s = temp.moveOver(path_); !s.ok()) return s;
        std::uint64_t size = 0;
        return plat::openAppend(path_, file_, size);
    }

    std::string path_;
    plat::File file_;
    std::uint64_t size_ = 0;
};

}  // namespace

struct Converter::Impl {
    struct Pending {
        FixResult result;
        bool settled = true;
        std::uint64_t lineAt = 0, lineLen = 0;
    };

    explicit Impl(std::string programDir) : record(recordPathIn(programDir)) {}

    void convert(std::string path);
    void absorb();
    std::vector<FixResult> pop();

    Record record;
    Retirer retirer;
    std::deque<Pending> pending;
    std::size_t firstTicket = 0;
    std::unordered_set<std::string> removing;  // originals not yet removed
};

void Converter::Impl::convert(std::string path) {
    Pending p;
    FixResult& r = p.result;
    r.path = std::move(path);
    auto fail = [&](FixStatus status, std::string why) {
        r.status = status;
        r.reason = std::move(why);
        r.newPath.clear();
        r.unwrapped = false;
        pending.push_back(std::move(p));
    };
    auto recordFailed = [&](const plat::Status& s) {
        fail(FixStatus::recordFailed, "record \"" + record.path() + "\": " + s.text);
    };

    if (r.path.find('\n') != std::string::npos)
        return fail(FixStatus::unrecordable, "its name holds a line break, which a record line cannot hold");

    plat::File source;
    plat::FileInfo info;
    if (plat::Status s = plat::openRead(r.path, source, info); !s.ok()) return fail(FixStatus::unreadable, s.text);
    if (!info.regular) return fail(FixStatus::unreadable, "not a regular file");

    unsigned char head[kHeaderSize + 4];
    std::size_t got = 0;
    if (plat::Status s = plat::readAt(source, 0, head, sizeof head, got); !s.ok())
        return fail(FixStatus::unreadable, s.text);
    const std::span<const unsigned char> start(head, got);
    const bool wrapped = isWrapped(start, info.size);
    const ImageType type = classify(wrapped ? start.subspan(std::min(got, kHeaderSize)) : start);

    r.newPath = r.path + "." + std::string(extensionOf(type));
    r.unwrapped = wrapped;
    const std::string taken = "\"" + r.newPath + "\" already exists";
    if (plat::nameTaken(r.newPath)) return fail(FixStatus::nameTaken, taken);
    if (plat::Status s = record.ensureOpen(); !s.ok()) return recordFailed(s);
    const std::string line = recordLine(wrapped, r.path, type);
    p.lineLen = line.size();

    if (!wrapped) {
        source.close();
        if (plat::Status s = record.append(line, p.lineAt); !s.ok()) return recordFailed(s);
        if (plat::Status s = plat::renameNoReplace(r.path, r.newPath); !s.ok()) {
            const std::string note = record.takeBack(p.lineAt, p.lineLen);
            if (s.fault == plat::Fault::exists) return fail(FixStatus::nameTaken, taken + note);
            return fail(FixStatus::writeFailed, s.text + note);
        }
        pending.push_back(std::move(p));
        return;
    }

    // Wrapped: the payload goes to a new file that takes the new name only
    // when complete; the original goes once that is on disk.
    plat::TempFile temp;
    if (plat::Status s = temp.create(r.path, info); !s.ok()) return fail(FixStatus::writeFailed, s.text);
    if (plat::Status s = plat::copyRange(source, kHeaderSize, info.size - kHeaderSize, temp.file()); !s.ok())
        return fail(FixStatus::writeFailed, s.text);
    source.close();
    if (plat::Status s = record.append(line, p.lineAt); !s.ok()) return recordFailed(s);
    if (plat::Status s = temp.moveTo(r.newPath); !s.ok()) {
        const std::string note = record.takeBack(p.lineAt, p.lineLen);
        if (s.fault == plat::Fault::exists) return fail(FixStatus::nameTaken, taken + note);
        return fail(FixStatus::writeFailed, s.text + note);
    }
    p.settled = false;
    removing.insert(r.path);
    retirer.retire(r.newPath, r.path, firstTicket + pending.size());
    pending.push_back(std::move(p));
}

// Settles what the helper thread has finished; a failed removal undoes that
// conversion, so the file is as it was and the record does not list it.
void Converter::Impl::absorb() {
    for (const Retirer::Done& d : retirer.takeDone()) {
        Pending& p = pending[d.ticket - firstTicket];
        p.settled = true;
        removing.erase(p.result.path);
        if (d.status.ok()) continue;
        std::string note;
        if (!plat::removeFile(p.result.newPath).ok()) note += "; the copy \"" + p.result.newPath + "\" remains";
        note += record.takeBack(p.lineAt, p.lineLen);
        for (Pending& later : pending) {
            if (later.lineAt > p.lineAt) later.lineAt -= p.lineLen;
        }
        p.result.status = FixStatus::writeFailed;
        p.result.reason = "original: " + d.status.text + note;
        p.result.newPath.clear();
        p.result.unwrapped = false;
    }
}

std::vector<FixResult> Converter::Impl::pop() {
    std::vector<FixResult> out;
    while (!pending.empty() && pending.front().settled) {
        out.push_back(std::move(pending.front().result));
        pending.pop_front();
        ++firstTicket;
    }
    return out;
}

Converter::Converter(std::string programDir) : impl_(std::make_unique<Impl>(std::move(programDir))) {}

Converter::~Converter() { finish(); }

void Converter::convert(std::string path) {
    // The same file named twice: the first conversion must be final.
    if (impl_->removing.count(path)) {
        impl_->retirer.drain();
        impl_->absorb();
    }
    impl_->convert(std::move(path));
    impl_->absorb();
}

std::vector<FixResult> Converter::takeSettled() {
    impl_->absorb();
    return impl_->pop();
}

std::vector<FixResult> Converter::finish() {
    impl_->retirer.drain();
    impl_->absorb();
    return impl_->pop();
}

FixResult fixTxr(std::string path, std::string programDir) {
    Converter converter(std::move(programDir));
    converter.convert(std::move(path));
    return converter.finish().front();
}

}  // namespace txr
