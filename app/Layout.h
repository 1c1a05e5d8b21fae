#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

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
  int frame;  // n of Shape<n>
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

// Below the client area: not seen at the designed size, reached with Tab.
inline constexpr QRect kVolRect = TwipsRect(0, 6120, 255, 1815);

inline constexpr int kDeviceMenuEntries = 11;
inline constexpr int kChannelMenuEntries = 16;

// Looks. Fonts are point sizes; the font itself is PanelFont's.
inline constexpr QRgb kSurfaceColour = qRgb(0, 0, 0);
inline constexpr double kSurfacePoints = 24;  // the window's own font; every control has its own
inline constexpr QRgb kSwitchFace = qRgb(0, 255, 0);
// A held switch is sunken and darker, so that the switches of a chord that
// are down can be told from the others at a glance; the caption stays legible.
inline constexpr QRgb kSwitchFaceHeld = qRgb(0, 150, 0);
// The caption takes the window-frame colour of the standard scheme; Qt's
// palette has no such role.
inline constexpr QRgb kSwitchCaption = qRgb(0, 0, 0);
inline constexpr double kSwitchPoints = 15.75;
inline constexpr double kPunctuationSwitchPoints = 20.25;  // "," and "."
inline constexpr QRgb kLabelBoxBackground = qRgb(0, 0, 0);
inline constexpr QRgb kLabelBoxText = qRgb(0, 0, 255);
inline constexpr double kLabelBoxPoints = 9;
inline constexpr int kLabelTypedLimit = 9;  // characters the user may type; loaded labels may be longer
inline constexpr QRgb kStatusLineBackground = qRgb(0, 0, 0);
// Frames are drawn in the palette's window-background colour (Base, white in
// the standard scheme): the one colour they store is a role, not a value.

double SwitchPoints(const SwitchCell& cell);

// The controls drawn on the window's surface, and the velocity bar.
enum class ControlKind { Picture, Frame, StatusLine, Label, ScrollBar };

struct SurfaceControl {
  QString name;  // object name
  ControlKind kind;
  QRect rect;         // pixels at 96 dpi
  QRgb ink = 0;       // text colour of labels and status lines
  double points = 0;  // font size; 0 for controls without text
  bool bold = false;
  QString text{};  // text when the window opens
};

// Back to front, in the order they are drawn: Image1, the 36 switch frames,
// the status lines, Shape37, Label1, Label2; last the velocity bar, which lies
// above them all with the switches and label boxes.
const std::vector<SurfaceControl>& SurfaceControls();

// Every text of the panel is "Lucida Console". Where it is missing, DejaVu Sans
// Mono stands in, asked for by name: a style hint alone gives a font that does
// not report fixed pitch, and the bare family falls back to a proportional one.
QFont PanelFont(double points, bool bold = false);

// The focus order, by object name; controls that cannot take the focus at the
// moment are passed over.
const std::vector<QString>& FocusOrder();

}  // namespace app
