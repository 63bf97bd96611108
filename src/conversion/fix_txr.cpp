#include "conversion/conversion.h"


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

}  // namespace txr
