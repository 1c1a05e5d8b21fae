#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace input {

// One row of the fixed keyboard map. Key codes are the classic virtual-key
// codes of a US layout: a letter's capital (65..90), a main-row digit
// (48..57), 188 comma, 190 period, 186 semicolon, 191 slash.
struct KeyRow {
  std::int16_t keyCode;
  std::int16_t switchIndex;
  int labelBox;                  // n of the label box Text<n>; 0 for none
  std::string_view statusPrefix; // empty for none
};

// The 38 rows in lookup order.
std::span<const KeyRow> KeyMapRows();

// The row of `keyCode`, or nullptr when no row has it.
const KeyRow* FindKeyRow(std::int16_t keyCode);

// Which scan codes a key event carries.
enum class ScanCodeKind {
  kXkb,          // X11 and Wayland keycodes (evdev code + 8)
  kWindowsSet1,  // Windows hardware scan codes (set 1, no E0 prefix)
  kMacKeyCode,   // macOS virtual key codes (kVK_ANSI_*), which name physical keys
};

// The virtual-key code of the key at the physical position `scanCode` on a US
// layout, for the keys the map knows; -1 for every other key (the numeric
// keypad among them). Shift, layout and Caps Lock do not enter into it.
std::int16_t VirtualKeyFromScanCode(ScanCodeKind kind, std::uint32_t scanCode);

}  // namespace input
