#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace testing_support {

// A JACK MIDI destination of the tests' own, standing in for a synthesizer: one
// input port that records every event in order of arrival, and a count of the
// server's xruns. It meets the server JackServer set up.
class JackMidiReceiver {
 public:
  struct Event {
    std::uint8_t size = 0;
    std::array<std::uint8_t, 3> bytes{};         // the first `size` bytes of the message
    std::chrono::steady_clock::time_point seen;  // when the process callback read it
    std::vector<std::uint8_t> message() const { return {bytes.begin(), bytes.begin() + size}; }
  };

  explicit JackMidiReceiver(const std::string& client = "zelmora-receiver",
                            const std::string& port = "midi_in", std::size_t capacity = 1 << 18)
      : events_(capacity) {
    const auto options = static_cast<jack_options_t>(JackNoStartServer | JackUseExactName);
    if ((client_ = jack_client_open(client.c_str(), options, nullptr)) == nullptr) return;
    port_ = jack_port_register(client_, port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(
        client_, [](jack_nframes_t n, void* self) { return Self(self)->process(n); }, this);
    jack_set_xrun_callback(
        client_, [](void* self) { return ++Self(self)->xruns_, 0; }, this);
    if (port_ == nullptr || jack_activate(client_) != 0) close();
  }
  ~JackMidiReceiver() { close(); }
  // Closes the client now; what it received stays readable.
  void close() {
    if (client_ != nullptr) jack_client_close(client_);
    client_ = nullptr;
    port_ = nullptr;
  }

  bool ready() const { return port_ != nullptr; }
  int connections() const { return ready() ? jack_port_connected(port_) : 0; }
  bool waitForConnections(int count, std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return connections() == count; }, timeout);
  }
  std::uint32_t xruns() const { return xruns_; }
  std::size_t eventCount() const { return count_.load(std::memory_order_acquire); }
  const Event& event(std::size_t index) const { return events_[index]; }
  bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return eventCount() >= count; }, timeout);
  }
  // Waits until no event has arrived for `quiet`, or `timeout` passed.
  void waitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const {
    std::size_t seen = eventCount();
    auto changed = std::chrono::steady_clock::now();
    WaitFor(
        [&] {
          return seen != eventCount()
                     ? (seen = eventCount(), changed = std::chrono::steady_clock::now(), false)
                     : std::chrono::steady_clock::now() - changed > quiet;
        },
        timeout);
  }
  // Index of the first event from `from` on with this status and first data byte, or -1.
  long findMessage(std::size_t from, std::uint8_t status, std::uint8_t data1) const {
    const auto end = events_.begin() + eventCount();
    const auto found = std::find_if(events_.begin() + from, end, [&](const Event& e) {
      return e.size >= 2 && e.bytes[0] == status && e.bytes[1] == data1;
    });
    return found == end ? -1 : found - events_.begin();
  }
  long waitForMessage(std::size_t from, std::uint8_t status, std::uint8_t data1,
                      std::chrono::milliseconds timeout) const {
    long found = -1;
    WaitFor([&] { return (found = findMessage(from, status, data1)) >= 0; }, timeout);
    return found;
  }
  // The note story a synthesizer hears from event `from` on: every Note On, and
  // each Note Off (or Note On at velocity 0) that ends a sounding note. The
  // notes (channel, key) still sounding at the end go to `left`.
  std::vector<std::vector<std::uint8_t>> story(std::size_t from = 0,
                                               std::set<std::pair<int, int>>* left = nullptr) const {
    std::vector<std::vector<std::uint8_t>> out;
    std::set<std::pair<int, int>> notes;
    for (std::size_t i = from; i < eventCount(); ++i) {
      const Event& e = events_[i];
      const std::pair<int, int> note{e.bytes[0] & 15, e.bytes[1]};
      const bool on = (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] != 0;
      if (e.size == 3 && (on ? notes.insert(note), true : (e.bytes[0] & 0xE0) == 0x80 && notes.erase(note))) {
        out.push_back(e.message());
      }
    }
    if (left != nullptr) *left = notes;
    return out;
  }
  std::set<std::pair<int, int>> soundingNotes() const {
    std::set<std::pair<int, int>> notes;
    story(0, &notes);
    return notes;
  }

 private:
  static JackMidiReceiver* Self(void* self) { return static_cast<JackMidiReceiver*>(self); }
  // Realtime thread: no allocation, no locks.
  int process(jack_nframes_t frames) {
    const auto seen = std::chrono::steady_clock::now();
    void* buffer = jack_port_get_buffer(port_, frames);
    std::size_t next = count_.load(std::memory_order_relaxed);
    jack_midi_event_t in{};
    for (std::uint32_t i = 0; jack_midi_event_get(&in, buffer, i) == 0; ++i) {
      if (next == events_.size()) break;  // full: the test has what it can count
      Event& out = events_[next++];
      out.size = static_cast<std::uint8_t>(std::min<std::size_t>(in.size, out.bytes.size()));
      std::copy(in.buffer, in.buffer + out.size, out.bytes.begin());
      out.seen = seen;
    }
    count_.store(next, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::vector<Event> events_;  // written by the process callback only, read up to count_
  std::atomic<std::size_t> count_{0};
  std::atomic<std::uint32_t> xruns_{0};
};

}  // namespace testing_support
