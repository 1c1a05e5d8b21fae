#include "app/AutoRepeat.h"

#include <QGuiApplication>

#if defined(ZELMORA_HAVE_X11)
#include <X11/XKBlib.h>
#endif

namespace app {

bool UseDetectableAutoRepeat() {
#if defined(ZELMORA_HAVE_X11)
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->display() == nullptr) return false;
  Bool supported = False;
  return XkbSetDetectableAutoRepeat(x11->display(), True, &supported) && supported;
#else
  return false;
#endif
}

}  // namespace app
