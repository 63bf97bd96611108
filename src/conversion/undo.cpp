#include <cstring>
#include <deque>
#include <iostream>
#include <unordered_set>
#include <utility>

#include "conversion/conversion.h"
#include "conversion/retirer.h"
#include "platform/platform.h"

namespace txr {

namespace {

constexpr unsigned char kWrittenHeader[kHeaderSize] = {'Z', 'O', 'A', 'T', 'E', 'X', '1', 0, 0, 0, 0, 0};

// Outcome of one entry; `message` for the error stream when not undone.
struct EntryResult {
    enum class Kind { undone, notFound, failed } kind = Kind::undone;
    std::string message;
};

EntryResult failed(std::string message) { return {EntryResult::Kind::failed, std::move(message)}; }

EntryResult failed(const plat::Status& s, const std::string& restored) {
    if (s.fault == plat::Fault::exists) return failed("\"" + restored + "\" already exists; the file keeps its name");
    return failed(s.text);
}

// Undoes one entry; for a re-wrapped file the removal of the converted one
// is handed to `retirer` and the entry settles later (`pending`).
EntryResult undoEntry(const RecordEntry& e, Retirer& retirer, std::size_t ticket, bool& pending) {
    pending = false;
    // A NUL would cut the name short and name another file.
    if (e.recorded.find('\0') != std::string::npos) return {EntryResult::Kind::notFound, {}};
    plat::File source;
    plat::FileInfo info;
    if (!plat::openRead(e.recorded, source, info).ok() || !info.regular) return {EntryResult::Kind::notFound, {}};

    const bool inPlace = e.restored == e.recorded;
    if (!inPlace && plat::nameTaken(e.restored)) return failed(plat::Status{plat::Fault::exists, 0, {}}, e.restored);

    if (!e.wrapped) {
        source.close();
        if (inPlace) return {};
        if (plat::Status s = plat::renameNoReplace(e.recorded, e.restored); !s.ok()) return failed(s, e.restored);
        return {};
    }

    // Header and content go to a new file that takes the old name only when
    // complete; the converted file goes last.
    plat::TempFile temp;
    if (plat::Status s = temp.create(e.restored, info); !s.ok()) return failed(s.text);
    if (plat::Status s = plat::writeAll(temp.file(), kWrittenHeader, sizeof kWrittenHeader); !s.ok())
        return failed(s.text);
    if (plat::Status s = plat::copyRange(source, 0, info.size, temp.file()); !s.ok()) return failed(s.text);
    source.close();
    if (inPlace) {
        if (plat::Status s = temp.moveOver(e.restored); !s.ok()) return failed(s.text);
        return {};
    }
    if (plat::Status s = temp.moveTo(e.restored); !s.ok()) return failed(s, e.restored);
    retirer.retire(e.restored, e.recorded, ticket);
    pending = true;
    return {};
}

// An entry in record order, waiting for its turn to be reported.
struct Step {
    RecordEntry entry;
    EntryResult result;
    bool settled = true;
};

}  // namespace

bool LineReader::next(std::string& line, plat::Status& error) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == len_) {
            if (!ended_) {
                error = source_(buf_.get(), kChunk, len_);
                if (!error.ok()) return false;
                pos_ = 0;
                ended_ = len_ == 0;
                continue;
            }
            // A record torn between CR and LF still names its file.
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return any;
        }
        const char* from = buf_.get() + pos_;
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', len_ - pos_));
        if (lf == nullptr) {
            line.append(from, len_ - pos_);
            pos_ = len_;
            any = true;
            continue;
        }
        line.append(from, lf);
        pos_ += static_cast<std::size_t>(lf - from) + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
}

RecordEntry parseRecordLine(std::string_view line) {
    RecordEntry e;
    e.wrapped = line.substr(0, kUnwrapMarker.size()) == kUnwrapMarker;
    e.recorded = std::string(e.wrapped ? line.substr(kUnwrapMarker.size()) : line);
    const std::size_t dot = e.recorded.rfind('.');
    e.restored = dot == std::string::npos ? e.recorded : e.recorded.substr(0, dot);
    return e;
}

Outcome undoAll(const std::string& programDir, std::ostream& out, std::ostream& err) {
    const std::string recordPath = recordPathIn(programDir);
    plat::File record;
    plat::FileInfo info;
    if (plat::Status s = plat::openRead(recordPath, record, info); !s.ok() || !info.regular) {
        if (s.ok() || s.fault == plat::Fault::missing) {
            out << "\"record.txt\" not found. No undo operation preformed." << std::endl;
            return Outcome::allDone;
        }
        // It is there but cannot be read: keep it, it is the only way back.
        err << "Cannot undo: \"" << printable(recordPath) << "\": " << s.text << std::endl;
        return Outcome::someFailed;
    }

    Outcome outcome = Outcome::allDone;
    Retirer retirer;
    std::deque<Step> steps;
    std::size_t firstTicket = 0;
    std::unordered_set<std::string> removing;  // converted files not yet removed

    // A failed removal leaves the file converted: its re-wrapped copy goes.
    auto settle = [&] {
        for (const Retirer::Done& d : retirer.takeDone()) {
            Step& step = steps[d.ticket - firstTicket];
            step.settled = true;
            removing.erase(step.entry.recorded);
            if (d.status.ok()) continue;
            plat::removeFile(step.entry.restored);
            step.result = failed("cannot remove it (" + d.status.text + "); the file keeps its name");
        }
    };
    // Reports, in record order, what is final.
    auto report = [&] {
        while (!steps.empty() && steps.front().settled) {
            const Step& step = steps.front();
            const std::string shown = printable(step.entry.recorded);
            switch (step.result.kind) {
                case EntryResult::Kind::undone:
                    out << "Undo to " << shown << '\n';
                    break;
                case EntryResult::Kind::notFound:
                    out << shown << " not Found!" << '\n';
                    outcome = Outcome::someFailed;
                    break;
                case EntryResult::Kind::failed:
                    out.flush();  // keep the two streams in order
                    err << "Not undone: \"" << shown << "\": " << printable(step.result.message) << std::endl;
                    outcome = Outcome::someFailed;
                    break;
            }
            steps.pop_front();
            ++firstTicket;
        }
        out.flush();  // once for what settled together
    };

    std::uint64_t offset = 0;
    LineReader reader([&](char* buf, std::size_t cap, std::size_t& got) {
        plat::Status s = plat::readAt(record, offset, buf, cap, got);
        offset += got;
        return s;
    });
    std::string line;
    plat::Status readError;
    while (reader.next(line, readError)) {
        if (line.empty()) continue;
        Step step{parseRecordLine(line), {}, true};
        // The same file named twice: the first undo must be final.
        if (removing.count(step.entry.recorded) || removing.count(step.entry.restored)) {
            retirer.drain();
            settle();
        }
        bool pending = false;
        step.result = undoEntry(step.entry, retirer, firstTicket + steps.size(), pending);
        step.settled = !pending;
        if (pending) removing.insert(step.entry.recorded);
        steps.push_back(std::move(step));
        settle();
        report();
    }
    retirer.drain();
    settle();
    report();
    if (!readError.ok()) {
        // The rest of the record cannot be read: keep it for another try.
        err << "Cannot read \"" << printable(recordPath) << "\": " << readError.text << std::endl;
        return Outcome::someFailed;
    }
    out << "Undo Compete." << std::endl;
    record.close();
    if (plat::Status s = plat::removeFile(recordPath); !s.ok()) {
        err << "Cannot delete \"" << printable(recordPath) << "\": " << s.text << std::endl;
        outcome = Outcome::someFailed;
    }
    return outcome;
}

Outcome undoLast(std::string programDir) {
    plat::clearScreen();
    const Outcome outcome = undoAll(programDir, std::cout, std::cerr);
    std::cout << "<<< Press any key back to menu >>>" << std::endl;
    plat::waitKey();
    return outcome;
}

}  // namespace txr
