// Helpers for tests that work on real files in a scratch folder.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

// Paths from and to the UTF-8 names the tests use (on Windows, std::string
// in a path means the ANSI code page).
fs::path pathFromUtf8(const std::string& utf8);
std::string utf8Of(const fs::path& path);

std::string readBytes(const fs::path& path);
void writeBytes(const fs::path& path, const std::string& bytes);

// The 12-byte header the tool writes back on undo.
std::string header();
// Small images of each kind, as their first bytes matter.
std::string pngImage();
std::string ddsImage();
std::string bmpImage();
std::string jpgImage();
std::string tgaImage();

// Every regular file of a folder (one level) with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir);

// Sorted names of the entries in a folder.
std::vector<std::string> listNames(const fs::path& dir);

// A fresh folder, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / pathFromUtf8(name); }
    // UTF-8 string of a path inside, as a user would type it.
    std::string str(const std::string& name) const { return utf8Of(*this / name); }

private:
    fs::path path_;
};

}  // namespace testing_support
