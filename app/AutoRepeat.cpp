#include "app/AutoRepeat.h"

#include <QGuiApplication>

#if defined(ZELMORA_HAVE_X11)
#include <X11/XKBlib.h>
#endif

namespace app {

void UseDetectableAutoRepeat() {
#if defined(ZELMORA_HAVE_X11)
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->display() == nullptr) return;
  Bool supported = False;
  XkbSetDetectableAutoRepeat(x11->display(), True, &supported);
#endif
}

}  // namespace app
