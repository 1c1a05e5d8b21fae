#pragma once

#include <QStandardPaths>
#include <string>

#include "tests/support/Process.h"

namespace testing_support {

// An X server of the test's own: Xvfb on a free display, 1280x800x24. While it
// lives DISPLAY names it and QT_QPA_PLATFORM is xcb.
class XServer {
 public:
  // Auto-repeat delay and interval in milliseconds.
  explicit XServer(int repeatDelayMs = 660, int repeatIntervalMs = 40) {
    // Xvfb picks a free display and writes its number once it accepts connections.
    Start(process_, "Xvfb",
          {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-ardelay",
           QString::number(repeatDelayMs), "-arinterval", QString::number(repeatIntervalMs)},
          QProcess::nullDevice(), true);
    if (!process_.waitForReadyRead(10000)) return;
    display_ = ":" + process_.readLine().trimmed().toStdString();
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  ~XServer() { Stop(process_); }
  static bool Installed() { return !QStandardPaths::findExecutable("Xvfb").isEmpty(); }
  bool ready() const { return display_.size() > 1; }

 private:
  QProcess process_;
  std::string display_;
};

}  // namespace testing_support
