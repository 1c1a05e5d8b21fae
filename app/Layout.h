#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include <QRect>

namespace app {

// Layout values are twips from the top left of the client area; 15 twips are
// one pixel at 96 dpi. Qt's device-independent pixels are 96-dpi pixels, so
// its own scaling covers high-DPI screens.
constexpr int Px(int twips) { return twips / 15; }
constexpr QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

inline constexpr int kClientWidth = Px(12030);
inline constexpr int kClientHeight = Px(5070);

// One switch of the grid, row by row from the top left.
struct SwitchCell {
  int row;  // 1 (top) .. 4
  int col;  // 1 (left) .. 9
  std::string_view caption;
  std::int16_t index;
  int labelBox;  // n of Text<n>
  std::string_view initialLabel;
  int frame;     // n of Shape<n>
};

extern const std::array<SwitchCell, 36> kSwitchGrid;

constexpr QRect SwitchRect(const SwitchCell& cell) {
  return TwipsRect(240 + 1320 * (cell.col - 1), 1320 + 960 * (cell.row - 1), 735, 315);
}
constexpr QRect LabelBoxRect(const SwitchCell& cell) {
  return TwipsRect(240 + 1320 * (cell.col - 1), 1320 + 960 * (cell.row - 1) + 360, 975, 300);
}
constexpr QRect FrameRect(const SwitchCell& cell) {
  return TwipsRect(240 + 1320 * (cell.col - 1) - 120, 1320 + 960 * (cell.row - 1) - 120, 1215, 855);
}

// The status lines, line 1 (newest, bottom) to line 3 (oldest, top).
inline constexpr std::array<QRect, 3> kStatusLineRects = {
    TwipsRect(8160, 720, 3135, 255), TwipsRect(8160, 480, 3135, 255), TwipsRect(8160, 240, 3135, 255)};

inline constexpr QRect kVolRect = TwipsRect(0, 6120, 255, 1815);

inline constexpr int kDeviceMenuEntries = 11;
inline constexpr int kChannelMenuEntries = 16;

}  // namespace app
