#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/XInput.h"

namespace testing_support {

// The real program, started under the X and JACK servers the test made
// (DISPLAY and JACK_DEFAULT_SERVER as the fixtures set them), driven with
// real X input. Stopped (SIGTERM, as a session ending would) on destruction.
class PanelProgram {
 public:
  // `program` is the path of the built executable; its output goes to `log`.
  PanelProgram(const std::string& program, const std::string& log);
  ~PanelProgram();

  // True once the window is shown and has the keyboard focus.
  bool ready() const { return window_ != 0; }
  bool running() { return process_->running(); }
  XInput& input() { return input_; }

  // Presses and releases the key with this unshifted X keysym name ("z", "comma").
  void press(const std::string& keysym) { input_.key(input_.keycode(keysym), true); }
  void release(const std::string& keysym) { input_.key(input_.keycode(keysym), false); }

  // Opens the top-level menu at `menu` (0 "Midi Device", 1 "Channel", 2 "Labels")
  // with a click on the menu bar; returns once it is shown (false if it never was).
  bool openMenu(int menu);
  // Closes an open menu with Escape, and gives the window the keyboard again
  // once the menu has gone (false if it stayed).
  bool closeMenu();
  // Picks entry `entry` (0 = the first) of menu `menu` from the keyboard.
  void pick(int menu, int entry);

 private:
  std::unique_ptr<ChildProcess> process_;
  XInput input_;
  unsigned long window_ = 0;
};

}  // namespace testing_support
