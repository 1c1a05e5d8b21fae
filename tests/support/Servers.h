#pragma once

#include <jack/jack.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <string>
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

inline bool Installed(const char* program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

// Starts a server or program the test needs; it dies with the test should the test crash. Its standard error
// goes to `log`, its output nowhere unless read.
inline void Start(QProcess& process, const QString& program, const QStringList& arguments,
                  const QString& log = QProcess::nullDevice(), bool readOutput = false) {
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
  if (!readOutput) process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(log);
  process.start(program, arguments);
  process.waitForStarted();
}

// SIGTERM, as a session's end would, and a few seconds' grace: a jackd killed outright keeps its slot in
// JACK's registry of servers.
inline void Stop(QProcess& process) {
  process.terminate();
  if (!process.waitForFinished(5000)) process.kill();
  process.waitForFinished();
}

// A server the test runs, stopped on destruction.
class Server {
 public:
  ~Server() { stop(); }
  bool ready() const { return ready_; }
  // Stops the server now, as if it had gone away under the program.
  void stop() { Stop(process_), ready_ = false; }

 protected:
  QProcess process_;
  bool ready_ = false;
};

// An X server of the test's own: Xvfb on a free display, 1280x800x24. While it lives DISPLAY names it and
// QT_QPA_PLATFORM is xcb.
class XServer : public Server {
 public:
  explicit XServer(int repeatDelayMs = 660, int repeatIntervalMs = 40) {
    // Xvfb picks a free display and writes its number once it accepts connections.
    Start(process_, "Xvfb",
          {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-ardelay",
           QString::number(repeatDelayMs), "-arinterval", QString::number(repeatIntervalMs)},
          QProcess::nullDevice(), true);
    if (!process_.waitForReadyRead(10000)) return;
    setenv("DISPLAY", (":" + process_.readLine().trimmed()).constData(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    ready_ = true;
  }
};

// A JACK server of the test's own, `jackd -d dummy` under a name no other test uses. While it lives,
// JACK_DEFAULT_SERVER names it and JACK_NO_START_SERVER is set, so every JACK client of the process meets it.
class JackServer : public Server {
 public:
  // Realtime scheduling is given up where the machine refuses it. `playback`: its speakers' channels.
  explicit JackServer(bool realtime, int period = 64, int rate = 48000, int playback = 2) {
    static std::atomic<int> servers{0};
    const std::string name = "zt" + std::to_string(getpid()) + "_" + std::to_string(servers++);
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    jack_set_error_function([](const char*) {});  // its complaints while the server starts
    start_ = [this, name, period, rate, playback](bool realtime) {
      stop();
      realtime_ = realtime;
      Start(process_, "jackd",
            {"-n", QString::fromStdString(name), realtime ? "-R" : "--no-realtime", "-d", "dummy", "-r",
             QString::number(rate), "-p", QString::number(period), "-P", QString::number(playback)});
      // A client of our own answers sooner than jack_wait, which polls once a second. Not too often: a client
      // opening while the server sets up its shared memory can crash.
      WaitFor(
          [&] {
            jack_client_t* probe = jack_client_open("zelmora-probe", JackNoStartServer, nullptr);
            if (probe != nullptr) jack_client_close(probe);
            return (ready_ = probe != nullptr) || process_.waitForFinished(0);
          },
          std::chrono::seconds(10), std::chrono::milliseconds(20));
      return ready_;
    };
    // JACK keeps at most eight servers on a machine: while other tests hold them all, try again.
    WaitFor([&] { return start_(realtime) || (realtime && start_(false)); }, std::chrono::seconds(30),
            std::chrono::milliseconds(100));
  }
  bool realtime() const { return realtime_; }
  // Starts it again under its name, as a user would after stopping it; while other tests hold all of JACK's
  // server slots, tries again.
  bool restart() {
    return WaitFor([&] { return start_(realtime_); }, std::chrono::seconds(30),
                   std::chrono::milliseconds(100));
  }

 private:
  std::function<bool(bool)> start_;
  bool realtime_ = false;
};

}  // namespace testing_support
