#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// A JACK client of the tests' own that listens: two audio inputs whose level
// it measures block by block, and which can watch for the first sample of a
// sound. Needs a running server (see JackServer); never starts one.
class AudioCapture {
 public:
  struct Level {
    double rms = 0;  // over both inputs
    float peak = 0;  // largest magnitude on either input
  };

  explicit AudioCapture(const std::string& clientName = "zelmora-capture");
  ~AudioCapture();
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  bool ready() const { return client_ != nullptr; }
  jack_client_t* client() const { return client_; }
  jack_nframes_t sampleRate() const;
  jack_nframes_t period() const;

  // Connects the audio outputs of JACK client `source` to the inputs, in the
  // order the server lists them. Returns how many were connected.
  int connectFrom(const std::string& source);

  // The level of the next `frames` frames to arrive, or nothing when they did
  // not arrive within `timeout` (the server stalled or went away). The
  // timeout is generous: a server without realtime scheduling on a busy
  // machine runs slow, and the waits below count audio, not wall time.
  std::optional<Level> measure(jack_nframes_t frames,
                               std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Measures blocks of `block` frames until one's RMS is below `rms`, for at
  // most `within` frames of audio. Whether one was.
  bool waitForSilence(double rms, jack_nframes_t block, jack_nframes_t within);
  // Measures blocks of `block` frames until one's RMS is above `rms`, for at
  // most `within` frames of audio. Whether one was.
  bool waitForSound(double rms, jack_nframes_t block, jack_nframes_t within);

  // The samples of the first input over the next `frames` frames (at most
  // kSamples), or nothing when they did not arrive within `timeout`.
  std::optional<std::vector<float>> record(jack_nframes_t frames,
                                           std::chrono::milliseconds timeout = std::chrono::seconds(20));

  // The first sample above a threshold.
  struct Onset {
    jack_nframes_t frame = 0;   // its frame time, as jack_last_frame_time counts
    jack_nframes_t offset = 0;  // its place in the period that carried it
    jack_time_t seen = 0;       // jack_get_time() when this client's process call began
  };
  // Watches for the first sample whose magnitude exceeds `threshold`, from the
  // next period on; waitForOnset returns it, or nothing within `timeout`.
  void armOnset(float threshold);
  std::optional<Onset> waitForOnset(std::chrono::milliseconds timeout);

 private:
  // What the process thread hands over, one record per period.
  struct Block {
    jack_nframes_t frames = 0;
    double sumOfSquares = 0;
    float peak = 0;
  };
  static constexpr std::size_t kBlocks = 8192;  // 11 s of 64-frame periods
  static constexpr std::size_t kSamples = 1 << 16;

  static int Process(jack_nframes_t frames, void* arg);
  void process(jack_nframes_t frames);

  jack_client_t* client_ = nullptr;
  std::array<jack_port_t*, 2> inputs_{};
  std::array<Block, kBlocks> blocks_{};
  std::atomic<std::uint64_t> written_{0};
  std::array<float, kSamples> samples_{};
  std::atomic<std::uint64_t> sampled_{0};
  std::atomic<float> onsetThreshold_{0};
  std::atomic<bool> onsetFound_{false};
  Onset onset_;  // written by the process thread before onsetFound_ is set
};

}  // namespace testing_support
