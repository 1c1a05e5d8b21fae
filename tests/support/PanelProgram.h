#pragma once

#include <QProcess>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace testing_support {

// The real program under the X and JACK servers the test made, driven with real
// X input through XTest as a user's hardware would drive it. Stopped (SIGTERM,
// as a session ending would) on destruction.
class PanelProgram {
 public:
  // Starts `program` with its standard error going to `log`, and waits for its
  // window, which then gets the keyboard (there is no window manager).
  PanelProgram(const std::string& program, const std::string& log);
  ~PanelProgram();

  bool ready() const { return window_ != 0; }
  bool running() { return !process_.waitForFinished(0); }
  // Key events by unshifted X keysym name ("z", "comma", "Shift_L"), sent in
  // one batch: the program reads them together, as a fast hand gives them.
  void keys(const std::vector<std::pair<std::string, bool>>& events);
  void press(const std::string& keysym) { keys({{keysym, true}}); }
  void release(const std::string& keysym) { keys({{keysym, false}}); }
  // Opens the top-level menu `menu` (0 "Midi Device", 1 "Channel", 2 "Labels")
  // from the keyboard; whether it was shown.
  bool openMenu(int menu);
  // Closes the open menu and leaves the menu bar; whether the menu went.
  bool closeMenu();
  // Picks entry `entry` (0 = the first shown) of menu `menu`.
  bool pick(int menu, int entry);
  // Answers the message box the program shows with Enter; whether one was shown.
  bool dismissMessageBox();
  // Closes the window as a window manager's close button would; the exit code.
  int quit();

 private:
  enum Kind { kMain, kDialog, kMenu };
  // The first shown top-level window of this kind, or 0.
  unsigned long find(Kind kind);
  void focusWindow();

  QProcess process_;
  Display* display_ = nullptr;
  unsigned long window_ = 0;
};

}  // namespace testing_support
