#include "midi/jack/JackBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "midi/PortService.h"
#include "midi/jack/JackClient.h"
#include "midi/jack/JackMidiQueue.h"

namespace midi {
namespace {

// A full queue means the server has stopped calling us for a while (a frozen
// graph, not a busy one: a cycle takes thousands of events). The sender waits
// this long for room, then lets the message go rather than hang the panel.
constexpr std::size_t kQueueEvents = 4096;
constexpr auto kFullQueuePatience = std::chrono::milliseconds(100);
// A port that closes first lets the cycles hand on what was sent before (the
// Note Offs of held switches above all), however long the server's period;
// a server that has stopped calling is given this long.
constexpr auto kClosePatience = std::chrono::milliseconds(200);

// An xrun can spoil the cycle after the one the server reported, so the
// repair is sent once at the next cycle and once more this much later.
constexpr jack_nframes_t kSecondRepairDivisor = 20;  // 1/20 s = 50 ms

class JackOutputPort final : public OutputPort {
 public:
  static OpenResult Open(std::unique_ptr<JackClient> client, const PortInfo& destination) {
    auto port = std::unique_ptr<JackOutputPort>(new JackOutputPort(std::move(client)));
    OpenResult result;
    result.code = port->connect(destination, result.reason);
    if (result.code == rc::kOk) result.port = std::move(port);
    return result;
  }

  // The client goes first: no process callback may run once the queue has gone.
  ~JackOutputPort() override {
    if (!client_->serverGone()) queue_.drain(kClosePatience);
    client_.reset();
  }

  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    if (client_->serverGone()) return;
    if (queue_.push(bytes, count)) {
      stalled_ = false;
      return;
    }
    // Wait for a frozen server once, not at every key.
    if (stalled_) return;
    const auto deadline = std::chrono::steady_clock::now() + kFullQueuePatience;
    while (!queue_.push(bytes, count)) {
      if (client_->serverGone() || std::chrono::steady_clock::now() >= deadline) {
        stalled_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  explicit JackOutputPort(std::unique_ptr<JackClient> client)
      : client_(std::move(client)),
        queue_(kQueueEvents, jack_get_sample_rate(client_->get()) / kSecondRepairDivisor) {}

  std::int32_t connect(const PortInfo& destination, std::string& reason) {
    jack_client_t* client = client_->get();
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
    jack_set_process_callback(client, &JackOutputPort::Process, this);
    jack_set_xrun_callback(client, &JackOutputPort::Xrun, this);
    if (jack_activate(client) != 0) {
      reason = "JACK refused to start the MIDI client.";
      return rc::kError;
    }
    const int connected = jack_connect(client, jack_port_name(port_), destination.address.c_str());
    if (connected != 0 && connected != EEXIST) {
      reason = "JACK could not connect to " + destination.name + ".";
      return rc::kNoDevice;
    }
    return rc::kOk;
  }

  static int Process(jack_nframes_t frames, void* self) {
    // Realtime thread from here on: no allocation, no locks, no system calls.
    void* buffer = jack_port_get_buffer(static_cast<JackOutputPort*>(self)->port_, frames);
    jack_midi_clear_buffer(buffer);
    static_cast<JackOutputPort*>(self)->queue_.cycle(frames,
                                                     [buffer](const std::uint8_t* bytes, std::size_t count) {
                                                       return jack_midi_event_write(buffer, 0, bytes, count);
                                                     });
    return 0;
  }
  static int Xrun(void* self) {
    static_cast<JackOutputPort*>(self)->queue_.xrun();
    return 0;
  }

  std::unique_ptr<JackClient> client_;
  JackMidiQueue queue_;
  jack_port_t* port_ = nullptr;
  bool stalled_ = false;  // sending thread: the queue stayed full through a whole wait
};

class JackBackend final : public Backend {
 public:
  explicit JackBackend(bool hideAlsaBridges) : hideAlsaBridges_(hideAlsaBridges) {}

  std::vector<PortInfo> listPorts() override {
    JackNames names;
    const auto list = [&names](jack_client_t* client) {
      names.reset(jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput));
    };
    // Any client of ours will do; only without one does the listing open its
    // own, and keeps it for the port the user may open next.
    if (!JackClient::UseAny(list)) {
      auto client = JackClient::Open(kClientName);
      if (!client) return {};
      list(client->get());
      JackClient::Park(std::move(client), kClientName);
    }
    std::vector<PortInfo> ports;
    for (const char** name = names.get(); name != nullptr && *name != nullptr; ++name) {
      if (hideAlsaBridges_ && IsAlsaBridgePort(*name)) continue;
      ports.push_back({*name, *name});
    }
    return ports;
  }

  OpenResult openPort(const PortInfo& port) override {
    auto client = JackClient::Open(kClientName);
    if (!client) return {nullptr, rc::kNoDevice, "The JACK server is not running."};
    return JackOutputPort::Open(std::move(client), port);
  }

 private:
  bool hideAlsaBridges_;
};

}  // namespace

std::unique_ptr<Backend> CreateJackBackend(bool hideAlsaBridges) {
  return std::make_unique<JackBackend>(hideAlsaBridges);
}

}  // namespace midi
