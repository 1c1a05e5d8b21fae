#include "tests/support/JackMidiReceiver.h"

#include <jack/midiport.h>

#include <algorithm>
#include <thread>

namespace testing_support {

JackMidiReceiver::JackMidiReceiver(const std::string& clientName, const std::string& portName,
                                   std::size_t capacity)
    : events_(std::make_unique<Event[]>(capacity)), capacity_(capacity) {
  jack_status_t status{};
  client_ = jack_client_open(clientName.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackUseExactName),
                             &status);
  if (client_ == nullptr) return;
  jack_port_t* port = jack_port_register(client_, portName.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
  if (port == nullptr) return;
  port_ = port;
  name_ = jack_port_name(port);
  jack_set_process_callback(client_, &JackMidiReceiver::Process, this);
  jack_set_xrun_callback(client_, &JackMidiReceiver::Xrun, this);
  jack_on_shutdown(client_, &JackMidiReceiver::Shutdown, this);
  if (jack_activate(client_) != 0) port_ = nullptr;
}

JackMidiReceiver::~JackMidiReceiver() { close(); }

void JackMidiReceiver::close() {
  if (client_ == nullptr) return;
  if (!serverGone_.load()) jack_deactivate(client_);
  jack_client_close(client_);
  client_ = nullptr;
  port_ = nullptr;
}


int JackMidiReceiver::connections() const {
  return port_ != nullptr && client_ != nullptr ? jack_port_connected(port_) : 0;
}

bool JackMidiReceiver::waitForConnections(int count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (connections() != count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<JackMidiReceiver::Event> JackMidiReceiver::events() const {
  const std::size_t count = std::min(eventCount(), capacity_);
  return {events_.get(), events_.get() + count};
}

bool JackMidiReceiver::waitForEvents(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (eventCount() + dropped() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

long JackMidiReceiver::findMessage(std::size_t from, std::uint8_t status, std::uint8_t data1) const {
  const std::size_t count = std::min(eventCount(), capacity_);
  for (std::size_t i = from; i < count; ++i) {
    const Event& e = events_[i];
    if (e.size >= 2 && e.bytes[0] == status && e.bytes[1] == data1) return static_cast<long>(i);
  }
  return -1;
}

long JackMidiReceiver::waitForMessage(std::size_t from, std::uint8_t status, std::uint8_t data1,
                                      std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const long found = findMessage(from, status, data1);
    if (found >= 0 || std::chrono::steady_clock::now() >= deadline) return found;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void JackMidiReceiver::waitForQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t last = eventCount();
  auto lastChange = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::size_t now = eventCount();
    if (now != last) {
      last = now;
      lastChange = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - lastChange >= quiet) {
      return;
    }
  }
}

int JackMidiReceiver::soundingCount() const {
  return static_cast<int>(std::count_if(sounding_.begin(), sounding_.end(), [](const auto& s) { return s.load() != 0; }));
}

int JackMidiReceiver::Process(jack_nframes_t frames, void* self) {
  static_cast<JackMidiReceiver*>(self)->process(frames);
  return 0;
}

int JackMidiReceiver::Xrun(void* self) {
  static_cast<JackMidiReceiver*>(self)->xruns_.fetch_add(1);
  return 0;
}

void JackMidiReceiver::Shutdown(void* self) { static_cast<JackMidiReceiver*>(self)->serverGone_.store(true); }

void JackMidiReceiver::process(jack_nframes_t frames) {
  const auto seen = std::chrono::steady_clock::now();
  const jack_nframes_t cycleStart = jack_last_frame_time(client_);
  void* buffer = jack_port_get_buffer(port_, frames);
  const std::uint32_t count = jack_midi_get_event_count(buffer);
  std::size_t next = count_.load(std::memory_order_relaxed);
  for (std::uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t in{};
    if (jack_midi_event_get(&in, buffer, i) != 0) continue;
    if (in.size >= 3) {
      const int channel = in.buffer[0] & 0x0F;
      const auto kind = in.buffer[0] & 0xF0;
      if (kind == 0x90) sounding_[Key(channel, in.buffer[1])].store(in.buffer[2] != 0 ? 1 : 0);
      if (kind == 0x80) sounding_[Key(channel, in.buffer[1])].store(0);
    }
    if (next >= capacity_) {
      dropped_.fetch_add(1);
      continue;
    }
    Event& out = events_[next++];
    out.size = static_cast<std::uint8_t>(std::min<std::size_t>(in.size, out.bytes.size()));
    std::copy(in.buffer, in.buffer + out.size, out.bytes.begin());
    out.frame = cycleStart + in.time;
    out.seen = seen;
  }
  count_.store(next, std::memory_order_release);
}

}  // namespace testing_support
