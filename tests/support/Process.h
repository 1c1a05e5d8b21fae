#pragma once

#include <sys/prctl.h>

#include <QProcess>
#include <chrono>
#include <csignal>
#include <thread>

namespace testing_support {

// Polls `condition` every `poll` until it holds or `timeout` has passed; whether it held.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout,
             std::chrono::microseconds poll = std::chrono::microseconds(200)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}

// Starts a server or program the test needs; it dies with the test should the
// test crash. Its standard error goes to `log`, its output nowhere unless read.
inline void Start(QProcess& process, const QString& program, const QStringList& arguments,
                  const QString& log = QProcess::nullDevice(), bool readOutput = false) {
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  if (!readOutput) process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(log);
  process.start(program, arguments);
  process.waitForStarted();
}

// SIGTERM, as a session's end would, and a few seconds' grace: a jackd killed
// outright keeps its slot in JACK's registry of servers.
inline void Stop(QProcess& process) {
  process.terminate();
  if (!process.waitForFinished(5000)) process.kill();
  process.waitForFinished();
}

}  // namespace testing_support
