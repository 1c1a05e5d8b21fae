#include "midi/jack/JackClient.h"

#include <sys/mman.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "midi/LibraryMessages.h"

namespace midi {
namespace {

// Every open client, and the idle ones kept for a later open. One object, so
// that the parked clients, closed at exit, leave a live list behind them.
struct Clients {
  std::mutex liveLock;
  std::vector<const JackClient*> live;
  std::mutex parkedLock;
  std::vector<std::pair<std::string, std::unique_ptr<JackClient>>> parked;
};

Clients& AllClients() {
  static Clients clients;
  return clients;
}

}  // namespace

std::unique_ptr<JackClient> JackClient::Open(const char* name, jack_status_t* status) {
  RouteLibraryMessages();
  Clients& all = AllClients();
  const std::lock_guard<std::mutex> hold(all.parkedLock);
  // Clients of a vanished server go before any new open: JACK 1.9.21 frees
  // its shared state when an open fails, and closing a dead client after
  // that crashes.
  std::erase_if(all.parked, [](const auto& entry) { return entry.second->serverGone(); });
  for (auto it = all.parked.begin(); it != all.parked.end(); ++it) {
    if (it->first != name) continue;
    auto client = std::move(it->second);
    all.parked.erase(it);
    return client;
  }
  jack_status_t ignored{};
  jack_client_t* client = jack_client_open(name, JackNoStartServer, status != nullptr ? status : &ignored);
  if (client == nullptr) return nullptr;
  return std::unique_ptr<JackClient>(new JackClient(client));
}

void JackClient::Park(std::unique_ptr<JackClient> client, const char* name) {
  if (!client) return;
  Clients& all = AllClients();
  const std::lock_guard<std::mutex> hold(all.parkedLock);
  all.parked.emplace_back(name, std::move(client));
}

bool JackClient::UseAny(const std::function<void(jack_client_t*)>& use) {
  Clients& all = AllClients();
  const std::lock_guard<std::mutex> hold(all.liveLock);
  for (const JackClient* client : all.live) {
    if (client->serverGone()) continue;
    use(client->get());
    return true;
  }
  return false;
}
JackClient::JackClient(jack_client_t* client) : client_(client) {
  jack_on_shutdown(client, &JackClient::Shutdown, this);
  Clients& all = AllClients();
  const std::lock_guard<std::mutex> hold(all.liveLock);
  all.live.push_back(this);
}

JackClient::~JackClient() {
  {
    Clients& all = AllClients();
    const std::lock_guard<std::mutex> hold(all.liveLock);
    std::erase(all.live, this);
  }
  // A client whose server has gone would wait in vain for it to confirm the
  // deactivation; closing alone gives its memory back.
  if (!serverGone()) jack_deactivate(client_.get());
}

void JackClient::Shutdown(void* self) { static_cast<JackClient*>(self)->serverGone_.store(true); }

}  // namespace midi

// libjack locks the server's shared memory into every client as it opens
// one: with jackd's defaults 107 MB, faulted in whole in 14 ms, during which
// the process's memory map stays locked and the thread building the window
// waits for it. This program's mlock() locks pages as they are first touched
// instead: jackd keeps them all in memory, a page this process touches stays
// locked from then on, and no other thread waits meanwhile. Defined beside
// every client's opening, it stands in for the C library's in the whole
// process; FluidSynth locks its samples just after reading them, so whole.
extern "C" int mlock(const void* address, std::size_t length) noexcept {
  return mlock2(address, length, MLOCK_ONFAULT);
}
