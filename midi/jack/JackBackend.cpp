#include "midi/jack/JackBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <deque>
#include <new>

#include "midi/PortService.h"
#include "midi/jack/JackMidiQueue.h"

namespace midi {
namespace {

// Room for a burst of 2,000 notes between two cycles; what does not fit waits
// with the sender (see JackOutputPort::send).
constexpr std::size_t kQueueEvents = 4096;
// A port that closes first lets the cycles hand on what was sent before (the
// Note Offs of held switches above all), however long the server's period;
// a server that has stopped calling is given this long, or three periods.
constexpr auto kClosePatience = std::chrono::milliseconds(200);

// An xrun can spoil the cycle after the one the server reported, so the
// repair is sent once at the next cycle and once more this much later.
constexpr jack_nframes_t kSecondRepairDivisor = 20;  // 1/20 s = 50 ms

// The MIDI output "midi_out" of the program's client, connected to one destination.
class JackOutputPort final : public OutputPort, private JackClient::Part {
 public:
  static OpenResult Open(JackClient& client, const PortInfo& destination) {
    auto port = std::unique_ptr<JackOutputPort>(new JackOutputPort(client));
    OpenResult result;
    result.code = port->connect(destination, result.reason);
    if (result.code == rc::kOk) result.port = std::move(port);
    return result;
  }

  ~JackOutputPort() override {
    const bool mine = alive();
    if (mine && attached_) {
      const auto period = std::chrono::milliseconds(1000 * 3 * jack_get_buffer_size(client_.get()) /
                                                    jack_get_sample_rate(client_.get()));
      const auto patience = std::max(kClosePatience, period);
      handOnOverflow();
      while (!overflow_.empty() && queue_.waitForRoom(patience)) handOnOverflow();
      queue_.drain(patience);
      // Off the receiver while the cycles still clear the buffer, which it would read again otherwise.
      jack_port_disconnect(client_.get(), port_);
    }
    client_.detach(*this);
    if (mine && port_ != nullptr) jack_port_unregister(client_.get(), port_);
  }

  Health check() noexcept override {
    if (!alive()) return Health::kServerGone;
    handOnOverflow();
    jack_client_t* client = client_.get();
    if (jack_port_by_name(client, destination_.c_str()) == nullptr) return Health::kReceiverGone;
    // A receiver that came back under its name is a new port: connect it again.
    if (jack_port_connected_to(port_, destination_.c_str()) == 0) {
      const int connected = jack_connect(client, jack_port_name(port_), destination_.c_str());
      if (connected != 0 && connected != EEXIST) return Health::kReceiverGone;
    }
    return Health::kPlaying;
  }

  // Never waits: what the queue cannot take now (the server has stopped
  // calling for a while, or a burst outran the cycles) waits here, in order,
  // and goes into the queue at the next send or check, or at the close.
  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    if (!alive()) return;
    handOnOverflow();
    if (overflow_.empty() && queue_.push(bytes, count)) return;
    if (count == 0 || count > 3) return;
    try {
      Message message{static_cast<std::uint8_t>(count), {}};
      std::copy(bytes, bytes + count, message.bytes.begin());
      overflow_.push_back(message);
    } catch (const std::bad_alloc&) {
      // No memory for even this: the message is lost, as with any full device.
    }
  }

 private:
  explicit JackOutputPort(JackClient& client)
      : client_(client),
        session_(client.session()),
        queue_(kQueueEvents, jack_get_sample_rate(client.get()) / kSecondRepairDivisor) {}

  struct Message {
    std::uint8_t size;
    std::array<std::uint8_t, 3> bytes;
  };

  void handOnOverflow() {
    while (!overflow_.empty() && queue_.push(overflow_.front().bytes.data(), overflow_.front().size)) {
      overflow_.pop_front();
    }
  }

  // Whether the client this port was made on still runs.
  bool alive() const { return client_.running() && client_.session() == session_; }

  std::int32_t connect(const PortInfo& destination, std::string& reason) {
    jack_client_t* client = client_.get();
    destination_ = destination.address;
    if (!queue_.valid()) return rc::kNoMemory;
    if (jack_port_by_name(client, destination.address.c_str()) == nullptr) {
      reason = "The JACK port " + destination.name + " is gone.";
      return rc::kNoDevice;
    }
    port_ = jack_port_register(client, kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port_ == nullptr) {
      reason = "JACK refused to make a MIDI port.";
      return rc::kError;
    }
    xrunsSeen_ = client_.xruns();
    if (!(attached_ = client_.attach(*this))) {
      reason = "The JACK client has no room for another MIDI port.";
      return rc::kError;
    }
    const int connected = jack_connect(client, jack_port_name(port_), destination.address.c_str());
    if (connected != 0 && connected != EEXIST) {
      reason = "JACK could not connect to " + destination.name + ".";
      return rc::kNoDevice;
    }
    return rc::kOk;
  }

  void process(jack_nframes_t frames) noexcept override {
    // Realtime thread from here on: no allocation, no locks, no system calls.
    if (const std::uint32_t xruns = client_.xruns(); xruns != xrunsSeen_) {
      xrunsSeen_ = xruns;
      queue_.xrun();
    }
    void* buffer = jack_port_get_buffer(port_, frames);
    jack_midi_clear_buffer(buffer);
    queue_.cycle(frames, [buffer](const std::uint8_t* bytes, std::size_t count) {
      // JACK 1.9 returns its codes negated (-ENOBUFS for a full buffer), as
      // its header does not say: a full cycle dropped the rest of its messages.
      const int written = jack_midi_event_write(buffer, 0, bytes, count);
      return written < 0 ? -written : written;
    });
  }

  JackClient& client_;
  const std::uint32_t session_;
  JackMidiQueue queue_;
  jack_port_t* port_ = nullptr;
  std::string destination_;  // the receiver's full name
  bool attached_ = false;
  std::uint32_t xrunsSeen_ = 0;   // realtime thread, once attached
  std::deque<Message> overflow_;  // sending thread
};

class JackBackend final : public Backend {
 public:
  JackBackend(JackClient& client, bool hideAlsaBridges)
      : client_(client), hideAlsaBridges_(hideAlsaBridges) {}

  std::vector<PortInfo> listPorts() override {
    if (!client_.connect()) return {};
    const JackNames names = client_.ports(nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    std::vector<PortInfo> ports;
    for (const char** name = names.get(); name != nullptr && *name != nullptr; ++name) {
      if (hideAlsaBridges_ && IsAlsaBridgePort(*name)) continue;
      ports.push_back({*name, *name});
    }
    return ports;
  }

  OpenResult openPort(const PortInfo& port) override {
    if (!client_.connect()) return {nullptr, rc::kNoDevice, "The JACK server is not running."};
    return JackOutputPort::Open(client_, port);
  }

 private:
  JackClient& client_;
  bool hideAlsaBridges_;
};

}  // namespace

std::unique_ptr<Backend> CreateJackBackend(JackClient& client, bool hideAlsaBridges) {
  return std::make_unique<JackBackend>(client, hideAlsaBridges);
}

}  // namespace midi
