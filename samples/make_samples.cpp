// Writes the sample textures: tiny but valid images, some behind the
// 12-byte container header, some plain under the .txr name.
//   make_samples <folder>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes& b, std::initializer_list<int> bytes) {
    for (int v : bytes) b.push_back(static_cast<std::uint8_t>(v));
}
void put(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }
void le16(Bytes& b, std::uint32_t v) { put(b, {int(v & 0xFF), int(v >> 8 & 0xFF)}); }
void le32(Bytes& b, std::uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}
void be32(Bytes& b, std::uint32_t v) { put(b, {int(v >> 24), int(v >> 16 & 0xFF), int(v >> 8 & 0xFF), int(v & 0xFF)}); }

std::uint32_t crc32(const Bytes& b, std::size_t from) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = from; i < b.size(); ++i) {
        c ^= b[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

void pngChunk(Bytes& out, const std::string& type, const Bytes& data) {
    be32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    put(out, type);
    out.insert(out.end(), data.begin(), data.end());
    be32(out, crc32(out, start));
}

// 2x2 RGB: red, green / blue, white.
Bytes png() {
    Bytes out;
    put(out, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    Bytes ihdr;
    be32(ihdr, 2);
    be32(ihdr, 2);
    put(ihdr, {8, 2, 0, 0, 0});
    pngChunk(out, "IHDR", ihdr);
    const Bytes raw = {0, 255, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255};
    Bytes idat;
    put(idat, {0x78, 0x01, 0x01});  // zlib, one stored block
    le16(idat, static_cast<std::uint32_t>(raw.size()));
    le16(idat, static_cast<std::uint32_t>(~raw.size() & 0xFFFF));
    idat.insert(idat.end(), raw.begin(), raw.end());
    std::uint32_t a = 1, s = 0;
    for (std::uint8_t v : raw) {
        a = (a + v) % 65521;
        s = (s + a) % 65521;
    }
    be32(idat, s << 16 | a);
    pngChunk(out, "IDAT", idat);
    pngChunk(out, "IEND", {});
    return out;
}

// 2x2, 24 bits, bottom-up rows padded to 4 bytes.
Bytes bmp() {
    Bytes out;
    put(out, "BM");
    le32(out, 70);
    le32(out, 0);
    le32(out, 54);
    le32(out, 40);
    le32(out, 2);
    le32(out, 2);
    le16(out, 1);
    le16(out, 24);
    le32(out, 0);
    le32(out, 16);
    le32(out, 2835);
    le32(out, 2835);
    le32(out, 0);
    le32(out, 0);
    put(out, {255, 0, 0, 255, 255, 255, 0, 0});  // blue, white
    put(out, {0, 0, 255, 0, 255, 0, 0, 0});      // red, green
    return out;
}

// 2x2 uncompressed true colour, top-left origin.
Bytes tga() {
    Bytes out;
    put(out, {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    le16(out, 2);
    le16(out, 2);
    put(out, {24, 0x20});
    put(out, {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255});
    return out;
}

// 4x4 uncompressed 32-bit RGBA.
Bytes dds() {
    Bytes out;
    put(out, "DDS ");
    le32(out, 124);
    le32(out, 0x100F);  // caps, height, width, pitch, pixel format
    le32(out, 4);
    le32(out, 4);
    le32(out, 16);
    le32(out, 0);
    le32(out, 0);
    for (int i = 0; i < 11; ++i) le32(out, 0);
    le32(out, 32);
    le32(out, 0x41);  // RGB with alpha
    le32(out, 0);
    le32(out, 32);
    le32(out, 0x00FF0000);
    le32(out, 0x0000FF00);
    le32(out, 0x000000FF);
    le32(out, 0xFF000000);
    le32(out, 0x1000);  // texture
    for (int i = 0; i < 4; ++i) le32(out, 0);
    for (int i = 0; i < 16; ++i) put(out, {i * 16, 128, 255 - i * 16, 255});
    return out;
}

// 8x8 mid-grey baseline JPEG: one DC and one end-of-block code.
Bytes jpg() {
    Bytes out;
    put(out, {0xFF, 0xD8});
    put(out, {0xFF, 0xDB, 0x00, 0x43, 0x00});
    for (int i = 0; i < 64; ++i) put(out, {1});
    put(out, {0xFF, 0xC0, 0x00, 0x0B, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});
    for (int tableClass : {0x00, 0x10}) {
        put(out, {0xFF, 0xC4, 0x00, 0x14, tableClass, 1});
        for (int i = 0; i < 15; ++i) put(out, {0});
        put(out, {0});
    }
    put(out, {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 63, 0});
    put(out, {0x3F});  // DC category 0, EOB, padding
    put(out, {0xFF, 0xD9});
    return out;
}

Bytes wrapped(const Bytes& image) {
    Bytes out;
    put(out, {'Z', 'O', 'A', 'T', 'E', 'X', '1', 0, 0, 0, 0, 0});
    out.insert(out.end(), image.begin(), image.end());
    return out;
}

bool write(const std::string& path, const Bytes& b) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    f.close();
    return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_samples <folder>\n";
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    const bool ok = write(dir + "banner.txr", wrapped(png())) && write(dir + "stone.txr", wrapped(dds())) &&
                    write(dir + "portrait.txr", wrapped(jpg())) && write(dir + "sky.txr", bmp()) &&
                    write(dir + "grass.txr", tga());
    if (!ok) {
        std::cerr << "make_samples: cannot write into " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
