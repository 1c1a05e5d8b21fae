#include "midi/synth/Renderer.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>

namespace midi {

void Renderer::start(std::uint32_t rate) {
  synth_.store(nullptr, std::memory_order_relaxed);
  idleAfter_ = rate / 2;
  quietFrames_ = idleAfter_;  // nothing sounds yet: paused until the first message
}

void Renderer::Render(void* context, std::uint32_t frames, float* left, float* right) {
  static_cast<Renderer*>(context)->render(frames, left, right);
}

// Realtime thread: no allocation, no locks, no system calls.
void Renderer::render(std::uint32_t frames, float* left, float* right) {
  fluid_synth_t* synth = synth_.load(std::memory_order_acquire);
  if (woken_.exchange(false, std::memory_order_acquire)) quietFrames_ = 0;
  if (synth == nullptr || quietFrames_ >= idleAfter_) {
    std::fill_n(left, frames, 0.0f);
    std::fill_n(right, frames, 0.0f);
    return;
  }
  fluid_synth_write_float(synth, static_cast<int>(frames), left, 0, 1, right, 0, 1);
  float peak = 0;
  for (std::uint32_t i = 0; i < frames; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
  quietFrames_ = peak < kInaudible ? quietFrames_ + frames : 0;
}

}  // namespace midi
