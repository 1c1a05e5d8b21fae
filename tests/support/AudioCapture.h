#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/Process.h"

namespace testing_support {

// A JACK client of the tests' own that listens: two audio inputs whose level it
// measures period by period, and which can watch for the first sample of a
// sound. Needs a running server (see JackServer); never starts one.
class AudioCapture {
 public:
  struct Level {
    double rms = 0;  // over both inputs
    float peak = 0;  // largest magnitude on either input
  };
  // The first sample above a threshold.
  struct Onset {
    jack_nframes_t offset = 0;  // its place in the period that carried it
    jack_time_t seen = 0;       // jack_get_time() when this client's process call began
  };

  explicit AudioCapture(const std::string& name = "zelmora-capture") {
    if ((client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr)) == nullptr) return;
    for (std::size_t i = 0; i < inputs_.size(); ++i) {
      const std::string port = "in_" + std::to_string(i + 1);
      inputs_[i] = jack_port_register(client_, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
    jack_set_process_callback(
        client_, [](jack_nframes_t n, void* self) { return static_cast<AudioCapture*>(self)->process(n); },
        this);
    if (!inputs_[0] || !inputs_[1] || jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  ~AudioCapture() {
    if (client_ != nullptr) jack_client_close(client_);
  }

  bool ready() const { return client_ != nullptr; }
  jack_nframes_t period() const { return jack_get_buffer_size(client_); }
  jack_nframes_t sampleRate() const { return jack_get_sample_rate(client_); }
  // Connects the audio outputs of JACK client `source` to the inputs; how many were.
  int connectFrom(const std::string& source) {
    int connected = 0;
    if (const char** ports = jack_get_ports(client_, ("^" + source + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                            JackPortIsOutput)) {
      for (std::size_t i = 0; ports[i] != nullptr && i < inputs_.size(); ++i) {
        connected += jack_connect(client_, ports[i], jack_port_name(inputs_[i])) == 0;
      }
      jack_free(ports);
    }
    return connected;
  }
  // The level of the next `frames` frames, or nothing when they did not arrive
  // within `timeout` (the server stalled or went away). The waits count audio,
  // not wall time: a server without realtime scheduling runs slow when busy.
  std::optional<Level> measure(jack_nframes_t frames,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    std::uint64_t next = written_.load(std::memory_order_acquire);
    jack_nframes_t counted = 0;
    double sumOfSquares = 0;
    Level level;
    while (counted < frames) {
      if (!WaitFor([&] { return next != written_.load(std::memory_order_acquire); }, timeout)) return {};
      const Block& block = blocks_[next++ % blocks_.size()];
      counted += block.frames;
      sumOfSquares += block.sumOfSquares;
      level.peak = std::max(level.peak, block.peak);
    }
    level.rms = std::sqrt(sumOfSquares / (2.0 * counted));
    return level;
  }
  // The samples of the first input over the next `frames` frames (at most 65,536),
  // or nothing when they did not arrive within `timeout`.
  std::optional<std::vector<float>> record(jack_nframes_t frames,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const std::uint64_t first = sampled_.load(std::memory_order_acquire);
    if (frames > samples_.size() || !WaitFor([&] { return sampled_.load() >= first + frames; }, timeout))
      return {};
    std::vector<float> samples(frames);
    for (jack_nframes_t i = 0; i < frames; ++i) samples[i] = samples_[(first + i) % samples_.size()];
    return samples;
  }
  // Measures blocks of `block` frames, for at most `within` frames, until one's
  // RMS is below (or, for waitForSound, above) `rms`; whether one was.
  bool waitForSilence(double rms, jack_nframes_t block, jack_nframes_t within) {
    return waitForLevel(false, rms, block, within);
  }
  bool waitForSound(double rms, jack_nframes_t block, jack_nframes_t within) {
    return waitForLevel(true, rms, block, within);
  }
  // Watches for the first sample above `threshold` from the next period on.
  void armOnset(float threshold) {
    onsetFound_ = false;
    onsetThreshold_ = threshold;
  }
  std::optional<Onset> waitForOnset(std::chrono::milliseconds timeout) {
    if (WaitFor([&] { return onsetFound_.load(); }, timeout)) return onset_;
    onsetThreshold_ = 0;
    return {};
  }

 private:
  struct Block {
    jack_nframes_t frames = 0;
    double sumOfSquares = 0;
    float peak = 0;
  };

  bool waitForLevel(bool sound, double rms, jack_nframes_t block, jack_nframes_t within) {
    for (jack_nframes_t heard = 0; heard < within; heard += block) {
      const auto level = measure(block);
      if (!level) return false;
      if ((level->rms > rms) == sound) return true;
    }
    return false;
  }
  // Realtime thread: no allocation, no locks.
  int process(jack_nframes_t frames) {
    const jack_time_t now = jack_get_time();
    const float threshold = onsetThreshold_;
    Block block{frames, 0, 0};
    std::optional<jack_nframes_t> onset;
    const std::uint64_t sampled = sampled_.load(std::memory_order_relaxed);
    for (auto* port : inputs_) {
      const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
      for (jack_nframes_t i = 0; port == inputs_[0] && i < frames; ++i) {
        samples_[(sampled + i) % samples_.size()] = samples[i];
      }
      for (jack_nframes_t i = 0; i < frames; ++i) {
        block.sumOfSquares += static_cast<double>(samples[i]) * samples[i];
        block.peak = std::max(block.peak, std::fabs(samples[i]));
        if (threshold > 0 && std::fabs(samples[i]) > threshold && (!onset || i < *onset)) onset = i;
      }
    }
    if (onset) {
      onsetThreshold_ = 0;
      onset_ = {*onset, now};
      onsetFound_ = true;
    }
    const std::uint64_t n = written_.load(std::memory_order_relaxed);
    blocks_[n % blocks_.size()] = block;
    written_.store(n + 1, std::memory_order_release);
    sampled_.store(sampled + frames, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  std::array<jack_port_t*, 2> inputs_{};
  std::array<Block, 8192> blocks_{};  // 11 s of 64-frame periods
  std::atomic<std::uint64_t> written_{0};
  std::array<float, 1 << 16> samples_{};  // the first input's last 1.4 s at 48 kHz
  std::atomic<std::uint64_t> sampled_{0};
  std::atomic<float> onsetThreshold_{0};
  std::atomic<bool> onsetFound_{false};
  Onset onset_;  // written by the process thread before onsetFound_ is set
};

}  // namespace testing_support
