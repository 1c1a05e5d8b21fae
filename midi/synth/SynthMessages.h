#pragma once

#include <cstddef>
#include <cstdint>

typedef struct _fluid_synth_t fluid_synth_t;

namespace midi {

// Plays one message of what the panel sends: Note On (velocity 0 is a Note
// Off), Note Off, and a system reset (0xFF), which silences every voice at
// once. rc::kOk when played; rc::kNotSupported, and nothing done, for any
// other message or a data byte with its top bit set. Any thread but JACK's.
std::int32_t PlayMessage(fluid_synth_t* synth, const std::uint8_t* bytes, std::size_t count) noexcept;

// Back to the state of a fresh start, in silence, reverberation and all.
void Silence(fluid_synth_t* synth) noexcept;

}  // namespace midi
