#include "midi/jack/JackClient.h"

#include "midi/LibraryMessages.h"

namespace midi {

std::unique_ptr<JackClient> JackClient::Open(const char* name, jack_status_t* status) {
  RouteLibraryMessages();
  jack_status_t ignored{};
  jack_client_t* client = jack_client_open(name, JackNoStartServer, status != nullptr ? status : &ignored);
  if (client == nullptr) return nullptr;
  return std::unique_ptr<JackClient>(new JackClient(client));
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
