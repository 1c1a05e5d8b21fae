#pragma once

#include <memory>
#include <string>

#include "midi/Backend.h"

namespace midi {

// Destinations of a running JACK server: its MIDI input ports, listed by
// their full "client:port" names in the server's order.
//
// Every open port is a JACK client of its own (never starting a server)
// with one MIDI output connected to the destination. Messages go from the
// sending thread to the client's process callback through a lock-free ring
// and leave in the next cycle; what does not fit into a cycle's buffer waits
// for the following one. After an xrun, in which the far end may have lost or
// doubled the messages of a cycle, the port sends a Note Off again for every
// note it has released, and again a little later; notes still held are left
// alone, so a lost Note Off never leaves a note hanging.
//
// When the server goes away, sends are dropped without blocking and the next
// open fails with rc::kNoDevice.
//
// `hideAlsaBridges`: leave out the ports that only mirror ALSA sequencer
// destinations (see IsAlsaBridgePort); set it when those are listed directly.
std::unique_ptr<Backend> CreateJackBackend(bool hideAlsaBridges);

// Whether a full JACK port name belongs to a bridge that mirrors an ALSA
// sequencer or raw MIDI destination into JACK: a2jmidid ("a2j:..."),
// jackd's own ALSA MIDI driver ("system:midi_playback_N", `jackd -X seq` or
// `-X raw`) and PipeWire's JACK graph ("Midi-Bridge:...").
bool IsAlsaBridgePort(const std::string& fullName);

}  // namespace midi
