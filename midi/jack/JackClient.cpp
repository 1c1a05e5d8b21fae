#include "midi/jack/JackClient.h"

#include <utility>

#include "midi/LibraryMessages.h"

namespace midi {

JackClient::JackClient(std::string name) : name_(std::move(name)) {}

JackClient::~JackClient() {
  if (ahead_.valid()) ahead_.wait();
  close();
}

void JackClient::connectAhead(std::function<void()> then) {
  if (client_ || ahead_.valid()) return;
  ahead_ = std::async(std::launch::async, [this, then = std::move(then)] {
    const bool opened = open(aheadStatus_);
    if (opened && then) then();
    return opened;
  });
}

void JackClient::finishAhead() const {
  if (ahead_.valid()) ahead_.wait();
}

bool JackClient::connect(jack_status_t* status) {
  jack_status_t ignored{};
  jack_status_t& reasons = status != nullptr ? *status : ignored;
  if (ahead_.valid()) {
    const bool opened = ahead_.get();
    reasons = aheadStatus_;
    if (!opened) return false;
  }
  return running() || open(reasons);
}

bool JackClient::open(jack_status_t& status) {
  // A client of a vanished server goes before any new open: JACK 1.9.21
  // frees its shared state when an open fails, and closing a dead client
  // after that crashes.
  close();
  RouteLibraryMessages();
  client_.reset(jack_client_open(name_.c_str(), JackNoStartServer, &status));
  if (!client_) return false;
  serverGone_.store(false, std::memory_order_release);
  ++session_;
  jack_on_shutdown(client_.get(), &JackClient::Shutdown, this);
  jack_set_process_callback(client_.get(), &JackClient::Process, this);
  jack_set_xrun_callback(client_.get(), &JackClient::Xrun, this);
  if (jack_activate(client_.get()) != 0) {
    client_.reset();
    return false;
  }
  return true;
}

void JackClient::close() {
  if (!client_) return;
  // A client whose server has gone would wait in vain for it to confirm the
  // deactivation; closing alone gives its memory back. Either way no
  // callback runs afterwards, so the parts of this client are let go.
  if (!serverGone()) jack_deactivate(client_.get());
  client_.reset();
  for (auto& part : parts_) part.store(nullptr, std::memory_order_relaxed);
}

bool JackClient::attach(Part& part) {
  if (!running()) return false;
  for (auto& slot : parts_) {
    Part* empty = nullptr;
    if (slot.compare_exchange_strong(empty, &part)) return true;
  }
  return false;
}

void JackClient::detach(Part& part) {
  bool found = false;
  for (auto& slot : parts_) {
    Part* attached = &part;
    found = slot.compare_exchange_strong(attached, nullptr, std::memory_order_seq_cst) || found;
  }
  if (!found) return;
  // A cycle that began before the part left may still be running it: wait
  // for that cycle's end, which the process thread announces.
  const std::uint32_t cycle = cycles_.load(std::memory_order_seq_cst);
  if (cycle % 2 == 1) cycles_.wait(cycle, std::memory_order_seq_cst);
}

JackNames JackClient::ports(const char* pattern, const char* type, unsigned long flags) const {
  jack_client_t* client = get();
  return JackNames(client != nullptr ? jack_get_ports(client, pattern, type, flags) : nullptr);
}

int JackClient::Process(jack_nframes_t frames, void* arg) {
  // Realtime thread from here on: no allocation, no locks, no system calls
  // (notify_all makes one only when a detach waits).
  auto* self = static_cast<JackClient*>(arg);
  self->cycles_.fetch_add(1, std::memory_order_seq_cst);
  for (auto& slot : self->parts_) {
    if (Part* part = slot.load(std::memory_order_seq_cst)) part->process(frames);
  }
  self->cycles_.fetch_add(1, std::memory_order_seq_cst);
  self->cycles_.notify_all();
  return 0;
}

int JackClient::Xrun(void* arg) {
  static_cast<JackClient*>(arg)->xruns_.fetch_add(1, std::memory_order_release);
  return 0;
}

void JackClient::Shutdown(void* arg) { static_cast<JackClient*>(arg)->serverGone_.store(true); }

}  // namespace midi
