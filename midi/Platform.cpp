#include "midi/Platform.h"

#include <vector>

#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "midi/rtmidi/RtMidiBackend.h"
#include "midi/synth/SynthBackend.h"

namespace midi {
namespace {

struct BackendEntry {
  const char* name;
  std::unique_ptr<Backend> (*create)();
};

// The default destination: the first entry that builds.
constexpr BackendEntry kDefaultDestinations[] = {
    {"synth", &CreateSynthBackend},
};

// Bridges (a2jmidid, jackd -X seq/raw, PipeWire) show ALSA destinations
// again as JACK ports. Where the sequencer can be opened those are listed
// once, through ALSA: the direct road, one server fewer between key and
// sound, working whether or not JACK runs. Where it cannot (a container, no
// snd-seq), the bridge ports are the only road to them and stay.
std::unique_ptr<Backend> CreateJackPorts() { return CreateJackBackend(AlsaSequencerAvailable()); }

// Port back-ends, listed in this order. A create function returns nullptr
// for a platform service this build does not have.
constexpr BackendEntry kPortBackends[] = {
    {"alsa", &CreateRtMidiAlsaBackend},
    {"coremidi", &CreateRtMidiCoreMidiBackend},
    {"winmm", &CreateRtMidiWinMMBackend},
    {"jack", &CreateJackPorts},
};

}  // namespace

std::unique_ptr<MidiOut> CreatePlatformMidiOut() {
  std::unique_ptr<Backend> defaultDestination;
  for (const auto& entry : kDefaultDestinations) {
    if ((defaultDestination = entry.create())) break;
  }
  std::vector<std::unique_ptr<Backend>> ports;
  for (const auto& entry : kPortBackends) {
    if (auto backend = entry.create()) ports.push_back(std::move(backend));
  }
  return std::make_unique<PortService>(std::move(defaultDestination), std::move(ports));
}

}  // namespace midi
