#include "support/files.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testing_support {

// A path from char8_t holds UTF-8 as it is on POSIX (any bytes, kept) and
// converts it to UTF-16 on Windows.
fs::path pathFromUtf8(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string utf8Of(const fs::path& path) {
    const std::u8string u8 = path.u8string();
    return std::string(u8.begin(), u8.end());
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot read " + utf8Of(path));
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in) throw std::runtime_error("cannot read " + utf8Of(path));
    return bytes;
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + utf8Of(path));
}

std::string header() { return std::string("ZOATEX1\0\0\0\0\0", 12); }
std::string pngImage() { return std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR-rest-of-png", 27); }
std::string ddsImage() { return "DDS |rest-of-dds"; }
std::string bmpImage() { return "BM6\0\0\0rest-of-bmp"; }
std::string jpgImage() { return std::string("\xFF\xD8\xFF\xE0rest-of-jpg"); }
std::string tgaImage() { return std::string("\0\0\x02\0\0\0\0\0\0\0\0\0\x02\0\x02\0\x18\x20", 18) + "pixels"; }

std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files[e.path().filename().string()] = readBytes(e.path());
    return files;
}

std::vector<std::string> listNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

ScratchDir::ScratchDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("txr-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; open them up to clean.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(path_, ec);
}

}  // namespace testing_support
