#include "midi/synth/SynthMessages.h"

#include <fluidsynth.h>

#include "midi/MidiOut.h"

namespace midi {

std::int32_t PlayMessage(fluid_synth_t* synth, const std::uint8_t* bytes, std::size_t count) noexcept {
  if (bytes == nullptr || count == 0) return rc::kNotSupported;
  const int status = bytes[0];
  if (status == 0xFF && count == 1) {
    Silence(synth);
    return rc::kOk;
  }
  const int kind = status & 0xF0, channel = status & 0x0F;
  if ((kind != 0x80 && kind != 0x90) || count != 3 || bytes[1] > 0x7F || bytes[2] > 0x7F)
    return rc::kNotSupported;
  if (kind == 0x90 && bytes[2] > 0) {
    fluid_synth_noteon(synth, channel, bytes[1], bytes[2]);
  } else {
    fluid_synth_noteoff(synth, channel, bytes[1]);
  }
  return rc::kOk;
}

// In FluidSynth 2.3 a system reset alone leaves the sounding voices playing,
// and undoes an all-sounds-off sent just before it; sent after it, the
// all-sounds-off holds, and the reset has cleared the reverberation, so not
// even a tail is left.
void Silence(fluid_synth_t* synth) noexcept {
  fluid_synth_system_reset(synth);
  fluid_synth_all_sounds_off(synth, -1);
}

}  // namespace midi
