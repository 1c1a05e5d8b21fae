#include "midi/synth/OctaveFallback.h"

#include <fluidsynth.h>

#include <utility>

namespace midi {
namespace {

constexpr int kDrumBank = 128;
constexpr int kShadows = 2 * OctaveFallback::kOctaves;

// The octaves a key moves down on shadow `shadow` (1 .. kShadows; 0: the channel itself): the
// nearest ones below first, then those above.
int OctavesDown(int shadow) {
  return shadow <= OctaveFallback::kOctaves ? shadow : OctaveFallback::kOctaves - shadow;
}

int ShadowChannel(int channel, int shadow) { return channel + 16 * shadow; }

}  // namespace

OctaveFallback::OctaveFallback(fluid_synth_t* synth)
    : synth_(synth), voices_(static_cast<std::size_t>(fluid_synth_get_polyphony(synth))) {
  reset();
}

void OctaveFallback::reset() {
  for (int channel = 0; channel < 16; ++channel) retune(channel);
  for (auto& keys : moved_) keys.fill(0);
}

void OctaveFallback::retune(int channel) {
  // On top of the channel's own tuning, which a registered parameter may set.
  const float own = fluid_synth_get_gen(synth_, channel, GEN_COARSETUNE);
  for (int shadow = 1; shadow <= kShadows; ++shadow) {
    fluid_synth_set_gen(synth_, ShadowChannel(channel, shadow), GEN_COARSETUNE,
                        own + 12.0f * OctavesDown(shadow));
  }
}

void OctaveFallback::noteOn(int channel, int key, int velocity) {
  if (velocity == 0) {
    noteOff(channel, key);
    return;
  }
  moved_[channel][key] = 0;
  fluid_preset_t* preset = fluid_synth_get_channel_preset(synth_, channel);
  if (preset == nullptr || fluid_preset_get_banknum(preset) == kDrumBank) {
    fluid_synth_noteon(synth_, channel, key, velocity);
    return;
  }
  Covers& covers = covers_[preset];
  if (play(channel, key, velocity, covers)) return;
  for (int shadow = 1; shadow <= kShadows; ++shadow) {
    const int moved = key - 12 * OctavesDown(shadow);
    if (moved < 0 || moved > 127) continue;
    if (play(ShadowChannel(channel, shadow), moved, velocity, covers)) {
      moved_[channel][key] = static_cast<std::int8_t>(shadow);
      return;
    }
  }
}

void OctaveFallback::noteOff(int channel, int key) {
  const int shadow = std::exchange(moved_[channel][key], 0);
  fluid_synth_noteoff(synth_, ShadowChannel(channel, shadow), key - 12 * OctavesDown(shadow));
}

void OctaveFallback::keyPressure(int channel, int key, int pressure) {
  const int shadow = moved_[channel][key];
  fluid_synth_key_pressure(synth_, ShadowChannel(channel, shadow), key - 12 * OctavesDown(shadow), pressure);
}

void OctaveFallback::channelMessage(int status, int data1, int data2) {
  const int channel = status & 0x0F;
  for (int shadow = 0; shadow <= kShadows; ++shadow) {
    const int target = ShadowChannel(channel, shadow);
    switch (status & 0xF0) {
      case 0xB0: fluid_synth_cc(synth_, target, data1, data2); break;
      case 0xC0: fluid_synth_program_change(synth_, target, data1); break;
      case 0xD0: fluid_synth_channel_pressure(synth_, target, data1); break;
      case 0xE0: fluid_synth_pitch_bend(synth_, target, data1); break;
      default: break;
    }
  }
  // Data entry may have set the channel's coarse tuning, on the shadows too.
  if ((status & 0xF0) == 0xB0 && (data1 == 6 || data1 == 38)) retune(channel);
}

bool OctaveFallback::play(int channel, int key, int velocity, Covers& covers) {
  Cover& cover = covers[key];
  if (cover == Cover::kNo) return false;
  fluid_synth_noteon(synth_, channel, key, velocity);
  if (cover == Cover::kUnknown) cover = started(channel, key) ? Cover::kYes : Cover::kNo;
  return cover == Cover::kYes;
}

bool OctaveFallback::started(int channel, int key) {
  // Voices that have had no Note Off yet: those of this Note On, since
  // FluidSynth releases a key's earlier voices before it starts new ones.
  fluid_synth_get_voicelist(synth_, voices_.data(), static_cast<int>(voices_.size()), -1);
  for (fluid_voice_t* voice : voices_) {
    if (voice == nullptr) break;
    if (fluid_voice_get_channel(voice) == channel && fluid_voice_get_key(voice) == key &&
        fluid_voice_is_on(voice)) {
      return true;
    }
  }
  return false;
}

}  // namespace midi
