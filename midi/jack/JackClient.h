#pragma once

#include <jack/jack.h>

#include <atomic>
#include <functional>
#include <memory>

namespace midi {

// The synthesizer's audio outputs; the MIDI ports' names are in Backend.h.
inline constexpr const char* kJackAudioPortNames[2] = {"left", "right"};

// A list of port names as libjack returns them, freed with it.
struct JackNamesFree {
  void operator()(const char** names) const { jack_free(static_cast<void*>(names)); }
};
using JackNames = std::unique_ptr<const char*, JackNamesFree>;

// A client of a JACK server that is already running. Every JACK client of
// the program is opened here, so none ever starts a server and every one
// notices when its server goes away.
class JackClient {
 public:
  // A client named `name` (JACK appends a number when the name is taken):
  // the one parked under that name if its server still runs, else a new one.
  // Returns nullptr when no server answers, at once: without
  // JackNoStartServer libjack would try to launch jackd, which here fails
  // only after seconds. `status`, when given, receives JACK's reasons.
  static std::unique_ptr<JackClient> Open(const char* name, jack_status_t* status = nullptr);

  // Keeps an idle client (never activated, no ports) for the next Open of
  // its name: opening and closing a client each cost tens of milliseconds
  // of messages with the server, so the client that lists the ports at
  // start-up also serves the port opened later. Parked clients are closed
  // at exit.
  static void Park(std::unique_ptr<JackClient> client, const char* name);

  // Calls `use` with a client of the process whose server still runs, if there
  // is one, and says whether there was: listing the server's ports needs no
  // client of its own while the synthesizer or a port has one open. The client
  // stays open until `use` returns.
  static bool UseAny(const std::function<void(jack_client_t*)>& use);

  // Closes the client; returns when none of its callbacks runs any more.
  ~JackClient();
  JackClient(const JackClient&) = delete;
  JackClient& operator=(const JackClient&) = delete;

  jack_client_t* get() const { return client_.get(); }
  // Set from JACK's thread when the server shuts down or throws the client
  // out; from then on the client only needs its memory back.
  bool serverGone() const { return serverGone_.load(std::memory_order_relaxed); }

 private:
  struct Closer {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
  };
  explicit JackClient(jack_client_t* client);
  static void Shutdown(void* self);

  std::unique_ptr<jack_client_t, Closer> client_;
  std::atomic<bool> serverGone_{false};
};

}  // namespace midi
