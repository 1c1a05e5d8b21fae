#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// A JACK MIDI destination of the tests' own, standing in for a synthesizer:
// one input port that records every event it receives, keeps the notes
// sounding as a synthesizer would (a Note On starts its note, a Note Off or
// a Note On with velocity 0 ends it, however many Note Ons came before), and
// counts the server's xruns. It meets the server JackServer set up.
class JackMidiReceiver {
 public:
  struct Event {
    std::uint8_t size = 0;
    std::array<std::uint8_t, 3> bytes{};  // the first `size` bytes of the message
    jack_nframes_t frame = 0;             // the event's frame time in the server's count
    // steady_clock (CLOCK_MONOTONIC) when the process callback read it. The
    // server's own clock (jack_get_time) runs on CLOCK_MONOTONIC_RAW: not mixed.
    std::chrono::steady_clock::time_point seen;
    std::vector<std::uint8_t> message() const { return {bytes.begin(), bytes.begin() + size}; }
  };

  explicit JackMidiReceiver(const std::string& clientName = "zelmora-receiver",
                            const std::string& portName = "midi_in", std::size_t capacity = 1 << 18);
  ~JackMidiReceiver();
  JackMidiReceiver(const JackMidiReceiver&) = delete;
  JackMidiReceiver& operator=(const JackMidiReceiver&) = delete;

  // True once the client is active with its port registered, until close().
  bool ready() const { return port_ != nullptr; }
  // The port's full "client:port" name.
  const std::string& portName() const { return name_; }
  // Number of ports connected to ours. The server applies a new connection
  // at the start of a cycle: wait for it.
  int connections() const;
  bool waitForConnections(int count, std::chrono::milliseconds timeout) const;

  std::size_t eventCount() const { return count_.load(std::memory_order_acquire); }
  // The events so far, in order of arrival. Events past the capacity are counted in dropped().
  std::vector<Event> events() const;
  Event event(std::size_t index) const { return events_[index]; }
  std::size_t dropped() const { return dropped_.load(); }
  // Waits (polling, up to `timeout`) until at least `count` events have arrived.
  bool waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const;
  // Index of the first event at or after `from` whose status and first data
  // byte are `status` and `data1`, or -1; waitForMessage waits up to `timeout` for one.
  long findMessage(std::size_t from, std::uint8_t status, std::uint8_t data1) const;
  long waitForMessage(std::size_t from, std::uint8_t status, std::uint8_t data1,
                      std::chrono::milliseconds timeout) const;
  // Waits until no event has arrived for `quiet`, or `timeout` passed.
  void waitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const;

  bool sounding(int channel, int note) const { return sounding_[Key(channel, note)].load() != 0; }
  int soundingCount() const;
  std::uint32_t xruns() const { return xruns_.load(); }
  bool serverGone() const { return serverGone_.load(); }
  // Closes the client now; the receiver stays as it was for reading.
  void close();

 private:
  static std::size_t Key(int channel, int note) { return static_cast<std::size_t>((channel & 15) * 128 + (note & 127)); }
  static int Process(jack_nframes_t frames, void* self);
  static int Xrun(void* self);
  static void Shutdown(void* self);
  void process(jack_nframes_t frames);

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::string name_;
  // Written by the process callback only, read up to count_ by anyone.
  std::unique_ptr<Event[]> events_;
  std::size_t capacity_;
  std::atomic<std::size_t> count_{0};
  std::atomic<std::size_t> dropped_{0};
  std::array<std::atomic<std::uint8_t>, 16 * 128> sounding_{};
  std::atomic<std::uint32_t> xruns_{0};
  std::atomic<bool> serverGone_{false};
};

}  // namespace testing_support
