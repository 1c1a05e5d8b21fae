#include "midi/Platform.h"

#include <vector>

#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "midi/jack/JackClient.h"
#include "midi/rtmidi/RtMidiBackend.h"
#include "midi/synth/SynthBackend.h"

namespace midi {
namespace {

using CreateBackend = std::unique_ptr<Backend> (*)(JackClient& jack);

std::unique_ptr<Backend> CreateSynth(JackClient& jack) {
  SynthBackend::Options options;
  options.jack = &jack;
  options.connectAhead = true;
  return std::make_unique<SynthBackend>(std::move(options));
}

// The default destination: the first entry that builds.
constexpr CreateBackend kDefaultDestinations[] = {&CreateSynth};

// Bridges (a2jmidid, jackd -X seq/raw, PipeWire) show ALSA destinations
// again as JACK ports. Where the sequencer can be opened those are listed
// once, through ALSA: the direct road, one server fewer between key and
// sound, working whether or not JACK runs. Where it cannot (a container, no
// snd-seq), the bridge ports are the only road to them and stay.
std::unique_ptr<Backend> CreateJackPorts(JackClient& jack) {
  return CreateJackBackend(jack, AlsaSequencerAvailable());
}
std::unique_ptr<Backend> CreateAlsaPorts(JackClient&) { return CreateRtMidiAlsaBackend(); }

// Port back-ends, listed in this order. A create function returns nullptr
// for a platform service this build does not have. A port to another
// system adds its back-end here (CoreMIDI and WinMM have RtMidi APIs).
constexpr CreateBackend kPortBackends[] = {&CreateAlsaPorts, &CreateJackPorts};

// The service with the process's one JACK client, which the synthesizer and
// the JACK ports share: made before them, closed after them.
class PlatformMidiOut final : public MidiOut {
 public:
  PlatformMidiOut() : service_(Backends()) {}

  std::int32_t deviceCount() override { return service_.deviceCount(); }
  std::string productName(std::int32_t id) override { return service_.productName(id); }
  std::int32_t open(std::int32_t id, PortHandle& handle) override { return service_.open(id, handle); }
  void send(PortHandle handle, std::uint32_t message) override { service_.send(handle, message); }
  std::int32_t close(PortHandle handle) override { return service_.close(handle); }
  std::string lastError() const override { return service_.lastError(); }
  std::vector<std::string> poll() override { return service_.poll(); }

 private:
  PortService Backends() {
    std::unique_ptr<Backend> defaultDestination;
    for (const auto create : kDefaultDestinations) {
      if ((defaultDestination = create(jack_))) break;
    }
    std::vector<std::unique_ptr<Backend>> ports;
    for (const auto create : kPortBackends) {
      if (auto backend = create(jack_)) ports.push_back(std::move(backend));
    }
    return PortService(std::move(defaultDestination), std::move(ports));
  }

  JackClient jack_{kClientName};
  PortService service_;
};

}  // namespace

std::unique_ptr<MidiOut> CreatePlatformMidiOut() { return std::make_unique<PlatformMidiOut>(); }

}  // namespace midi
