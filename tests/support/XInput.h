#pragma once

#include <chrono>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace testing_support {

// Real X input for end-to-end tests: key and pointer events injected with
// XTest into the X server named by DISPLAY, as a user's hardware would.
class XInput {
 public:
  XInput();
  ~XInput();
  XInput(const XInput&) = delete;
  XInput& operator=(const XInput&) = delete;

  bool ok() const { return display_ != nullptr && xtest_; }

  // X keycode of the key whose unshifted symbol is `keysymName` ("z", "comma", "Shift_L", "KP_1").
  unsigned keycode(const std::string& keysymName) const;
  // Press or release a key by X keycode; returns once the server has the event.
  void key(unsigned keycode, bool press);
  // Several key events in one go, as a fast hand gives them: the program reads
  // them together, with no round trip in between.
  struct KeyEvent {
    unsigned keycode;
    bool press;
  };
  void keys(const std::vector<KeyEvent>& events);
  void click(int x, int y, unsigned button = 1);

  // The top-level window whose name is `title`, waiting up to `timeout`; 0 if none.
  unsigned long findWindow(const std::string& title, std::chrono::milliseconds timeout);
  // Gives `window` the keyboard focus (there is no window manager under Xvfb).
  void focus(unsigned long window);
  // Whether a pop-up (an override-redirect top-level window, as menus are) is shown.
  bool popupShown();
  // Waits up to `timeout` until popupShown() is `shown`; returns whether it came to be.
  bool waitForPopup(bool shown, std::chrono::milliseconds timeout);
  // Root coordinates of the window's top left corner.
  void origin(unsigned long window, int& x, int& y);

 private:
  Display* display_ = nullptr;
  bool xtest_ = false;
};

}  // namespace testing_support
