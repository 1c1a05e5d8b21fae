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

// The physical keys of the four rows, US legends, each with its scan code on
// the three platforms.
struct PhysicalKey {
  std::int16_t keyCode;
  std::uint16_t xkb;
  std::uint16_t windows;
  std::uint16_t mac;
};

constexpr std::array<PhysicalKey, 40> kPhysical = {{
    {'1', 10, 0x02, 0x12}, {'2', 11, 0x03, 0x13}, {'3', 12, 0x04, 0x14}, {'4', 13, 0x05, 0x15},
    {'5', 14, 0x06, 0x17}, {'6', 15, 0x07, 0x16}, {'7', 16, 0x08, 0x1A}, {'8', 17, 0x09, 0x1C},
    {'9', 18, 0x0A, 0x19}, {'0', 19, 0x0B, 0x1D},
    {'Q', 24, 0x10, 0x0C}, {'W', 25, 0x11, 0x0D}, {'E', 26, 0x12, 0x0E}, {'R', 27, 0x13, 0x0F},
    {'T', 28, 0x14, 0x11}, {'Y', 29, 0x15, 0x10}, {'U', 30, 0x16, 0x20}, {'I', 31, 0x17, 0x22},
    {'O', 32, 0x18, 0x1F}, {'P', 33, 0x19, 0x23},
    {'A', 38, 0x1E, 0x00}, {'S', 39, 0x1F, 0x01}, {'D', 40, 0x20, 0x02}, {'F', 41, 0x21, 0x03},
    {'G', 42, 0x22, 0x05}, {'H', 43, 0x23, 0x04}, {'J', 44, 0x24, 0x26}, {'K', 45, 0x25, 0x28},
    {'L', 46, 0x26, 0x25}, {186, 47, 0x27, 0x29},
    {'Z', 52, 0x2C, 0x06}, {'X', 53, 0x2D, 0x07}, {'C', 54, 0x2E, 0x08}, {'V', 55, 0x2F, 0x09},
    {'B', 56, 0x30, 0x0B}, {'N', 57, 0x31, 0x2D}, {'M', 58, 0x32, 0x2E}, {188, 59, 0x33, 0x2B},
    {190, 60, 0x34, 0x2F}, {191, 61, 0x35, 0x2C},
}};

}  // namespace

std::span<const KeyRow> KeyMapRows() { return kRows; }

const KeyRow* FindKeyRow(std::int16_t keyCode) {
  const auto it = std::find_if(kRows.begin(), kRows.end(),
                               [keyCode](const KeyRow& row) { return row.keyCode == keyCode; });
  return it == kRows.end() ? nullptr : &*it;
}

std::int16_t VirtualKeyFromScanCode(ScanCodeKind kind, std::uint32_t scanCode) {
  for (const auto& key : kPhysical) {
    std::uint32_t code = 0;
    switch (kind) {
      case ScanCodeKind::kXkb: code = key.xkb; break;
      case ScanCodeKind::kWindowsSet1: code = key.windows; break;
      case ScanCodeKind::kMacKeyCode: code = key.mac; break;
    }
    // The mac table has a real key at code 0 (A); elsewhere 0 means "no code".
    if (code == scanCode && (scanCode != 0 || kind == ScanCodeKind::kMacKeyCode)) return key.keyCode;
  }
  return -1;
}

}  // namespace input
