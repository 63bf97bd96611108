// Any image behind the header the undo writes: converting it and undoing the
// conversion gives back the same file, byte for byte, under the same name.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "conversion/conversion.h"

namespace {

namespace fs = std::filesystem;

// Memory-backed where there is one: the conversion flushes every file.
struct Scratch {
    fs::path dir = (fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
                   ("txr-roundtrip-" + std::to_string(::getpid()));
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const fs::path& scratch() {
    static const Scratch s;
    return s.dir;
}

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string original =
        std::string("ZOATEX1\0\0\0\0\0", 12) + std::string(reinterpret_cast<const char*>(data), size);
    const fs::path file = scratch() / "t.txr";
    const std::string prog = scratch().string() + "/";
    fs::remove_all(scratch());
    fs::create_directories(scratch());
    { std::ofstream(file, std::ios::binary) << original; }

    const txr::FixResult r = txr::fixTxr(file.string(), prog);
    if (r.status != txr::FixStatus::converted || !r.unwrapped) std::abort();
    if (read(r.newPath) != original.substr(12)) std::abort();

    std::ostringstream out, err;
    if (txr::undoAll(prog, out, err) != txr::Outcome::allDone) std::abort();
    if (read(file) != original) std::abort();
    if (std::distance(fs::directory_iterator(scratch()), fs::directory_iterator()) != 1) std::abort();
    return 0;
}
