#include "midi/Platform.h"

#include <vector>

#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "midi/rtmidi/RtMidiBackend.h"
#include "midi/synth/SynthBackend.h"

namespace midi {
namespace {

using CreateBackend = std::unique_ptr<Backend> (*)();

// The default destination: the first entry that builds.
constexpr CreateBackend kDefaultDestinations[] = {&CreateSynthBackend};

// Bridges (a2jmidid, jackd -X seq/raw, PipeWire) show ALSA destinations
// again as JACK ports. Where the sequencer can be opened those are listed
// once, through ALSA: the direct road, one server fewer between key and
// sound, working whether or not JACK runs. Where it cannot (a container, no
// snd-seq), the bridge ports are the only road to them and stay.
std::unique_ptr<Backend> CreateJackPorts() { return CreateJackBackend(AlsaSequencerAvailable()); }

// Port back-ends, listed in this order. A create function returns nullptr
// for a platform service this build does not have. A port to another
// system adds its back-end here (CoreMIDI and WinMM have RtMidi APIs).
constexpr CreateBackend kPortBackends[] = {&CreateRtMidiAlsaBackend, &CreateJackPorts};

}  // namespace

std::unique_ptr<MidiOut> CreatePlatformMidiOut() {
  std::unique_ptr<Backend> defaultDestination;
  for (const auto create : kDefaultDestinations) {
    if ((defaultDestination = create())) break;
  }
  std::vector<std::unique_ptr<Backend>> ports;
  for (const auto create : kPortBackends) {
    if (auto backend = create()) ports.push_back(std::move(backend));
  }
  return std::make_unique<PortService>(std::move(defaultDestination), std::move(ports));
}

}  // namespace midi
