#include "app/KeyCode.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include "input/KeyMap.h"

namespace app {
namespace {

std::int16_t FromKeyValue(const QKeyEvent& event) {
  if (event.modifiers() & Qt::KeypadModifier) return -1;
  const int key = event.key();
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return static_cast<std::int16_t>(key);  // Qt uses the same codes for these
  }
  switch (key) {
    case Qt::Key_Comma: return 188;
    case Qt::Key_Period: return 190;
    case Qt::Key_Semicolon: return 186;
    case Qt::Key_Slash: return 191;
    default: return -1;
  }
}

}  // namespace

// A port to another platform adds its scan codes here, beside X11's.
std::int16_t KeyCodeOf(const QKeyEvent& event) {
  static const QString platform = QGuiApplication::platformName();
  const quint32 scanCode = event.nativeScanCode();
  if (scanCode != 0 && (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")))) {
    return input::VirtualKeyFromXkbKeycode(scanCode);
  }
  return FromKeyValue(event);
}

}  // namespace app
