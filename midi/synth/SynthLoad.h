#pragma once

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "midi/Backend.h"

// FluidSynth's own handle types, declared as its headers declare them, so
// that only the synthesizer's .cpp files include FluidSynth.
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;

namespace midi {

// Level of the synthesizer's output: one piano note at velocity 127 peaks near
// -12 dBFS, and the nine switches of a row held at velocity 127 stay below
// -1 dBFS (FluidR3_GM). FluidSynth's own default, 0.2, is 10 dB quieter.
inline constexpr double kSynthGain = 0.55;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const;
};
struct SynthDeleter {
  void operator()(fluid_synth_t* synth) const;
};
using Settings = std::unique_ptr<fluid_settings_t, SettingsDeleter>;
using Synth = std::unique_ptr<fluid_synth_t, SynthDeleter>;

// A synthesizer at one rate with its SoundFont's piano on every melodic
// channel, its samples in memory (the drum kit's come next: LoadDrumKit), or
// why there is none.
struct LoadedSynth {
  Settings settings;  // declared first: goes after the synthesizer made with it
  Synth synth;
  std::string path;
  double rate = 0;
  OpenResult failure;  // rc::kOk exactly when there is a synthesizer
};

// Where to look for the SoundFont: see SynthBackend::Options.
struct SoundFontPlaces {
  std::optional<std::vector<std::string>> locations;
  std::optional<std::string> fluidDefault;
};

// Loads the SoundFont at `path` into a new synthesizer at `rate`: through a
// view of the file cut to the piano and the standard drum kit from the
// panel's lowest note up, or the whole file when it cannot be cut. Blocks for the load; any thread.
LoadedSynth LoadSynth(const std::string& path, double rate);
// Gives channel 10 the drum kit (a reset's choice for every channel), which
// reads its samples. FluidSynth holds the synthesizer's lock meanwhile.
void LoadDrumKit(fluid_synth_t* synth);

// Finds the SoundFont and loads it on `thread`, at normal priority: the
// piano, and once the future holds it, the drum kit. The thread must have
// ended before the synthesizer goes. A variable that names no SoundFont is
// said on stderr.
std::future<LoadedSynth> StartLoading(const SoundFontPlaces& places, double rate, std::jthread& thread);

// FluidSynth logs process-wide to stderr: from now on its errors are kept for
// the refusals that name them, and the rest is dropped. Any thread, any number of times.
void KeepFluidErrors();
// FluidSynth's first error since the last call, as it worded it; empty when none came.
std::string TakeFluidError();

}  // namespace midi
