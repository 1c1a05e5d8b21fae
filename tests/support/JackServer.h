#pragma once

#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"

namespace testing_support {

// A JACK server of the test's own: `jackd --no-realtime -d dummy`, under a
// name no other test uses. While it lives, JACK_DEFAULT_SERVER names it and
// JACK_NO_START_SERVER is set, so every JACK client of the process meets it.
// Stopped (SIGTERM, then a few seconds' grace) on destruction.
class JackServer {
 public:
  struct Options {
    int rate = 48000;
    int period = 64;
    bool realtime = false;
  };
  JackServer() : JackServer(Options{}) {}
  explicit JackServer(Options options);
  ~JackServer();

  // Whether jackd is installed here at all; tests skip (with this reason) when not.
  static bool Installed();
  // True once the server answers a client; false if it did not within the time.
  bool ready() const { return ready_; }
  const std::string& name() const { return name_; }
  // The options it runs with: `realtime` is cleared when the machine refused it.
  const Options& options() const { return options_; }
  // Stops the server now, as if it had gone away under the program.
  void stop();

 private:
  void start();

  Options options_;
  std::string name_;
  std::unique_ptr<ChildProcess> process_;
  bool ready_ = false;
};

}  // namespace testing_support
