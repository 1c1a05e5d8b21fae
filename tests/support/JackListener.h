#pragma once

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/Servers.h"

namespace testing_support {

// A JACK client of the tests' own that stands where a synthesizer or a sound card would: a MIDI input that
// records every event in order of arrival, an audio input that keeps its last 2.7 s (at 48 kHz), and a count
// of the server's xruns. Needs a running server (see JackServer); never starts one.
class JackListener {
 public:
  struct Event {
    std::uint8_t size = 0;
    std::array<std::uint8_t, 3> bytes{};         // the first `size` bytes of the message
    std::chrono::steady_clock::time_point seen;  // when the process callback read it
    std::vector<std::uint8_t> message() const { return {bytes.begin(), bytes.begin() + size}; }
  };
  using Notes = std::set<std::pair<int, int>>;  // (channel, key)
  // Sees each period's audio on the process thread, as it arrives.
  using AudioWatch = std::function<void(const float* samples, jack_nframes_t frames)>;

  // `speakers`: the audio input poses as a sound card's playback port.
  explicit JackListener(const std::string& client = "zelmora-receiver", const std::string& port = "midi_in",
                        AudioWatch watch = {}, bool speakers = false)
      : watch_(std::move(watch)) {
    const auto options = static_cast<jack_options_t>(JackNoStartServer | JackUseExactName);
    if ((client_ = jack_client_open(client.c_str(), options, nullptr)) == nullptr) return;
    midi_ = jack_port_register(client_, port.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    audio_ = jack_port_register(client_, "audio_in", JACK_DEFAULT_AUDIO_TYPE,
                                JackPortIsInput | (speakers ? JackPortIsPhysical : 0), 0);
    jack_set_process_callback(
        client_, [](jack_nframes_t n, void* self) { return static_cast<JackListener*>(self)->process(n); },
        this);
    jack_set_xrun_callback(
        client_, [](void* self) { return ++static_cast<JackListener*>(self)->xruns_, 0; }, this);
    if (!midi_ || !audio_ || jack_activate(client_) != 0) close();
  }
  ~JackListener() { close(); }
  // Closes the client now; what it received stays readable.
  void close() {
    if (client_ == nullptr) return;
    // libjack stops reading the server's notifications before it asks the server to close the client. Xrun
    // notices sent in between fill the socket, and the server then blocks writing them while the client waits
    // for its answer: both hang. So the xrun callback goes first, and a request answered after that (the
    // ports' unregistration) proves that no notice is still on its way.
    jack_deactivate(client_);
    jack_set_xrun_callback(client_, nullptr, nullptr);
    for (jack_port_t* port : {std::exchange(midi_, nullptr), std::exchange(audio_, nullptr)})
      if (port != nullptr) jack_port_unregister(client_, port);
    jack_client_close(std::exchange(client_, nullptr));
  }
  bool ready() const { return client_ != nullptr; }
  std::uint32_t xruns() const { return xruns_; }

  bool waitForConnection(std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return jack_port_connected(midi_) > 0; }, timeout);
  }
  std::size_t eventCount() const { return count_.load(std::memory_order_acquire); }
  const Event& event(std::size_t index) const { return events_[index]; }
  // Waits until no event has arrived for `quiet`, or `timeout` passed.
  void waitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const {
    WaitFor(
        [&, seen = eventCount() + 1]() mutable {
          const std::size_t now = eventCount();
          return std::exchange(seen, now) == now;
        },
        timeout, quiet);
  }
  // The note story a synthesizer hears from event `from` on: every Note On, and each Note Off (or Note On at
  // velocity 0) that ends a sounding note. The notes still sounding at the end go to `left`.
  std::vector<std::vector<std::uint8_t>> story(std::size_t from = 0, Notes* left = nullptr) const {
    std::vector<std::vector<std::uint8_t>> out;
    Notes notes;
    for (std::size_t i = from; i < eventCount(); ++i) {
      const Event& e = events_[i];
      const std::pair<int, int> note{e.bytes[0] & 15, e.bytes[1]};
      const bool on = (e.bytes[0] & 0xF0) == 0x90 && e.bytes[2] != 0;
      if (e.size == 3 && (on ? notes.insert(note), true : (e.bytes[0] & 0xE0) == 0x80 && notes.erase(note)))
        out.push_back(e.message());
    }
    if (left != nullptr) *left = notes;
    return out;
  }
  Notes soundingNotes() const {
    Notes notes;
    story(0, &notes);
    return notes;
  }

  // Audio: connects every audio output of JACK client `source` to the input, which mixes them; how many were.
  int connectFrom(const std::string& source) {
    int connected = 0;
    if (const char** ports = jack_get_ports(client_, ("^" + source + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsOutput)) {
      for (std::size_t i = 0; ports[i] != nullptr; ++i)
        connected += jack_connect(client_, ports[i], jack_port_name(audio_)) == 0;
      jack_free(ports);
    }
    return connected;
  }
  // The ports that port `name` is connected to.
  std::vector<std::string> connections(const std::string& name) const {
    std::vector<std::string> names;
    if (const char** ports =
            jack_port_get_all_connections(client_, jack_port_by_name(client_, name.c_str()))) {
      for (std::size_t i = 0; ports[i] != nullptr; ++i) names.emplace_back(ports[i]);
      jack_free(ports);
    }
    return names;
  }
  // The samples of the next `frames` frames, or nothing when they did not arrive within 20 s (the server
  // stalled or went away). The wait counts audio, not wall time: a server without realtime runs slow when
  // busy.
  std::optional<std::vector<float>> record(jack_nframes_t frames) const {
    const std::uint64_t first = written_.load();
    if (frames > kFrames ||
        !WaitFor([&] { return written_.load() >= first + frames; }, std::chrono::seconds(20)))
      return {};
    std::vector<float> samples(frames);
    for (jack_nframes_t i = 0; i < frames; ++i) samples[i] = samples_[(first + i) % kFrames];
    return samples;
  }
  // The RMS of the next `frames` frames, or nothing as for record().
  std::optional<double> level(jack_nframes_t frames) const {
    const auto samples = record(frames);
    if (!samples) return {};
    return std::sqrt(std::inner_product(samples->begin(), samples->end(), samples->begin(), 0.0) / frames);
  }
  // Measures blocks of `block` frames, for at most `within` frames, until one's RMS is above (`loud`) or
  // below `rms`; whether one was.
  bool waitForLevel(bool loud, double rms, jack_nframes_t block, jack_nframes_t within) const {
    for (jack_nframes_t heard = 0; heard < within; heard += block) {
      const auto measured = level(block);
      if (!measured) return false;
      if ((*measured > rms) == loud) return true;
    }
    return false;
  }

 private:
  static constexpr std::uint64_t kFrames = 1 << 17;

  // Realtime thread: no allocation, no locks.
  int process(jack_nframes_t frames) {
    const auto seen = std::chrono::steady_clock::now();
    void* buffer = jack_port_get_buffer(midi_, frames);
    std::size_t next = count_.load(std::memory_order_relaxed);
    jack_midi_event_t in{};
    for (std::uint32_t i = 0; next < events_.size() && jack_midi_event_get(&in, buffer, i) == 0; ++i) {
      Event& out = events_[next++];
      out.size = static_cast<std::uint8_t>(std::min<std::size_t>(in.size, out.bytes.size()));
      std::copy(in.buffer, in.buffer + out.size, out.bytes.begin());
      out.seen = seen;
    }
    count_.store(next, std::memory_order_release);

    const auto* samples = static_cast<const float*>(jack_port_get_buffer(audio_, frames));
    if (watch_) watch_(samples, frames);
    const std::uint64_t first = written_.load(std::memory_order_relaxed);
    for (jack_nframes_t i = 0; i < frames; ++i) samples_[(first + i) % kFrames] = samples[i];
    written_.store(first + frames, std::memory_order_release);
    return 0;
  }

  AudioWatch watch_;
  jack_client_t* client_ = nullptr;
  jack_port_t* midi_ = nullptr;
  jack_port_t* audio_ = nullptr;
  std::vector<Event> events_ =
      std::vector<Event>(1 << 18);  // written by the process callback only, read up to count_
  std::atomic<std::size_t> count_{0};
  std::atomic<std::uint32_t> xruns_{0};
  std::vector<float> samples_ = std::vector<float>(kFrames);
  std::atomic<std::uint64_t> written_{0};  // frames so far
};

// While it lives, no server runs under JACK_DEFAULT_SERVER and libjack may start one (JACK_NO_START_SERVER is
// unset): the command that ~/.jackdrc names, in a HOME of the trap's own, then leaves a mark.
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
