#pragma once

#include <memory>

#include "midi/MidiOut.h"

namespace midi {

// The platform's MIDI output service: the built-in destination as the default
// device and every port back-end this build has, as listed in the factory
// table in Platform.cpp. Call once, early; it creates no thread of its own
// until a port is opened.
std::unique_ptr<MidiOut> CreatePlatformMidiOut();

}  // namespace midi
