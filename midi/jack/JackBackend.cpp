#include "midi/jack/JackBackend.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "midi/jack/NoteLedger.h"
#include "midi/jack/SpscRing.h"

namespace midi {
namespace {

constexpr const char* kClientName = "Zelmora Switches";
constexpr const char* kListClientName = "Zelmora Switches list";
constexpr const char* kPortName = "midi_out";

// A full ring means the server has stopped calling us for a while (a frozen
// graph, not a busy one: a cycle takes thousands of events). The sender waits
// this long for room, then lets the message go rather than hang the panel.
constexpr std::size_t kRingEvents = 4096;
constexpr auto kFullRingPatience = std::chrono::milliseconds(100);

// An xrun can spoil the cycle after the one the server reported, so the
// repair is sent once at the next cycle and once more this much later.
constexpr jack_nframes_t kSecondRepairDivisor = 20;  // 1/20 s = 50 ms

struct ClientCloser {
  void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using ClientPtr = std::unique_ptr<jack_client_t, ClientCloser>;

struct NamesFree {
  void operator()(const char** names) const { jack_free(static_cast<void*>(names)); }
};

ClientPtr OpenClient(const char* name) {
  // Never start a server: with none configured that stalls for seconds.
  jack_status_t status{};
  return ClientPtr(jack_client_open(name, JackNoStartServer, &status));
}

struct Event {
  std::uint8_t size;
  std::array<std::uint8_t, 3> bytes;
};

class JackOutputPort final : public OutputPort {
 public:
  static OpenResult Open(const PortInfo& destination) {
    auto port = std::unique_ptr<JackOutputPort>(new JackOutputPort());
    OpenResult result;
    result.code = port->connect(destination, result.reason);
    if (result.code == rc::kOk) result.port = std::move(port);
    return result;
  }

  ~JackOutputPort() override {
    // A client whose server has gone only needs its memory back.
    if (client_ && !serverGone_.load()) jack_deactivate(client_.get());
    client_.reset();
  }

  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    if (count == 0 || count > 3) return;
    Event event{static_cast<std::uint8_t>(count), {}};
    std::memcpy(event.bytes.data(), bytes, count);
    if (serverGone_.load(std::memory_order_relaxed)) return;
    if (ring_.push(event)) {
      stalled_ = false;
      return;
    }
    // Wait for a frozen server once, not at every key.
    if (stalled_) return;
    const auto deadline = std::chrono::steady_clock::now() + kFullRingPatience;
    while (!ring_.push(event)) {
      if (serverGone_.load(std::memory_order_relaxed) || std::chrono::steady_clock::now() >= deadline) {
        stalled_ = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }

 private:
  JackOutputPort() : ring_(kRingEvents) {}

  std::int32_t connect(const PortInfo& destination, std::string& reason) {
    client_ = OpenClient(kClientName);
    if (!client_) {
      reason = "The JACK server is not running.";
      return rc::kNoDevice;
    }
    if (jack_port_by_name(client_.get(), destination.address.c_str()) == nullptr) {
      reason = "The JACK port " + destination.name + " is gone.";
      return rc::kNoDevice;
    }
    port_ = jack_port_register(client_.get(), kPortName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (port_ == nullptr) {
      reason = "JACK refused to make a MIDI port.";
      return rc::kError;
    }
    secondRepairFrames_ = jack_get_sample_rate(client_.get()) / kSecondRepairDivisor;
    jack_set_process_callback(client_.get(), &JackOutputPort::Process, this);
    jack_set_xrun_callback(client_.get(), &JackOutputPort::Xrun, this);
    jack_on_shutdown(client_.get(), &JackOutputPort::Shutdown, this);
    if (jack_activate(client_.get()) != 0) {
      reason = "JACK refused to start the MIDI client.";
      return rc::kError;
    }
    const int connected = jack_connect(client_.get(), jack_port_name(port_), destination.address.c_str());
    if (connected != 0 && connected != EEXIST) {
      reason = "JACK could not connect to " + destination.name + ".";
      return rc::kNoDevice;
    }
    return rc::kOk;
  }

  static int Process(jack_nframes_t frames, void* arg) {
    static_cast<JackOutputPort*>(arg)->process(frames);
    return 0;
  }
  static int Xrun(void* arg) {
    static_cast<JackOutputPort*>(arg)->xruns_.fetch_add(1, std::memory_order_release);
    return 0;
  }
  static void Shutdown(void* arg) { static_cast<JackOutputPort*>(arg)->serverGone_.store(true); }

  // Realtime thread from here on: no allocation, no locks, no system calls.
  void process(jack_nframes_t frames) {
    void* buffer = jack_port_get_buffer(port_, frames);
    jack_midi_clear_buffer(buffer);
    scheduleRepair(frames);
    if (!writeRepair(buffer)) return;
    while (const Event* event = ring_.front()) {
      const int written = jack_midi_event_write(buffer, 0, event->bytes.data(), event->size);
      if (written == ENOBUFS) return;  // this cycle is full: the rest waits for the next
      if (written == 0) ledger_.sent(event->bytes.data(), event->size);
      ring_.pop();
    }
  }

  void scheduleRepair(jack_nframes_t frames) {
    const std::uint32_t xruns = xruns_.load(std::memory_order_acquire);
    if (xruns != xrunsSeen_) {
      xrunsSeen_ = xruns;
      queueRepair();
      framesToSecondRepair_ = secondRepairFrames_;
    } else if (framesToSecondRepair_ > 0) {
      framesToSecondRepair_ = framesToSecondRepair_ > frames ? framesToSecondRepair_ - frames : 0;
      if (framesToSecondRepair_ == 0) queueRepair();
    }
  }

  // Note Offs for every released note, written ahead of the waiting messages
  // so that a note pressed again meanwhile still ends up sounding.
  void queueRepair() {
    repairCount_ = 0;
    repairNext_ = 0;
    ledger_.forEachReleased([this](std::uint8_t status, std::uint8_t note) {
      repair_[repairCount_++] = {3, {status, note, 0}};
    });
  }

  // False when the cycle's buffer is full.
  bool writeRepair(void* buffer) {
    for (; repairNext_ < repairCount_; ++repairNext_) {
      const Event& event = repair_[repairNext_];
      if (jack_midi_event_write(buffer, 0, event.bytes.data(), event.size) == ENOBUFS) return false;
    }
    return true;
  }

  ClientPtr client_;
  jack_port_t* port_ = nullptr;
  SpscRing<Event> ring_;
  std::atomic<std::uint32_t> xruns_{0};
  std::atomic<bool> serverGone_{false};
  bool stalled_ = false;  // sending thread: the ring stayed full through a whole wait

  // Owned by the realtime thread.
  NoteLedger ledger_;
  std::array<Event, 16 * 128> repair_{};
  std::size_t repairCount_ = 0;
  std::size_t repairNext_ = 0;
  std::uint32_t xrunsSeen_ = 0;
  jack_nframes_t secondRepairFrames_ = 0;
  jack_nframes_t framesToSecondRepair_ = 0;
};

class JackBackend final : public Backend {
 public:
  explicit JackBackend(bool hideAlsaBridges) : hideAlsaBridges_(hideAlsaBridges) {}

  std::vector<PortInfo> listPorts() override {
    std::vector<PortInfo> ports;
    const ClientPtr client = OpenClient(kListClientName);
    if (!client) return ports;
    const std::unique_ptr<const char*, NamesFree> names(
        jack_get_ports(client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput));
    for (const char** name = names.get(); name != nullptr && *name != nullptr; ++name) {
      if (hideAlsaBridges_ && IsAlsaBridgePort(*name)) continue;
      ports.push_back({*name, *name});
    }
    return ports;
  }

  OpenResult openPort(const PortInfo& port) override { return JackOutputPort::Open(port); }

 private:
  bool hideAlsaBridges_;
};

}  // namespace

bool IsAlsaBridgePort(const std::string& fullName) {
  for (const char* prefix : {"a2j:", "system:midi_playback_", "Midi-Bridge:"}) {
    if (fullName.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::unique_ptr<Backend> CreateJackBackend(bool hideAlsaBridges) {
  return std::make_unique<JackBackend>(hideAlsaBridges);
}

}  // namespace midi
