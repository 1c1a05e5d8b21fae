#pragma once

#include <semaphore.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>

namespace midi {

// Wakes a thread that waits for something the realtime thread does, such as
// a port that closes once its last messages have gone out. The realtime side
// only posts a semaphore, and only while someone waits: sem_post is safe in
// a signal handler, so it is in a process callback.
class CycleSignal {
 public:
  CycleSignal() { sem_init(&posted_, 0, 0); }
  ~CycleSignal() { sem_destroy(&posted_); }
  CycleSignal(const CycleSignal&) = delete;
  CycleSignal& operator=(const CycleSignal&) = delete;

  // Realtime thread, after each cycle.
  void post() noexcept {
    if (waiting_.load(std::memory_order_seq_cst)) sem_post(&posted_);
  }

  // Waits until `done()` holds, asking again after every post, for at most
  // `patience`. Whether it held. One waiting thread at a time.
  template <typename Done>
  bool waitUntil(Done&& done, std::chrono::milliseconds patience) {
    waiting_.store(true, std::memory_order_seq_cst);
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto ns = deadline.tv_nsec + std::chrono::nanoseconds(patience).count();
    deadline.tv_sec += static_cast<time_t>(ns / 1000000000);
    deadline.tv_nsec = static_cast<long>(ns % 1000000000);
    bool held = done();
    while (!held && (sem_clockwait(&posted_, CLOCK_MONOTONIC, &deadline) == 0 || errno != ETIMEDOUT)) {
      held = done();
    }
    waiting_.store(false, std::memory_order_seq_cst);
    return held || done();
  }

 private:
  sem_t posted_{};
  std::atomic<bool> waiting_{false};
};

}  // namespace midi
