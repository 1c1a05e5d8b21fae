#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

// A program the test starts and always stops again: on destruction it gets
// SIGTERM, then SIGKILL if it has not exited within the grace time. It is also
// told to die with the test process, should the test crash.
class ChildProcess {
 public:
  // Starts `argv` (argv[0] looked up on PATH) with `extraEnv` ("NAME=value")
  // added to the test's environment. Its output goes to `logFile` when given.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {},
               const std::string& logFile = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool running();
  // SIGTERM, wait up to `grace`, then SIGKILL. Returns the exit status as waitpid gives it.
  int stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

 private:
  pid_t pid_ = -1;
  int status_ = 0;
};

// Whether `program` is found on PATH.
bool OnPath(const std::string& program);

}  // namespace testing_support
