#include "tests/support/AudioCapture.h"

#include <cmath>
#include <thread>

namespace testing_support {

AudioCapture::AudioCapture(const std::string& clientName) {
  client_ = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
  if (client_ == nullptr) return;
  inputs_[0] = jack_port_register(client_, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  inputs_[1] = jack_port_register(client_, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(client_, &AudioCapture::Process, this);
  if (inputs_[0] == nullptr || inputs_[1] == nullptr || jack_activate(client_) != 0) {
    jack_client_close(client_);
    client_ = nullptr;
  }
}

AudioCapture::~AudioCapture() {
  if (client_ != nullptr) jack_client_close(client_);
}

jack_nframes_t AudioCapture::sampleRate() const { return client_ ? jack_get_sample_rate(client_) : 0; }
jack_nframes_t AudioCapture::period() const { return client_ ? jack_get_buffer_size(client_) : 0; }

int AudioCapture::Process(jack_nframes_t frames, void* arg) {
  static_cast<AudioCapture*>(arg)->process(frames);
  return 0;
}

void AudioCapture::process(jack_nframes_t frames) {
  const jack_time_t now = jack_get_time();
  Block block;
  block.frames = frames;
  const float threshold = onsetThreshold_.load(std::memory_order_acquire);
  std::optional<jack_nframes_t> onset;
  const std::uint64_t sampled = sampled_.load(std::memory_order_relaxed);
  for (auto* port : inputs_) {
    const auto* samples = static_cast<const float*>(jack_port_get_buffer(port, frames));
    if (port == inputs_[0]) {
      for (jack_nframes_t i = 0; i < frames; ++i) samples_[(sampled + i) % kSamples] = samples[i];
    }
    for (jack_nframes_t i = 0; i < frames; ++i) {
      const float magnitude = std::fabs(samples[i]);
      block.sumOfSquares += static_cast<double>(samples[i]) * samples[i];
      if (magnitude > block.peak) block.peak = magnitude;
      if (threshold > 0 && magnitude > threshold && (!onset || i < *onset)) onset = i;
    }
  }
  if (onset) {
    onsetThreshold_.store(0, std::memory_order_relaxed);
    onset_ = {jack_last_frame_time(client_) + *onset, *onset, now};
    onsetFound_.store(true, std::memory_order_release);
  }
  const std::uint64_t n = written_.load(std::memory_order_relaxed);
  blocks_[n % kBlocks] = block;
  written_.store(n + 1, std::memory_order_release);
  sampled_.store(sampled + frames, std::memory_order_release);
}

int AudioCapture::connectFrom(const std::string& source) {
  if (client_ == nullptr) return 0;
  int connected = 0;
  const std::string pattern = "^" + source + ":";
  if (const char** ports =
          jack_get_ports(client_, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
    for (std::size_t i = 0; ports[i] != nullptr && i < inputs_.size(); ++i) {
      if (jack_connect(client_, ports[i], jack_port_name(inputs_[i])) == 0) ++connected;
    }
    jack_free(ports);
  }
  return connected;
}

std::optional<AudioCapture::Level> AudioCapture::measure(jack_nframes_t frames,
                                                         std::chrono::milliseconds timeout) {
  if (client_ == nullptr) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::uint64_t first = written_.load(std::memory_order_acquire);
  std::uint64_t next = first;
  jack_nframes_t counted = 0;
  double sumOfSquares = 0;
  Level level;
  while (counted < frames) {
    if (next == written_.load(std::memory_order_acquire)) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    const Block& block = blocks_[next++ % kBlocks];
    counted += block.frames;
    sumOfSquares += block.sumOfSquares;
    if (block.peak > level.peak) level.peak = block.peak;
  }
  level.rms = std::sqrt(sumOfSquares / (2.0 * counted));
  return level;
}

std::optional<std::vector<float>> AudioCapture::record(jack_nframes_t frames,
                                                       std::chrono::milliseconds timeout) {
  if (client_ == nullptr || frames > kSamples) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const std::uint64_t first = sampled_.load(std::memory_order_acquire);
  while (sampled_.load(std::memory_order_acquire) < first + frames) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::vector<float> samples(frames);
  for (jack_nframes_t i = 0; i < frames; ++i) samples[i] = samples_[(first + i) % kSamples];
  return samples;
}

bool AudioCapture::waitForSilence(double rms, jack_nframes_t block, jack_nframes_t within) {
  for (jack_nframes_t heard = 0; heard < within; heard += block) {
    const auto level = measure(block);
    if (!level) return false;
    if (level->rms < rms) return true;
  }
  return false;
}

bool AudioCapture::waitForSound(double rms, jack_nframes_t block, jack_nframes_t within) {
  for (jack_nframes_t heard = 0; heard < within; heard += block) {
    const auto level = measure(block);
    if (!level) return false;
    if (level->rms > rms) return true;
  }
  return false;
}

void AudioCapture::armOnset(float threshold) {
  onsetFound_.store(false, std::memory_order_release);
  onsetThreshold_.store(threshold, std::memory_order_release);
}

std::optional<AudioCapture::Onset> AudioCapture::waitForOnset(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (onsetFound_.load(std::memory_order_acquire)) return onset_;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  onsetThreshold_.store(0, std::memory_order_release);
  return std::nullopt;
}

}  // namespace testing_support
