#pragma once

#include <mutex>
#include <set>
#include <string>

#include "midi/synth/SoundFontView.h"

// FluidSynth's own handle types, declared as its headers declare them.
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;

namespace midi {

// The instruments of a SoundFont, loaded as the channels come to play them:
// the piano that every melodic channel plays after a reset, when the channels
// are made ready; an instrument when a program change selects it; a drum kit
// at its channel's first note. Each comes in as a SoundFont of its own, read
// through a view of the file that holds only that preset, and FluidSynth
// loads the samples of a preset when a channel selects it. A file that cannot
// be cut so, or that has no piano, is loaded whole, as before. Not thread-safe
// but for ready(): one caller at a time, as the MIDI port.
class Instruments {
 public:
  // Loads the SoundFont at `path` into `synth`, made with `settings`, which must
  // outlive it. False when FluidSynth refused the file; it has logged why.
  // No channel has an instrument yet: see ready().
  bool load(fluid_synth_t* synth, fluid_settings_t* settings, const std::string& path);
  // Gives every channel the instrument a reset selects, which loads the
  // piano's samples: the most of a load's time. Once; from any thread, and a
  // second caller waits for the first.
  void ready() noexcept;
  // Before a channel message reaches the synthesizer: makes the channels
  // ready, then loads the instrument the message selects or plays when that is
  // not there yet.
  void prepare(int status, int data1, int data2) noexcept;

 private:
  bool need(int channel, int program);

  fluid_synth_t* synth_ = nullptr;
  std::string path_;
  std::set<PresetNumber> inFile_;  // empty: the file is loaded whole
  std::set<PresetNumber> loaded_;  // and those asked for in vain, to ask once
  std::once_flag ready_;
};

}  // namespace midi
