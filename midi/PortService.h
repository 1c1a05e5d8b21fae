#pragma once

#include <memory>
#include <vector>

#include "midi/Backend.h"
#include "midi/MidiOut.h"

namespace midi {

// The panel's MidiOut over a set of back-ends: the default destination
// (device id -1) comes from one back-end, ports 0 .. n-1 from the others, in
// the order the back-ends are given and each back-end's own order.
class PortService final : public MidiOut {
 public:
  PortService(std::unique_ptr<Backend> defaultDestination,
              std::vector<std::unique_ptr<Backend>> portBackends);
  ~PortService() override;

  std::int32_t deviceCount() override;
  std::string productName(std::int32_t id) override;
  std::int32_t open(std::int32_t id, PortHandle& handle) override;
  void send(PortHandle handle, std::uint32_t message) override;
  std::int32_t close(PortHandle handle) override;
  std::string lastError() const override { return lastError_; }
  std::vector<std::string> poll() override;

 private:
  struct Listed {
    Backend* backend;
    PortInfo info;
    std::string productName;
  };
  struct Open {
    PortHandle handle;
    std::int32_t id;
    std::unique_ptr<OutputPort> port;  // none while its server is gone and no new one opened
    Backend* backend;
    PortInfo info;
    OutputPort::Health health = OutputPort::Health::kPlaying;
  };

  std::unique_ptr<Backend> defaultDestination_;
  std::vector<std::unique_ptr<Backend>> portBackends_;
  std::vector<Listed> listed_;
  std::vector<Open> open_;
  PortHandle nextHandle_ = 1;
  std::string lastError_;
};

// Number of bytes of the MIDI message whose status byte is `status`; 0 for a
// byte that does not start a short message (data bytes, SysEx).
std::size_t ShortMessageLength(std::uint8_t status);

// Menu names for the given back-end names: each at most kMaxProductName
// characters (UTF-8 code points) and all different.
std::vector<std::string> ProductNames(const std::vector<std::string>& longNames);

// Whether a full "client:port" name belongs to a bridge that mirrors an ALSA
// sequencer or raw MIDI destination into JACK: a2jmidid ("a2j:..."),
// jackd's own ALSA MIDI driver ("system:midi_playback_N", `jackd -X seq` or
// `-X raw`) and PipeWire's JACK graph ("Midi-Bridge:..."). Any back-end that
// lists such ports asks here, so none depends on another.
bool IsAlsaBridgePort(const std::string& fullName);

}  // namespace midi
