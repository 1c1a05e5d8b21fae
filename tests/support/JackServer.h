#pragma once

#include <jack/jack.h>
#include <unistd.h>

#include <QStandardPaths>
#include <atomic>
#include <string>

#include "tests/support/Process.h"

namespace testing_support {

// A JACK server of the test's own, `jackd -d dummy` under a name no other test
// uses. While it lives, JACK_DEFAULT_SERVER names it and JACK_NO_START_SERVER
// is set, so every JACK client of the process meets it.
class JackServer {
 public:
  struct Options {
    int rate = 48000;
    int period = 64;
    bool realtime = false;  // cleared where the machine refuses it
  };
  JackServer() : JackServer(Options{}) {}
  explicit JackServer(Options options) : options_(options) {
    static std::atomic<int> servers{0};
    name_ = "zt" + std::to_string(getpid()) + "_" + std::to_string(servers++);
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    jack_set_error_function([](const char*) {});  // its complaints while the server starts
    // JACK keeps at most eight servers on a machine: while other tests hold them all, try again.
    WaitFor([&] { return start(options.realtime) || (options.realtime && start(false)); },
            std::chrono::seconds(30), std::chrono::milliseconds(100));
  }
  ~JackServer() { stop(); }
  static bool Installed() { return !QStandardPaths::findExecutable("jackd").isEmpty(); }
  bool ready() const { return ready_; }
  const Options& options() const { return options_; }
  // Stops the server now, as if it had gone away under the program.
  void stop() {
    Stop(process_);
    ready_ = false;
  }

 private:
  bool start(bool realtime) {
    stop();
    options_.realtime = realtime;
    Start(process_, "jackd",
          {"-n", QString::fromStdString(name_), realtime ? "-R" : "--no-realtime", "-d", "dummy", "-r",
           QString::number(options_.rate), "-p", QString::number(options_.period)});
    // A client of our own answers sooner than jack_wait, which polls once a second.
    // Not too often: a client opening while the server sets up its shared memory can crash.
    WaitFor(
        [&] {
          jack_client_t* probe = jack_client_open("zelmora-probe", JackNoStartServer, nullptr);
          if (probe != nullptr) jack_client_close(probe);
          return (ready_ = probe != nullptr) || process_.waitForFinished(0);
        },
        std::chrono::seconds(10), std::chrono::milliseconds(20));
    return ready_;
  }

  Options options_;
  std::string name_;
  QProcess process_;
  bool ready_ = false;
};

}  // namespace testing_support
