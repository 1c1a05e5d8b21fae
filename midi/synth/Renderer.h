#pragma once

#include <atomic>
#include <cstdint>

typedef struct _fluid_synth_t fluid_synth_t;

namespace midi {

// What JACK's process thread renders from: silence until it is given a
// synthesizer, so that the output can start while the SoundFont still loads.
// An idle synthesizer costs nothing: once its output has stayed below the
// threshold of hearing for longer than any voice takes to speak, and no
// message came, the callback writes silence without rendering. A message
// wakes it before it reaches FluidSynth, so the cycle that would have played
// it plays it: the same latency as without the pause, and no click, since
// silence is what the synthesizer was rendering anyway.
class Renderer {
 public:
  // Before the process thread runs.
  void start(std::uint32_t rate);
  // Renders `synth` from the next cycle on.
  void play(fluid_synth_t* synth) { synth_.store(synth, std::memory_order_release); }
  // Before every message: a paused synthesizer renders again from the next cycle on.
  void wake() { woken_.store(true, std::memory_order_release); }

  // The process thread's call, with the Renderer as `context`.
  static void Render(void* context, std::uint32_t frames, float* left, float* right);

 private:
  void render(std::uint32_t frames, float* left, float* right);

  static constexpr float kInaudible = 1e-5f;  // -100 dB: the reverberation's tail has died away below it
  std::atomic<fluid_synth_t*> synth_{nullptr};
  std::atomic<bool> woken_{false};
  std::uint32_t idleAfter_ = 0;    // frames
  std::uint32_t quietFrames_ = 0;  // process thread only
};

}  // namespace midi
