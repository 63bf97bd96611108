// The first bytes of any file: classification never reads outside them, and
// the row it picks holds its bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "conversion/conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so reading one byte too far is caught.
    std::unique_ptr<unsigned char[]> head(new unsigned char[size]);
    if (size > 0) std::memcpy(head.get(), data, size);
    const std::span<const unsigned char> bytes(head.get(), size);

    switch (txr::classify(bytes)) {
        case txr::ImageType::dds:
            if (size < 3 || std::memcmp(data, "DDS", 3) != 0) std::abort();
            break;
        case txr::ImageType::bmp:
            if (size < 2 || std::memcmp(data, "BM", 2) != 0) std::abort();
            break;
        case txr::ImageType::png:
            if (size < 4 || std::memcmp(data + 1, "PNG", 3) != 0) std::abort();
            break;
        case txr::ImageType::jpg:
            if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) std::abort();
            break;
        case txr::ImageType::tga:
            if (size >= 3 && std::memcmp(data, "DDS", 3) == 0) std::abort();
            if (size >= 4 && std::memcmp(data + 1, "PNG", 3) == 0 && data[0] != 'B') std::abort();
            break;
    }
    // The container test needs the whole header.
    if (txr::isWrapped(bytes, size) != (size >= 12 && std::memcmp(data, "ZOATEX", 6) == 0)) std::abort();
    return 0;
}
