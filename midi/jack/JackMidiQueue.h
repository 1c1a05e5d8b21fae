#pragma once

#include <jack/ringbuffer.h>
#include <jack/types.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "midi/jack/CycleSignal.h"
#include "midi/jack/NoteLedger.h"

namespace midi {

// The messages a JACK MIDI port has yet to write, between the thread that
// sends them and the port's process callback, and the repair of what an xrun
// may have cost: the far end may have lost or doubled the messages of a
// cycle, so a Note Off goes out again for every note released, once at the
// next cycle and once more a little later. Notes still held are left alone.
class JackMidiQueue {
 public:
  // Holds up to `capacity` - 1 three-byte messages; `secondRepairFrames` is
  // how long after an xrun the second repair goes out.
  JackMidiQueue(std::size_t capacity, jack_nframes_t secondRepairFrames)
      : ring_(jack_ringbuffer_create(capacity * sizeof(Event))), secondRepairFrames_(secondRepairFrames) {}
  ~JackMidiQueue() {
    if (ring_ != nullptr) jack_ringbuffer_free(ring_);
  }
  JackMidiQueue(const JackMidiQueue&) = delete;
  JackMidiQueue& operator=(const JackMidiQueue&) = delete;

  // False when there was no memory for the queue; then it must not be used.
  bool valid() const { return ring_ != nullptr; }

  // Sending thread: queues a message of 1 to 3 bytes. False, with nothing
  // queued, when the queue is full.
  bool push(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0 || count > 3) return true;
    if (jack_ringbuffer_write_space(ring_) < sizeof(Event)) return false;
    Event event{static_cast<std::uint8_t>(count), {}};
    std::memcpy(event.bytes.data(), bytes, count);
    jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(&event), sizeof event);
    ++pushed_;
    return true;
  }

  // Sending thread, before the port closes: waits until the cycles have handed
  // on every message pushed so far and the repair of every xrun reported so
  // far, or `patience` has passed (a server that stopped calling). Whether
  // they were.
  bool drain(std::chrono::milliseconds patience) {
    return signal_.waitUntil([this] { return drained(); }, patience);
  }

  // Sending thread: waits until a message fits, or `patience` has passed.
  // Whether one does.
  bool waitForRoom(std::chrono::milliseconds patience) {
    return signal_.waitUntil([this] { return jack_ringbuffer_write_space(ring_) >= sizeof(Event); },
                             patience);
  }

  // Any thread: the server reported an xrun.
  void xrun() { xruns_.fetch_add(1, std::memory_order_release); }

  // Realtime thread, once per cycle of `frames`: hands the due repair, then
  // the waiting messages, to `write(bytes, count)`, which returns 0 when it
  // wrote the message, ENOBUFS when the cycle is full (the rest waits for
  // the next one) and any other code for a message it dropped.
  // No allocation, no locks, no system calls.
  template <typename Write>
  void cycle(jack_nframes_t frames, Write&& write) {
    handOn(frames, write);
    // What a closing sender waits for.
    repairing_.store(repairNext_ < repairCount_ || framesToSecondRepair_ > 0, std::memory_order_relaxed);
    handedOn_.store(taken_, std::memory_order_relaxed);
    xrunsSeenOut_.store(xrunsSeen_, std::memory_order_relaxed);
    published_.fetch_add(1, std::memory_order_release);
    signal_.post();
  }

 private:
  struct Event {
    std::uint8_t size;
    std::array<std::uint8_t, 3> bytes;
  };

  template <typename Write>
  void handOn(jack_nframes_t frames, Write& write) {
    scheduleRepair(frames);
    for (; repairNext_ < repairCount_; ++repairNext_) {
      const Event& event = repair_[repairNext_];
      if (write(event.bytes.data(), event.size) == ENOBUFS) return;
    }
    Event event{};
    while (jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(&event), sizeof event) == sizeof event) {
      const int written = write(event.bytes.data(), event.size);
      if (written == ENOBUFS) return;
      if (written == 0) ledger_.sent(event.bytes.data(), event.size);
      jack_ringbuffer_read_advance(ring_, sizeof event);
      ++taken_;
    }
  }

  bool drained() const {
    published_.load(std::memory_order_acquire);  // what the last cycle published
    return xrunsSeenOut_.load(std::memory_order_relaxed) == xruns_.load(std::memory_order_acquire) &&
           !repairing_.load(std::memory_order_relaxed) &&
           handedOn_.load(std::memory_order_relaxed) >= pushed_;
  }

  void scheduleRepair(jack_nframes_t frames) {
    const std::uint32_t xruns = xruns_.load(std::memory_order_acquire);
    if (xruns != xrunsSeen_) {
      xrunsSeen_ = xruns;
      queueRepair();
      framesToSecondRepair_ = secondRepairFrames_;
    } else if (framesToSecondRepair_ > 0) {
      framesToSecondRepair_ = framesToSecondRepair_ > frames ? framesToSecondRepair_ - frames : 0;
      if (framesToSecondRepair_ == 0) queueRepair();
    }
  }

  // Written ahead of the waiting messages, so that a note pressed again
  // meanwhile still ends up sounding.
  void queueRepair() {
    repairCount_ = 0;
    repairNext_ = 0;
    ledger_.forEachReleased([this](std::uint8_t status, std::uint8_t note) {
      repair_[repairCount_++] = {3, {status, note, 0}};
    });
  }

  jack_ringbuffer_t* ring_;
  std::atomic<std::uint32_t> xruns_{0};
  std::uint64_t pushed_ = 0;  // sending thread
  // Published by the realtime thread at the end of every cycle.
  std::atomic<std::uint64_t> handedOn_{0};
  std::atomic<std::uint32_t> xrunsSeenOut_{0};
  std::atomic<bool> repairing_{false};
  std::atomic<std::uint64_t> published_{0};
  CycleSignal signal_;

  // Owned by the realtime thread.
  NoteLedger ledger_;
  std::uint64_t taken_ = 0;
  std::array<Event, 16 * 128> repair_{};
  std::size_t repairCount_ = 0;
  std::size_t repairNext_ = 0;
  std::uint32_t xrunsSeen_ = 0;
  const jack_nframes_t secondRepairFrames_;
  jack_nframes_t framesToSecondRepair_ = 0;
};

}  // namespace midi
