#pragma once

#include <memory>

#include "midi/Backend.h"
#include "midi/jack/JackClient.h"

namespace midi {

// Destinations of a running JACK server: its MIDI input ports, listed by
// their full "client:port" names in the server's order.
//
// An open port is the MIDI output "midi_out" of `client`, the program's one
// JACK client, connected to the destination. Messages leave in the next
// cycle through a JackMidiQueue, which also repairs xruns, so a lost Note Off
// never leaves a note hanging; a port that closes hands on what was sent
// before it goes.
//
// When the server goes away, sends are dropped without blocking and the next
// open fails with rc::kNoDevice until a server answers again.
//
// `hideAlsaBridges`: leave out the ports that only mirror ALSA sequencer
// destinations (see IsAlsaBridgePort); set it when those are listed directly.
// `client` must outlive the back-end and its ports.
std::unique_ptr<Backend> CreateJackBackend(JackClient& client, bool hideAlsaBridges);

}  // namespace midi
