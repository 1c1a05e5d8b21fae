#include "midi/jack/JackClient.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "midi/LibraryMessages.h"

namespace midi {
namespace {

struct Parked {
  std::mutex lock;
  std::vector<std::pair<std::string, std::unique_ptr<JackClient>>> clients;
};

Parked& ParkedClients() {
  static Parked parked;
  return parked;
}

}  // namespace

std::unique_ptr<JackClient> JackClient::Open(const char* name, jack_status_t* status) {
  RouteLibraryMessages();
  Parked& parked = ParkedClients();
  const std::lock_guard<std::mutex> hold(parked.lock);
  // Clients of a vanished server go before any new open: JACK 1.9.21 frees
  // its shared state when an open fails, and closing a dead client after
  // that crashes.
  std::erase_if(parked.clients, [](const auto& entry) { return entry.second->serverGone(); });
  for (auto it = parked.clients.begin(); it != parked.clients.end(); ++it) {
    if (it->first != name) continue;
    auto client = std::move(it->second);
    parked.clients.erase(it);
    return client;
  }
  jack_status_t ignored{};
  jack_client_t* client = jack_client_open(name, JackNoStartServer, status != nullptr ? status : &ignored);
  if (client == nullptr) return nullptr;
  return std::unique_ptr<JackClient>(new JackClient(client));
}

void JackClient::Park(std::unique_ptr<JackClient> client, const char* name) {
  if (!client) return;
  Parked& parked = ParkedClients();
  const std::lock_guard<std::mutex> hold(parked.lock);
  parked.clients.emplace_back(name, std::move(client));
}
JackClient::JackClient(jack_client_t* client) : client_(client) {
  jack_on_shutdown(client, &JackClient::Shutdown, this);
}

JackClient::~JackClient() {
  // A client whose server has gone would wait in vain for it to confirm the
  // deactivation; closing alone gives its memory back.
  if (!serverGone()) jack_deactivate(client_.get());
}

void JackClient::Shutdown(void* self) { static_cast<JackClient*>(self)->serverGone_.store(true); }

}  // namespace midi
