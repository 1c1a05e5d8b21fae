#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace app {

// SIGTERM, SIGINT and SIGHUP (a session's end, Ctrl+C, a closed terminal)
// close `window` as its close button does, so that held notes get their Note
// Offs and the port is closed, and the program then ends with status 0. The
// handler only writes the signal's number to a pipe, which the window's thread
// reads. A second signal while closing ends the program at once, as without
// this. One per process, made on the window's thread after the application;
// nothing is caught when the pipe cannot be made (said on stderr).
class CloseOnSignals final : public QObject {
 public:
  explicit CloseOnSignals(QWidget& window);
  ~CloseOnSignals() override;

 private:
  void close();

  QWidget& window_;
  int pipe_[2] = {-1, -1};  // read end, write end
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
