#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace midi {

// A bounded queue between exactly one producing thread and one consuming
// thread, without locks or allocation after construction, so the consumer may
// be a realtime audio callback. The consumer can look at the oldest element
// and leave it queued (front() without pop()), which is how an event that did
// not fit into this cycle waits for the next.
template <typename T>
class SpscRing {
  static_assert(std::is_trivially_copyable_v<T>, "elements are copied by the realtime thread");

 public:
  // Holds up to `capacity` elements; rounded up to a power of two.
  explicit SpscRing(std::size_t capacity)
      : mask_(RoundUp(capacity) - 1), slots_(std::make_unique<T[]>(mask_ + 1)) {}

  std::size_t capacity() const { return mask_ + 1; }

  // Producer only. False, and nothing queued, when the ring is full.
  bool push(const T& value) {
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) > mask_) return false;
    slots_[tail & mask_] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer only: the oldest element, or nullptr when the ring is empty. It
  // stays queued until pop().
  const T* front() const {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[head & mask_];
  }

  // Consumer only: drops the element front() returned.
  void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

  // Either side; exact only when the other side is idle.
  bool empty() const { return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire); }

 private:
  static std::size_t RoundUp(std::size_t n) {
    std::size_t size = 1;
    while (size < n) size <<= 1;
    return size;
  }

  // Counters run freely and wrap; only their difference and their low bits matter.
  const std::size_t mask_;
  std::unique_ptr<T[]> slots_;
  alignas(64) std::atomic<std::size_t> head_{0};  // next to read, written by the consumer
  alignas(64) std::atomic<std::size_t> tail_{0};  // next to write, written by the producer
};

}  // namespace midi
