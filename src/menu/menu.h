// The console menu: a boxed list of entries with one highlighted row, driven
// by the arrow keys, Enter and hotkeys; the main menu shown when the tool
// starts without files, and the help screen.
//
// All screen text is in the tool's own bytes: ASCII, and Big5 for the frame
// glyphs and footer signs. The console decides how a terminal shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "conversion/conversion.h"
#include "platform/platform.h"

namespace txr {

// ---- Keys ------------------------------------------------------------------

// A key code is the byte of a character key, or 0x100 plus the second byte
// of a key that a console announces with the prefix byte 0 or 0xE0.
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEscape = 27;
inline constexpr int kKeyUp = 0x148;
inline constexpr int kKeyDown = 0x150;

// Not key codes: no more input will come; a key the menu has no code for
// (Right, Home, F1, Ctrl+Up, ...); the bytes so far stop inside a key.
inline constexpr int kEndOfInput = -1;
inline constexpr int kOtherKey = -2;
inline constexpr int kMoreBytes = -3;

struct DecodedKey {
    int code;          // a key code, kOtherKey or kMoreBytes
    std::size_t used;  // bytes of `bytes` the key takes; the rest is the next key's
};

// The key at the start of `bytes`. `nothingFollows` says no further byte
// comes with these: a lone ESC is then the ESC key, and a cut-off sequence
// is a key without a code. CR, LF and CR LF are one Enter; ESC [ A and
// ESC O A are Up, ESC [ B and ESC O B Down; every other ESC [ or ESC O
// sequence is read to its end and has no code. ESC followed by any other
// byte is ESC, that byte being the next key.
DecodedKey decodeKey(std::string_view bytes, bool nothingFollows);

// Waits for the next key press and gives its code, kOtherKey for a key
// without one, or kEndOfInput at once when input has ended.
int get_code(plat::Console& console);

// ---- The menu widget ---------------------------------------------------------

// The box lines the menu and the help screen share, 76 bytes each.
std::string topBorder();
std::string bottomBorder();

// Clears the screen and draws the title and one boxed row per item; row r
// (from 1) is labelled with the low byte of keys[r - 1], and only the item
// field of row `selected` is highlighted. Each item is fitted in place to
// its 66-byte field: padded with blanks, or cut (by bytes).
void showMENU(plat::Console& console, std::string* items, int count, int selected, const int* keys,
              std::string title);

// Draws the menu with `footer` under it and runs it: Up and Down move the
// highlight round the rows (redrawing), Enter takes the highlighted row, and
// a key equal to one of the first `keyCount` entries of `keys` is taken at
// once, after any move it makes. Returns the row taken, or the position
// (from 1) of the first entry equal to the hotkey. When input ends it acts as
// ESC; if ESC is no hotkey either, it returns 0.
int MENU2(plat::Console& console, std::string* items, int count, int selected, const int* keys, int keyCount,
          std::string title, std::string footer);

// ---- The tool's screens --------------------------------------------------------

// The two ways to use the tool, boxed; returns after one key press.
void showHelp(plat::Console& console);

struct MainMenuActions {
    std::function<Outcome()> extractAll;
    std::function<Outcome()> undoLast;
};

// The main menu until ESC (or the end of input): entry 1 runs the folder
// batch, 2 the undo, 3 the help screen; after each the menu comes back with
// its first entry highlighted. someFailed when any action reported it.
Outcome runMainMenu(plat::Console& console, const MainMenuActions& actions, std::string title);

// The same on the tool's own console, with the batch and the undo working
// on the program directory.
Outcome runMainMenu(std::string programDir, std::string title);

}  // namespace txr
