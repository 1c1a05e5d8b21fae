#include "app/Layout.h"

#include <QStringList>

namespace app {

// One line per grid row or half row, as the design lists them.
// clang-format off
const std::array<SwitchCell, 36> kSwitchGrid = {{
    {1, 1, "1", 48, 1, "Switch01", 27}, {1, 2, "2", 50, 2, "Switch02", 26},
    {1, 3, "3", 52, 3, "Switch03", 25}, {1, 4, "4", 53, 4, "Switch04", 24},
    {1, 5, "5", 55, 5, "Switch05", 23}, {1, 6, "6", 57, 6, "Switch06", 22},
    {1, 7, "7", 59, 7, "Switch07", 21}, {1, 8, "8", 60, 8, "Switch08", 20},
    {1, 9, "9", 62, 9, "Switch09", 19},
    {2, 1, "Q", 33, 10, "Switch10", 10}, {2, 2, "W", 35, 11, "Switch11", 11},
    {2, 3, "E", 36, 12, "Switch12", 12}, {2, 4, "R", 38, 13, "Switch13", 13},
    {2, 5, "T", 40, 14, "Switch14", 14}, {2, 6, "Y", 41, 15, "Switch15", 15},
    {2, 7, "U", 43, 16, "Switch16", 16}, {2, 8, "I", 45, 17, "Switch17", 17},
    {2, 9, "O", 47, 18, "Switch18", 18},
    {3, 1, "A", 17, 36, "Switch19", 1}, {3, 2, "S", 19, 35, "Switch20", 2},
    {3, 3, "D", 21, 34, "Switch21", 3}, {3, 4, "F", 23, 33, "Switch22", 4},
    {3, 5, "G", 24, 32, "Switch23", 5}, {3, 6, "H", 26, 31, "Switch24", 6},
    {3, 7, "J", 28, 30, "Switch25", 7}, {3, 8, "K", 29, 29, "Switch26", 8},
    {3, 9, "L", 31, 28, "Switch27", 9},
    {4, 1, "Z", 0, 19, "Switch28", 36}, {4, 2, "X", 2, 20, "Switch29", 35},
    {4, 3, "C", 4, 21, "Switch30", 34}, {4, 4, "V", 5, 22, "Switch31", 33},
    {4, 5, "B", 7, 23, "Switch32", 32}, {4, 6, "N", 9, 24, "Switch33", 31},
    {4, 7, "M", 11, 25, "Switch34", 30}, {4, 8, ",", 12, 26, "Switch35", 29},
    {4, 9, ".", 14, 27, "Switch36", 28},
}};
// clang-format on

double SwitchPoints(const SwitchCell& cell) {
  return cell.caption == "," || cell.caption == "." ? kPunctuationSwitchPoints : kSwitchPoints;
}

const std::vector<SurfaceControl>& SurfaceControls() {
  static const std::vector<SurfaceControl> controls = [] {
    using K = ControlKind;
    std::vector<SurfaceControl> c;
    // The picture's top 240 twips lie above the client area and are cut off.
    c.push_back({"Image1", K::Picture, TwipsRect(360, -240, 3510, 1560)});
    for (int shape = 1; shape <= 36; ++shape) {
      for (const auto& cell : kSwitchGrid) {
        if (cell.frame == shape)
          c.push_back({QStringLiteral("Shape%1").arg(shape), K::Frame, FrameRect(cell)});
      }
    }
    c.push_back({"LblLCD3", K::StatusLine, kStatusLineRects[2], qRgb(0, 128, 0), 9.75});
    c.push_back({"LblLCD2", K::StatusLine, kStatusLineRects[1], qRgb(0, 192, 0), 9.75});
    c.push_back({"LblLCD1", K::StatusLine, kStatusLineRects[0], qRgb(0, 255, 0), 9.75});
    c.push_back({"Shape37", K::Frame, TwipsRect(8040, 120, 3495, 975)});
    c.push_back({"Label1", K::Label, TwipsRect(240, 120, 2895, 615), qRgb(128, 128, 128), 15.75, true,
                 QStringLiteral("Quorvane")});
    c.push_back({"Label2", K::Label, TwipsRect(3360, 720, 5175, 375), qRgb(255, 255, 255), 12, true,
                 QStringLiteral("Zelmora! Switches Module")});
    c.push_back({"vol", K::ScrollBar, kVolRect});
    return c;
  }();
  return controls;
}

QFont PanelFont(double points, bool bold) {
  QFont font;
  font.setFamilies({QStringLiteral("Lucida Console"), QStringLiteral("DejaVu Sans Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

const std::vector<QString>& FocusOrder() {
  static const std::vector<QString> order = [] {
    std::vector<QString> names;
    auto switches = [&names](const QStringList& captions) {
      for (const QString& caption : captions) {
        for (const auto& cell : kSwitchGrid) {
          if (QString::fromUtf8(cell.caption.data(), static_cast<qsizetype>(cell.caption.size())) ==
              caption) {
            names.push_back(QStringLiteral("key%1").arg(cell.index));
          }
        }
      }
    };
    auto boxes = [&names](int first, int last) {
      for (int box = first; box <= last; ++box) names.push_back(QStringLiteral("Text%1").arg(box));
    };
    switches({"C", "V", "B", "N", "M", ",", "."});
    names.push_back(QStringLiteral("vol"));
    boxes(1, 18);
    switches({"A", "S", "D", "F", "G", "H", "Z", "J", "K", "L", "Q", "W", "E", "R", "T", "Y", "U", "I", "O"});
    boxes(28, 36);
    boxes(19, 27);
    switches({"X", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    // The status lines and the two title labels follow; they never take the focus.
    return names;
  }();
  return order;
}

}  // namespace app
