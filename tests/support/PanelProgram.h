#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Servers.h"

namespace testing_support {

// The real program under the X and JACK servers the test made, driven with real X input through XTest as a
// user's hardware would drive it. Stopped (SIGTERM, as a session ending would) on destruction.
class PanelProgram {
 public:
  // Starts `program` with `arguments`, in `folder` (none: the test's) and its standard error going to `log`,
  // and waits for its window, which then gets the keyboard (there is no window manager).
  PanelProgram(const std::string& program, const std::string& log, const QStringList& arguments = {},
               const QString& folder = {})
      : display_(XOpenDisplay(nullptr)) {
    process_.setWorkingDirectory(folder);
    Start(process_, QString::fromStdString(program), arguments, QString::fromStdString(log));
    if (display_ == nullptr) return;
    // Windows come and go while we look at them: a query about one just gone is no reason to exit.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    // Nor is the X server going away (a test may stop it): Xlib's defaults would end the test.
    XSetIOErrorHandler([](Display*) { return 0; });
    XSetIOErrorExitHandler(
        display_, [](Display*, void*) {}, nullptr);
    // A refusal at start-up comes before the window.
    if (WaitFor([&] { return find(kMain) != 0 || find(kDialog) != 0; }, kPatience)) focusWindow();
  }
  ~PanelProgram() {
    Stop(process_);
    if (display_ != nullptr) XCloseDisplay(display_);
  }

  bool ready() const { return window_ != 0; }
  // Key events by unshifted X keysym name ("z", "comma", "Shift_L"), sent in one batch: the program reads
  // them together, as a fast hand gives them.
  void keys(const std::vector<std::pair<std::string, bool>>& events) {
    for (const auto& [keysym, press] : events) {
      XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, XStringToKeysym(keysym.c_str())), press,
                        CurrentTime);
    }
    XSync(display_, False);
  }
  void press(const std::string& keysym) { keys({{keysym, true}}); }
  void release(const std::string& keysym) { keys({{keysym, false}}); }
  void tap(const std::string& keysym) { keys({{keysym, true}, {keysym, false}}); }
  // How many presses of `keysym` X has sent the window so far, its auto-repeats among them: the test hears
  // them along with the program.
  int pressesSent(const std::string& keysym) {
    for (XEvent event; XPending(display_) > 0;) {
      XNextEvent(display_, &event);
      if (event.type == KeyPress) ++presses_[event.xkey.keycode];
    }
    return presses_[XKeysymToKeycode(display_, XStringToKeysym(keysym.c_str()))];
  }
  // Opens the top-level menu `menu` (0 "Midi Device", 1 "Channel", 2 "Labels") from the keyboard: Alt alone
  // takes the menu bar to its first title.
  bool openMenu(int menu) {
    tap("Alt_L");
    for (int i = 0; i < menu; ++i) tap("Right");
    tap("Down");
    return WaitFor([&] { return find(kMenu) != 0; }, kPatience);
  }
  // Closes the open menu, then leaves the menu bar; whether the menu went.
  bool closeMenu() {
    tap("Escape");
    const bool closed = WaitFor([&] { return find(kMenu) == 0; }, kPatience);
    tap("Escape");
    return closed;
  }
  // Picks entry `entry` (0 = the first shown) of menu `menu`.
  bool pick(int menu, int entry) {
    if (!openMenu(menu)) return false;
    for (int i = 0; i < entry; ++i) tap("Down");
    tap("Return");
    return WaitFor([&] { return find(kMenu) == 0; }, kPatience);
  }
  // Types `text` (letters, digits and unshifted punctuation) into the dialog the program shows, then Enter
  // (text "" answers a message box); whether one was shown and went.
  bool answerDialog(const std::string& text) {
    Window box = 0;
    if (!WaitFor([&] { return (box = find(kDialog)) != 0; }, kPatience)) return false;
    XSetInputFocus(display_, box, RevertToParent, CurrentTime);
    for (const unsigned char c : text) {  // a Latin-1 character's keysym is its code
      const std::string key = XKeysymToString(c);
      std::isupper(c) ? keys({{"Shift_L", true}, {key, true}, {key, false}, {"Shift_L", false}}) : tap(key);
    }
    tap("Return");
    return WaitFor([&] { return find(kDialog) == 0 && focusWindow(); }, kPatience);
  }
  // Closes the window as a window manager's close button would; the exit code.
  int quit() {
    XEvent close{};
    close.xclient = {
        ClientMessage, 0, True, display_, window_, XInternAtom(display_, "WM_PROTOCOLS", False), 32, {}};
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    XSendEvent(display_, window_, False, NoEventMask, &close);
    XSync(display_, False);
    return end(0);
  }
  // Sends the program signal `number` (0: none) and waits for it to end; its exit code, or -1 when it
  // crashed, was killed or did not end.
  int end(int number) {
    if (number != 0) ::kill(static_cast<pid_t>(process_.processId()), number);
    process_.waitForFinished(10000);
    const bool ended =
        process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit;
    return ended ? process_.exitCode() : -1;
  }

 private:
  static constexpr std::chrono::seconds kPatience{15};
  enum Kind { kMain, kDialog, kMenu };

  // The first shown top-level window of this kind, or 0.
  Window find(Kind kind) {
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
  // Gives the keyboard to the main window; whether it is shown.
  bool focusWindow() {
    if ((window_ = find(kMain)) != 0) {
      XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
      XSelectInput(display_, window_, KeyPressMask);
    }
    return window_ != 0;
  }

  QProcess process_;
  Display* display_ = nullptr;
  Window window_ = 0;
  std::map<unsigned, int> presses_;  // by X keycode
};

}  // namespace testing_support
