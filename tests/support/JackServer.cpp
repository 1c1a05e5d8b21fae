#include "tests/support/JackServer.h"

#include <jack/jack.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace testing_support {

bool JackServer::Installed() { return OnPath("jackd"); }

JackServer::JackServer(Options options) : options_(options) {
  static std::atomic<int> counter{0};
  name_ = "zt" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  setenv("JACK_NO_START_SERVER", "1", 1);
  setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  // Its complaints while the server is still starting are expected.
  jack_set_error_function([](const char*) {});
  start();
  if (!ready_ && options_.realtime) {
    // Realtime scheduling is a privilege this machine may not grant.
    stop();
    options_.realtime = false;
    start();
  }
}

void JackServer::start() {
  std::vector<std::string> argv = {"jackd", "-n", name_};
  argv.push_back(options_.realtime ? "-R" : "--no-realtime");
  argv.insert(argv.end(), {"-d", "dummy", "-r", std::to_string(options_.rate), "-p",
                           std::to_string(options_.period)});
  process_ = std::make_unique<ChildProcess>(argv);

  // Poll with a client of our own: jack_wait polls only once a second.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline && process_->running()) {
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("zelmora-probe",
                                            static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                            &status, name_.c_str());
    if (probe != nullptr) {
      jack_client_close(probe);
      ready_ = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

JackServer::~JackServer() { stop(); }

void JackServer::stop() {
  if (process_) process_->stop(std::chrono::seconds(5));
  ready_ = false;
}

}  // namespace testing_support
