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

// A JACK client of the tests' own that listens on two audio inputs: it keeps
// their last 2.7 s (at 48 kHz) and watches for the first sample of a sound.
// Needs a running server (see JackServer); never starts one.
class AudioCapture {
 public:
  struct Level {
    double rms = 0;  // over both inputs
    float peak = 0;  // largest magnitude on either input
  };
  struct Onset {
    jack_nframes_t offset = 0;  // the first loud sample's place in the period that carried it
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
  // The first input's samples over the next `frames` frames, or nothing when
  // they did not arrive within `timeout` (the server stalled or went away). The
  // wait counts audio, not wall time: a server without realtime runs slow when busy.
  std::optional<std::vector<float>> record(jack_nframes_t frames,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const std::uint64_t first = written_.load();
    if (!arrived(first, frames, timeout)) return {};
    std::vector<float> samples(frames);
    for (jack_nframes_t i = 0; i < frames; ++i) samples[i] = samples_[0][(first + i) % kFrames];
    return samples;
  }
  // The level of the next `frames` frames, or nothing as for record().
  std::optional<Level> measure(jack_nframes_t frames,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const std::uint64_t first = written_.load();
    if (!arrived(first, frames, timeout)) return {};
    double sumOfSquares = 0;
    Level level;
    for (const auto& input : samples_) {
      for (jack_nframes_t i = 0; i < frames; ++i) {
        const float sample = input[(first + i) % kFrames];
        sumOfSquares += static_cast<double>(sample) * sample;
        level.peak = std::max(level.peak, std::fabs(sample));
      }
    }
    level.rms = std::sqrt(sumOfSquares / (2.0 * frames));
    return level;
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
  static constexpr std::uint64_t kFrames = 1 << 17;

  bool arrived(std::uint64_t first, jack_nframes_t frames, std::chrono::milliseconds timeout) const {
    return frames <= kFrames && WaitFor([&] { return written_.load() >= first + frames; }, timeout);
  }
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
    const std::uint64_t first = written_.load(std::memory_order_relaxed);
    std::optional<jack_nframes_t> onset;
    for (std::size_t input = 0; input < inputs_.size(); ++input) {
      const auto* samples = static_cast<const float*>(jack_port_get_buffer(inputs_[input], frames));
      for (jack_nframes_t i = 0; i < frames; ++i) {
        samples_[input][(first + i) % kFrames] = samples[i];
        if (threshold > 0 && std::fabs(samples[i]) > threshold && (!onset || i < *onset)) onset = i;
      }
    }
    if (onset) {
      onsetThreshold_ = 0;
      onset_ = {*onset, now};
      onsetFound_ = true;
    }
    written_.store(first + frames, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  std::array<jack_port_t*, 2> inputs_{};
  std::array<std::vector<float>, 2> samples_{std::vector<float>(kFrames), std::vector<float>(kFrames)};
  std::atomic<std::uint64_t> written_{0};  // frames so far
  std::atomic<float> onsetThreshold_{0};
  std::atomic<bool> onsetFound_{false};
  Onset onset_;  // written by the process thread before onsetFound_ is set
};

}  // namespace testing_support
