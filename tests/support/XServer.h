#pragma once

#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"

namespace testing_support {

// An X server of the test's own: Xvfb on a free display, 1280x800x24, with
// no TCP listener. While it lives DISPLAY names it and QT_QPA_PLATFORM is
// xcb. Stopped on destruction.
class XServer {
 public:
  // Auto-repeat delay and interval in milliseconds (Xvfb's -ardelay, -arinterval).
  explicit XServer(int repeatDelayMs = 660, int repeatIntervalMs = 40);
  ~XServer();

  static bool Installed();
  bool ready() const { return !display_.empty(); }
  const std::string& display() const { return display_; }  // ":N"

 private:
  std::unique_ptr<ChildProcess> process_;
  std::string display_;
};

}  // namespace testing_support
