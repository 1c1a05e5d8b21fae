#pragma once

#include <memory>

#include "midi/Backend.h"

namespace midi {

// Destinations through RtMidi, one back-end per platform API. Each create
// function returns nullptr when the RtMidi this program runs with was built
// without that API. Listing an API whose service cannot be reached (no
// /dev/snd/seq, no JACK server) yields no ports; nothing here throws.

// The ALSA sequencer's writable ports, named "client:port".
std::unique_ptr<Backend> CreateRtMidiAlsaBackend();
// CoreMIDI destinations (macOS).
std::unique_ptr<Backend> CreateRtMidiCoreMidiBackend();
// Windows multimedia MIDI outputs.
std::unique_ptr<Backend> CreateRtMidiWinMMBackend();
// MIDI input ports of a running JACK server, named "client:port" like the
// program's own JACK back-end, and hiding the same ALSA bridges when asked.
// RtMidi's JACK output cannot see xruns and drops what does not fit into a
// cycle: the program uses CreateJackBackend for JACK, this one is kept to
// compare against.
std::unique_ptr<Backend> CreateRtMidiJackBackend(bool hideAlsaBridges);

// Whether the ALSA sequencer can be opened here, so that its destinations
// are listed by CreateRtMidiAlsaBackend.
bool AlsaSequencerAvailable();

}  // namespace midi
