#pragma once

#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

// FluidSynth's own handle types, declared as its headers declare them, so
// that only the back-end's .cpp files include FluidSynth.
typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_preset_t fluid_preset_t;
typedef struct _fluid_voice_t fluid_voice_t;

namespace midi {

// Every key sounds at its own pitch, also where the channel's preset has no
// sample for it (General MIDI pianos end at key 108): such a key plays the
// nearest key a whole number of octaves below (else above) that the preset
// covers, on a shadow of its channel tuned back by those octaves. Retuning a
// voice once it has started does not change its pitch in FluidSynth 2.3; a
// channel's tuning set before the note does.
//
// Channel c's shadows are c + 16 * s for s in 1 .. 2 * kOctaves; they follow
// every channel message of c. Drum kits (bank 128) are left alone: a key
// without a sound stays silent, as the kit defines it. Not thread-safe: one
// caller at a time, as the MIDI port.
class OctaveFallback {
 public:
  static constexpr int kOctaves = 7;  // the farthest a key may lie from its preset, either way
  // The MIDI channels the synthesizer needs (synth.midi-channels).
  static constexpr int kChannels = 16 * (1 + 2 * kOctaves);

  // Tunes the shadow channels of `synth`, which must have kChannels channels.
  explicit OctaveFallback(fluid_synth_t* synth);

  void noteOn(int channel, int key, int velocity);
  // Releases exactly the voices that the key's Note On started.
  void noteOff(int channel, int key);
  void keyPressure(int channel, int key, int pressure);
  // Control change, program change, channel pressure and pitch bend (the
  // 14-bit value in `data1`): applied to the channel and its shadows alike.
  void channelMessage(int status, int data1, int data2);
  // To call after a system reset, which undoes the shadows' tuning.
  void reset();

 private:
  enum class Cover : std::uint8_t { kUnknown, kYes, kNo };
  using Covers = std::array<Cover, 128>;

  void retune(int channel);
  bool play(int channel, int key, int velocity, Covers& covers);
  bool started(int channel, int key);

  fluid_synth_t* synth_;
  // Learnt from the voices the first Note On of a key started: what a
  // preset covers costs no search of the SoundFont.
  std::unordered_map<fluid_preset_t*, Covers> covers_;
  // For each key of the 16 channels, the shadow its held note plays on; 0: none.
  std::array<std::array<std::int8_t, 128>, 16> moved_{};
  std::vector<fluid_voice_t*> voices_;
};

}  // namespace midi
