#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiOut.h"

namespace midi {

// What other programs' port lists (ALSA, JACK) show of the panel's output.
inline constexpr const char* kClientName = "Zelmora Switches";
inline constexpr const char* kPortName = "midi_out";

// One destination as a back-end lists it.
struct PortInfo {
  std::string name;     // the back-end's own, possibly long, name; shortened for menus by PortService
  std::string address;  // what the back-end needs to find the port again when it opens it
};

// An open destination. Closing is destruction: the destructor returns only
// when the port is closed. send() never blocks for long and never throws; once
// the port's server has gone it quietly drops what it is given.
class OutputPort {
 public:
  enum class Health {
    kPlaying,
    kReceiverGone,  // the destination has left its server; the port reconnects it when it is back
    kServerGone,    // the server has gone, and the port with it: only a new open plays again
    kNoSpeakers,    // it plays, but its server has no playback ports; it connects to the first that appear
  };

  virtual ~OutputPort() = default;
  virtual void send(const std::uint8_t* bytes, std::size_t count) noexcept = 0;
  // Called about once a second from the sending thread: how the port fares,
  // reconnecting its destination by name when it has come back.
  virtual Health check() noexcept { return Health::kPlaying; }
};

struct OpenResult {
  std::unique_ptr<OutputPort> port;  // set exactly when code is rc::kOk
  std::int32_t code = rc::kError;
  std::string reason;  // for the user, when code is not rc::kOk
};

// A family of destinations: the built-in synthesizer, the ALSA sequencer, a JACK server ...
// Neither call throws.
class Backend {
 public:
  virtual ~Backend() = default;
  // Destinations in a stable order, each once.
  virtual std::vector<PortInfo> listPorts() = 0;
  virtual OpenResult openPort(const PortInfo& port) = 0;
  // Opens by itself a port whose server went away, once one answers again:
  // the way it played, and no other, so that nothing silently takes its place.
  virtual OpenResult reopenPort(const PortInfo& port) { return openPort(port); }
};

}  // namespace midi
