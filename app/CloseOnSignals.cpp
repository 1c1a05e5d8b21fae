#include "app/CloseOnSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace app {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the handler: a signal handler reaches no object.
volatile std::sig_atomic_t writeEnd = -1;

// Async-signal-safe: a write, and errno kept for the code it interrupted. A
// full pipe already holds a signal that has not been read yet.
extern "C" void WriteSignal(int number) {
  const int saved = errno;
  const auto byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = write(writeEnd, &byte, 1);
  errno = saved;
}

void Handle(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int number : kSignals) sigaction(number, &action, nullptr);
}

}  // namespace

CloseOnSignals::CloseOnSignals(QWidget& window) : window_(window) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "zelmora-switches: signals will end the program without closing its port: %s\n",
                 std::strerror(errno));
    return;
  }
  writeEnd = pipe_[1];
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &CloseOnSignals::close);
  Handle(&WriteSignal);
}

CloseOnSignals::~CloseOnSignals() {
  if (notifier_ == nullptr) return;
  Handle(SIG_DFL);
  writeEnd = -1;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
}

void CloseOnSignals::close() {
  // From now on a signal has its default effect: should closing hang, a
  // second one still ends the program.
  Handle(SIG_DFL);
  notifier_->setEnabled(false);
  window_.close();
  // Also ends the loop of any dialog open now, which the window's closing
  // does not; the program then leaves main as after a close.
  QCoreApplication::exit(0);
}

}  // namespace app
