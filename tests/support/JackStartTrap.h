#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace testing_support {

// For the object's life no JACK server runs under JACK_DEFAULT_SERVER and
// JACK_NO_START_SERVER is unset, so only a client's own care keeps libjack
// from starting one: the command that ~/.jackdrc names, in a HOME of the
// trap's own, then leaves a mark.
class JackStartTrap {
 public:
  JackStartTrap() {
    std::filesystem::create_directories(home_);
    std::ofstream(home_ / "jackd") << "#!/bin/sh\ntouch '" << (home_ / "started").string() << "'\nexit 1\n";
    std::filesystem::permissions(home_ / "jackd", std::filesystem::perms::owner_all);
    std::ofstream(home_ / ".jackdrc") << (home_ / "jackd").string() << " -d dummy\n";
    setenv("HOME", home_.c_str(), 1);
    setenv("JACK_DEFAULT_SERVER", ("zelmora-none-" + std::to_string(getpid())).c_str(), 1);
    unsetenv("JACK_NO_START_SERVER");
  }
  ~JackStartTrap() {
    setenv("HOME", home0_.c_str(), 1);
    std::filesystem::remove_all(home_);
  }
  // Whether a client tried to start a server.
  bool sprung() const { return std::filesystem::exists(home_ / "started"); }

 private:
  const std::string home0_ = std::getenv("HOME") ? std::getenv("HOME") : "";
  const std::filesystem::path home_ =
      std::filesystem::temp_directory_path() / ("zelmora-jack-trap-" + std::to_string(getpid()));
};

}  // namespace testing_support
