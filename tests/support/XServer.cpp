#include "tests/support/XServer.h"

#include <poll.h>
#include <unistd.h>

#include <cstdlib>

namespace testing_support {

bool XServer::Installed() { return OnPath("Xvfb"); }

XServer::XServer(int repeatDelayMs, int repeatIntervalMs) {
  // Xvfb picks a free display and writes its number to -displayfd once it
  // accepts connections: no guessing, no polling.
  int fds[2];
  if (pipe(fds) != 0) return;
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      "Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
      "-ardelay", std::to_string(repeatDelayMs), "-arinterval", std::to_string(repeatIntervalMs)});
  close(fds[1]);
  std::string number;
  pollfd waiting{fds[0], POLLIN, 0};
  while (poll(&waiting, 1, 10000) > 0) {
    char c = 0;
    if (read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) return;
  display_ = ":" + number;
  setenv("DISPLAY", display_.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
}

XServer::~XServer() {
  if (process_) process_->stop();
}

}  // namespace testing_support
