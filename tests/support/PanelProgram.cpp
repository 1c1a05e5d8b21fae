#include "tests/support/PanelProgram.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include "tests/support/Servers.h"

namespace testing_support {

using namespace std::chrono_literals;

PanelProgram::PanelProgram(const std::string& program, const std::string& log)
    : display_(XOpenDisplay(nullptr)) {
  Start(process_, QString::fromStdString(program), {}, QString::fromStdString(log));
  if (display_ == nullptr) return;
  // Windows come and go while we look at them: a query about one just gone is no reason to exit.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  // A refusal at start-up comes before the window.
  if (WaitFor([&] { return find(kMain) != 0 || find(kDialog) != 0; }, 15s)) focusWindow();
}

PanelProgram::~PanelProgram() {
  Stop(process_);
  if (display_ != nullptr) XCloseDisplay(display_);
}

unsigned long PanelProgram::find(Kind kind) {
  Window root = 0, parent = 0, *children = nullptr, owner = 0, found = 0;
  unsigned count = 0;
  if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, children[i], &a) || a.map_state != IsViewable || a.width <= 1)
      continue;
    const bool dialog = XGetTransientForHint(display_, children[i], &owner);
    if ((a.override_redirect ? kMenu : dialog ? kDialog : kMain) == kind) found = children[i];
  }
  if (children) XFree(children);
  return found;
}

void PanelProgram::focusWindow() {
  if ((window_ = find(kMain)) != 0) XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
}

void PanelProgram::keys(const std::vector<std::pair<std::string, bool>>& events) {
  for (const auto& [keysym, press] : events) {
    XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(keysym.c_str())), press,
                      CurrentTime);
  }
  XSync(display_, False);
}

bool PanelProgram::openMenu(int menu) {
  // Alt alone takes the menu bar to its first title; Down opens that menu.
  std::vector<std::pair<std::string, bool>> events = {{"Alt_L", true}, {"Alt_L", false}};
  for (int i = 0; i < menu; ++i) events.insert(events.end(), {{"Right", true}, {"Right", false}});
  events.insert(events.end(), {{"Down", true}, {"Down", false}});
  keys(events);
  return WaitFor([&] { return find(kMenu) != 0; }, 5s);
}

bool PanelProgram::closeMenu() {
  keys({{"Escape", true}, {"Escape", false}});
  const bool closed = WaitFor([&] { return find(kMenu) == 0; }, 5s);
  keys({{"Escape", true}, {"Escape", false}});  // and the menu bar lets go of the keyboard
  return closed;
}

bool PanelProgram::pick(int menu, int entry) {
  if (!openMenu(menu)) return false;
  for (int i = 0; i < entry; ++i) keys({{"Down", true}, {"Down", false}});
  keys({{"Return", true}, {"Return", false}});
  return WaitFor([&] { return find(kMenu) == 0; }, 5s);
}

bool PanelProgram::dismissMessageBox() {
  Window box = 0;
  if (!WaitFor([&] { return (box = find(kDialog)) != 0; }, 15s)) return false;
  XSetInputFocus(display_, box, RevertToParent, CurrentTime);
  keys({{"Return", true}, {"Return", false}});
  const bool gone = WaitFor([&] { return find(kDialog) == 0 && find(kMain) != 0; }, 5s);
  focusWindow();
  return gone;
}

int PanelProgram::quit() {
  XEvent close{};
  close.xclient = {
      ClientMessage, 0, True, display_, window_, XInternAtom(display_, "WM_PROTOCOLS", False), 32, {}};
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  XSendEvent(display_, window_, False, NoEventMask, &close);
  XSync(display_, False);
  process_.waitForFinished(10000);
  return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

}  // namespace testing_support
