// Any record, read in chunks of any size: the lines come out as a plain split
// would give them, and every line's restored path is its recorded path cut at
// the last dot.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "conversion/conversion.h"

namespace {

std::vector<std::string> plainSplit(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t lf = text.find('\n', start);
        std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = 1 + data[0] % 17;  // odd chunk sizes cut CR LF apart
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::size_t at = 0;
    txr::LineReader reader([&](char* buf, std::size_t cap, std::size_t& got) {
        got = std::min({cap, chunk, text.size() - at});
        text.copy(buf, got, at);
        at += got;
        return plat::Status{};
    });
    std::vector<std::string> lines;
    std::string line;
    plat::Status error;
    while (reader.next(line, error)) lines.push_back(line);
    if (!error.ok() || lines != plainSplit(text)) std::abort();

    for (const std::string& l : lines) {
        const txr::RecordEntry e = txr::parseRecordLine(l);
        if (e.wrapped != (l.rfind("ZTX ", 0) == 0)) std::abort();
        if (e.recorded != (e.wrapped ? l.substr(4) : l)) std::abort();
        if (e.recorded.compare(0, e.restored.size(), e.restored) != 0) std::abort();
        const std::size_t dot = e.recorded.rfind('.');
        if (dot == std::string::npos ? e.restored != e.recorded : e.restored.size() != dot) std::abort();
    }
    return 0;
}
