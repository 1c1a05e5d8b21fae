#pragma once

#include <memory>

#include "midi/Backend.h"

namespace midi {

// The ALSA sequencer's writable ports through RtMidi, named "client:port".
// Returns nullptr when the RtMidi this program runs with was built without
// ALSA. Where the sequencer cannot be reached (no /dev/snd/seq) it lists no
// ports and refuses opens with a code; nothing here throws.
std::unique_ptr<Backend> CreateRtMidiAlsaBackend();

// Whether the ALSA sequencer can be opened here, so that its destinations
// are listed by CreateRtMidiAlsaBackend.
bool AlsaSequencerAvailable();

}  // namespace midi
