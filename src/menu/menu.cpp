// The menu widget: key codes, drawing, and the key loop.
#include "menu/menu.h"

namespace txr {

namespace {

constexpr std::size_t kItemWidth = 66;
constexpr std::string_view kIndent = "   ";
constexpr int kHighlight = 0x9F;  // bright white on light blue
constexpr int kNormal = 7;

// Big5 frame glyphs, two bytes and two columns each.
constexpr std::string_view kMargin = "\xA1\x40";  // ideographic space
constexpr std::string_view kEdge = "\xA2\x78";
constexpr std::string_view kLine = "\xA2\x77";
constexpr int kLineGlyphs = 35;

std::string border(std::string_view left, std::string_view right) {
    std::string line(kMargin);
    line += left;
    for (int i = 0; i < kLineGlyphs; ++i) line += kLine;
    line += right;
    return line;
}

// Final bytes end an ESC [ or ESC O sequence; parameter and intermediate
// bytes come before.
bool isFinalByte(unsigned char b) { return b >= 0x40 && b <= 0x7E; }
bool isInnerByte(unsigned char b) { return b >= 0x20 && b <= 0x3F; }

}  // namespace

DecodedKey decodeKey(std::string_view bytes, bool nothingFollows) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    // Bytes that stop inside a key: wait for more, or give up on the key.
    const auto cutOff = [&](int codeIfNothingFollows) {
        return nothingFollows ? DecodedKey{codeIfNothingFollows, bytes.size()} : DecodedKey{kMoreBytes, 0};
    };
    if (bytes.empty()) return cutOff(kOtherKey);

    const unsigned char first = at(0);
    if (first == 0x00 || first == 0xE0) {
        if (bytes.size() < 2) return cutOff(kOtherKey);
        return {0x100 + at(1), 2};
    }
    // CR LF is one Enter (a line typed into a pipe on Windows), else the LF
    // would take the first row of the next menu.
    if (first == '\r') {
        if (bytes.size() < 2) return cutOff(kKeyEnter);
        return {kKeyEnter, at(1) == '\n' ? std::size_t{2} : std::size_t{1}};
    }
    if (first == '\n') return {kKeyEnter, 1};
    if (first != 0x1B) return {first, 1};

    if (bytes.size() < 2) return cutOff(kKeyEscape);
    const unsigned char second = at(1);
    if (second != '[' && second != 'O') return {kKeyEscape, 1};
    // The Linux console's F1..F5: ESC [ [ and one letter.
    if (second == '[' && bytes.size() > 2 && at(2) == '[') {
        if (bytes.size() < 4) return cutOff(kOtherKey);
        return {kOtherKey, 4};
    }
    for (std::size_t i = 2; i < bytes.size(); ++i) {
        const unsigned char b = at(i);
        if (isFinalByte(b)) {
            // Only the plain forms; ESC [ 1 ; 5 A is Ctrl+Up.
            if (i == 2 && b == 'A') return {kKeyUp, 3};
            if (i == 2 && b == 'B') return {kKeyDown, 3};
            return {kOtherKey, i + 1};
        }
        // A broken sequence ends here; this byte begins the next key.
        if (!isInnerByte(b)) return {kOtherKey, i};
    }
    return cutOff(kOtherKey);
}

int get_code(plat::Console& console) {
    const int first = console.readKeyByte();
    if (first < 0) return kEndOfInput;
    std::string bytes(1, static_cast<char>(first));
    DecodedKey key = decodeKey(bytes, false);
    while (key.code == kMoreBytes) {
        const int next = console.peekFollowingByte();
        if (next < 0) return decodeKey(bytes, true).code;
        bytes += static_cast<char>(next);
        key = decodeKey(bytes, false);
        // Take the byte only if it belongs to this key.
        if (key.code == kMoreBytes || key.used == bytes.size()) console.readKeyByte();
    }
    return key.code;
}

std::string topBorder() { return border("\xA2\x7A", "\xA2\x7B"); }
std::string bottomBorder() { return border("\xA2\x7C", "\xA2\x7D"); }

void showMENU(plat::Console& console, std::string* items, int count, int selected, const int* keys,
              std::string title) {
    console.clear();
    console.write("\n");
    console.write(std::string(kIndent) + title + "\n");
    console.write(topBorder() + "\n");
    for (int row = 1; row <= count; ++row) {
        std::string& item = items[row - 1];
        item.resize(kItemWidth, ' ');
        const char label = static_cast<char>(keys[row - 1] & 0xFF);
        console.write(std::string(kMargin) + std::string(kEdge) + "<" + label + "> ");
        if (row == selected) {
            // Only the item field is coloured, not its label or edges.
            console.setAttribute(kHighlight);
            console.write(item);
            console.setAttribute(kNormal);
        } else {
            console.write(item);
        }
        console.write(std::string(kEdge) + "\n");
    }
    console.write(bottomBorder() + "\n");
}

int MENU2(plat::Console& console, std::string* items, int count, int selected, const int* keys, int keyCount,
          std::string title, std::string footer) {
    const auto draw = [&] {
        showMENU(console, items, count, selected, keys, title);
        console.write(std::string(kIndent) + footer + "\n");
    };
    draw();
    int result = -1;
    while (result == -1) {
        int code = get_code(console);
        const bool ended = code == kEndOfInput;
        // Nobody is left to choose: leave the way ESC does.
        if (ended) code = kKeyEscape;
        if (code == kKeyUp) {
            if (--selected <= 0) selected = count;
            draw();
        } else if (code == kKeyDown) {
            if (++selected > count) selected = 1;
            draw();
        } else if (code == kKeyEnter) {
            result = selected;
        }
        for (int j = 1; j <= keyCount; ++j) {
            if (keys[j - 1] == code) {
                result = j;
                break;
            }
        }
        if (result == -1 && ended) result = 0;
    }
    console.endKeys();
    return result;
}

}  // namespace txr
