#pragma once

#include <memory>

#include "midi/Backend.h"

namespace midi {

// Destinations of a running JACK server: its MIDI input ports, listed by
// their full "client:port" names in the server's order.
//
// Every open port is a JACK client of its own (never starting a server)
// with one MIDI output connected to the destination; the client that listed
// the ports serves the next one opened (see JackClient::Park). Messages
// leave in the next cycle through a JackMidiQueue, which also repairs xruns,
// so a lost Note Off never leaves a note hanging.
//
// When the server goes away, sends are dropped without blocking and the next
// open fails with rc::kNoDevice.
//
// `hideAlsaBridges`: leave out the ports that only mirror ALSA sequencer
// destinations (see IsAlsaBridgePort); set it when those are listed directly.
std::unique_ptr<Backend> CreateJackBackend(bool hideAlsaBridges);

}  // namespace midi
