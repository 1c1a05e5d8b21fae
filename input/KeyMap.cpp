#include "input/KeyMap.h"

#include <algorithm>
#include <array>

namespace input {
namespace {

constexpr std::array<KeyRow, 38> kRows = {{
    {90, 0, 19, "Key Z pressed ("},
    {88, 2, 20, "Key X pressed ("},
    {67, 4, 21, "Key C pressed ("},
    {86, 5, 22, "Key V pressed ("},
    {66, 7, 23, "Key B pressed ("},
    {78, 9, 24, "Key N pressed ("},
    {77, 11, 25, "Key M pressed ("},
    {188, 12, 26, "Key (,) pressed ("},
    {190, 14, 27, "Key (.) pressed ("},
    {186, 15, 0, ""},
    {191, 16, 0, ""},
    {65, 17, 36, "Key A pressed ("},
    {83, 19, 35, "Key S pressed ("},
    {68, 21, 34, "Key D pressed ("},
    {70, 23, 33, "Key F pressed ("},
    {71, 24, 32, "Key G pressed ("},
    {72, 26, 31, "Key H pressed ("},
    {74, 28, 30, "Key J pressed ("},
    {75, 29, 29, "Key K pressed ("},
    {76, 31, 28, "Key L pressed ("},
    {81, 33, 10, "Key Q pressed ("},
    {87, 35, 11, "Key W pressed ("},
    {69, 36, 12, "Key E pressed ("},
    {82, 38, 13, "Key R pressed ("},
    {84, 40, 14, "Key T pressed ("},
    {89, 41, 15, "Key Y pressed ("},
    {85, 43, 16, "Key U pressed ("},
    {73, 45, 17, "Key I pressed ("},
    {79, 47, 18, "Key O pressed ("},
    {49, 48, 1, "Key 1 pressed ("},
    {50, 50, 2, "Key 2 pressed ("},
    {51, 52, 3, "Key 3 pressed ("},
    {52, 53, 4, "Key 4 pressed ("},
    {53, 55, 5, "Key 5 pressed ("},
    {54, 57, 6, "Key 6 pressed ("},
    {55, 59, 7, "Key 7 pressed ("},
    {56, 60, 8, "Key 8 pressed ("},
    {57, 62, 9, "Key 9 pressed ("},
}};

// The four rows of a US keyboard by X keycode: each row's keycodes run on
// from the first one, left to right.
struct KeyboardRow {
  std::uint32_t firstKeycode;
  std::string_view legends;
};
constexpr std::array<KeyboardRow, 4> kXkbRows = {{
    {10, "1234567890"},
    {24, "QWERTYUIOP"},
    {38, "ASDFGHJKL;"},
    {52, "ZXCVBNM,./"},
}};

std::int16_t VirtualKeyOfLegend(char legend) {
  switch (legend) {
    case ';': return 186;
    case ',': return 188;
    case '.': return 190;
    case '/': return 191;
    default: return legend;  // letters and digits are their own codes
  }
}

}  // namespace

std::span<const KeyRow> KeyMapRows() { return kRows; }

const KeyRow* FindKeyRow(std::int16_t keyCode) {
  const auto it = std::find_if(kRows.begin(), kRows.end(),
                               [keyCode](const KeyRow& row) { return row.keyCode == keyCode; });
  return it == kRows.end() ? nullptr : &*it;
}

std::int16_t VirtualKeyFromXkbKeycode(std::uint32_t keycode) {
  for (const auto& row : kXkbRows) {
    if (keycode >= row.firstKeycode && keycode - row.firstKeycode < row.legends.size()) {
      return VirtualKeyOfLegend(row.legends[keycode - row.firstKeycode]);
    }
  }
  return -1;
}

}  // namespace input
