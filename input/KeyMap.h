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
  int labelBox;                   // n of the label box Text<n>; 0 for none
  std::string_view statusPrefix;  // empty for none
};

// The 38 rows in lookup order.
std::span<const KeyRow> KeyMapRows();

// The row of `keyCode`, or nullptr when no row has it.
const KeyRow* FindKeyRow(std::int16_t keyCode);

// The virtual-key code of the key with X keycode `keycode` (the evdev code
// + 8, which X11 and Wayland report as the native scan code), by its position
// on a US layout, for the keys the map knows; -1 for every other key (the
// numeric keypad among them). Shift, layout and Caps Lock do not enter into
// it. A port to another platform adds a lookup of its own scan codes beside
// this one, for app/KeyCode.cpp to call.
std::int16_t VirtualKeyFromXkbKeycode(std::uint32_t keycode);

}  // namespace input
