#include "tests/support/XInput.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <thread>

namespace testing_support {
namespace {

// Depth-first search for a window by WM_NAME.
Window FindByName(Display* display, Window window, const std::string& title) {
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name != nullptr) {
    const bool match = title == name;
    XFree(name);
    if (match) return window;
  }
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && found == 0; ++i) found = FindByName(display, children[i], title);
  if (children) XFree(children);
  return found;
}

}  // namespace

XInput::XInput() : display_(XOpenDisplay(nullptr)) {
  // Windows come and go while we look at them (menus close, the program
  // starts): a query about one that has just gone is no reason to exit.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  int event = 0, error = 0, major = 0, minor = 0;
  xtest_ = display_ != nullptr && XTestQueryExtension(display_, &event, &error, &major, &minor);
}

XInput::~XInput() {
  if (display_) XCloseDisplay(display_);
}

unsigned XInput::keycode(const std::string& keysymName) const {
  return XKeysymToKeycode(display_, XStringToKeysym(keysymName.c_str()));
}

void XInput::key(unsigned keycode, bool press) { keys({{keycode, press}}); }

void XInput::keys(const std::vector<KeyEvent>& events) {
  for (const KeyEvent& e : events) XTestFakeKeyEvent(display_, e.keycode, e.press ? True : False, CurrentTime);
  XSync(display_, False);
}

void XInput::click(int x, int y, unsigned button) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display_, button, True, CurrentTime);
  XTestFakeButtonEvent(display_, button, False, CurrentTime);
  XSync(display_, False);
}

unsigned long XInput::findWindow(const std::string& title, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    XWindowAttributes attributes{};
    if (Window w = FindByName(display_, DefaultRootWindow(display_), title)) {
      if (XGetWindowAttributes(display_, w, &attributes) && attributes.map_state == IsViewable) return w;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (std::chrono::steady_clock::now() < deadline);
  return 0;
}

bool XInput::popupShown() {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return false;
  bool shown = false;
  for (unsigned i = 0; i < count && !shown; ++i) {
    XWindowAttributes attributes{};
    shown = XGetWindowAttributes(display_, children[i], &attributes) && attributes.override_redirect &&
            attributes.map_state == IsViewable;
  }
  if (children) XFree(children);
  return shown;
}

bool XInput::waitForPopup(bool shown, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (popupShown() != shown) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void XInput::focus(unsigned long window) {
  XSetInputFocus(display_, window, RevertToParent, CurrentTime);
  XSync(display_, False);
}

void XInput::origin(unsigned long window, int& x, int& y) {
  Window child = 0;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
}

}  // namespace testing_support
