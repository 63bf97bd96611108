// Console text that is the same on every system: the Big5 glyphs as UTF-8,
// and attributes as terminal colours.
#include <algorithm>
#include <array>
#include <cctype>

#include "platform/platform.h"

namespace plat {

namespace {

struct Glyph {
    unsigned char lead, trail;
    std::string_view utf8;
};

// The glyphs the tool writes. A Big5 glyph is two columns wide; so is each
// of these as a terminal shows it. Box-drawing characters are one column in
// UTF-8 terminals, so the mark takes the first column and the second one
// continues the border to the right (or stays blank where nothing follows).
// That way every right-hand edge stands under the top-right corner.
constexpr std::array<Glyph, 11> kGlyphs{{
    {0xA1, 0x40, "\u3000"},          // ideographic space, wide
    {0xA2, 0x7A, "\u250C\u2500"},    // top left corner
    {0xA2, 0x77, "\u2500\u2500"},    // horizontal line
    {0xA2, 0x7B, "\u2510 "},         // top right corner
    {0xA2, 0x78, "\u2502 "},         // vertical line
    {0xA2, 0x7C, "\u2514\u2500"},    // bottom left corner
    {0xA2, 0x7D, "\u2518 "},         // bottom right corner
    {0xA1, 0x69, "\u3010"},          // left lenticular bracket, wide
    {0xA1, 0x6A, "\u3011"},          // right lenticular bracket, wide
    {0xA1, 0xF4, "\u2191 "},         // up arrow
    {0xA1, 0xF5, "\u2193 "},         // down arrow
}};

bool isBig5Lead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Console colour bits are blue, green, red; terminal colour numbers count
// red, green, blue.
int terminalColour(int consoleColour) {
    return ((consoleColour & 1) << 2) | (consoleColour & 2) | ((consoleColour & 4) >> 2);
}

}  // namespace

bool isBig5Codeset(std::string_view name) {
    constexpr std::string_view kBig5 = "big5";
    if (name.size() < kBig5.size()) return false;
    return std::equal(kBig5.begin(), kBig5.end(), name.begin(), [](char a, char b) {
        return a == std::tolower(static_cast<unsigned char>(b));
    });
}

// Code page 936 (GBK) and others also give these bytes meaning, but other
// characters.
bool isBig5CodePage(unsigned codePage) { return codePage == 950; }

std::string big5GlyphsToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 3 / 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (!isBig5Lead(lead) || i + 1 == text.size()) {
            out += text[i++];
            continue;
        }
        // A lead byte always takes its trail byte along, so a pair is never
        // read from the middle of another.
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        const auto glyph = std::find_if(kGlyphs.begin(), kGlyphs.end(),
                                        [&](const Glyph& g) { return g.lead == lead && g.trail == trail; });
        if (glyph != kGlyphs.end())
            out += glyph->utf8;
        else
            out.append(text.substr(i, 2));
        i += 2;
    }
    return out;
}

std::string escapeForAttribute(int attribute) {
    if (attribute == 7) return "\x1b[0m";
    const int fg = attribute & 0x0F;
    const int bg = (attribute >> 4) & 0x0F;
    const int fgCode = ((fg & 8) ? 90 : 30) + terminalColour(fg & 7);
    const int bgCode = ((bg & 8) ? 100 : 40) + terminalColour(bg & 7);
    return "\x1b[0;" + std::to_string(fgCode) + ";" + std::to_string(bgCode) + "m";
}

namespace {

// Standard input, buffered once for word prompts and piped keys alike.
struct InputBuffer {
    unsigned char data[4096];
    std::size_t pos = 0;
    std::size_t len = 0;
    bool ended = false;

    bool fill() {
        if (pos < len) return true;
        if (ended) return false;
        len = readStandardInput(data, sizeof data);
        pos = 0;
        ended = len == 0;
        return !ended;
    }
};

InputBuffer gInput;

}  // namespace

int readInputByte() {
    if (!gInput.fill()) return -1;
    return gInput.data[gInput.pos++];
}

int peekInputByte() {
    if (!gInput.fill()) return -1;
    return gInput.data[gInput.pos];
}

int readPipedKey() {
    const int c = readInputByte();
    if (c == '\r' && peekInputByte() == '\n') readInputByte();
    return c;
}

}  // namespace plat
