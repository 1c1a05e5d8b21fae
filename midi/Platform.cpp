#include "midi/Platform.h"

#include <vector>

#include "midi/LogBackend.h"
#include "midi/PortService.h"
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
    {"log", &CreateLogBackend},
};

// Port back-ends, listed in this order.
constexpr BackendEntry kPortBackends[] = {
    {"log", &CreateLogBackend},
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
