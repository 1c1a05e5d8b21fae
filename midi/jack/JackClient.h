#pragma once

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>

namespace midi {

// The synthesizer's audio outputs; the MIDI port's name is in Backend.h.
inline constexpr const char* kJackAudioPortNames[2] = {"left", "right"};

// A list of port names as libjack returns them, freed with it.
struct JackNamesFree {
  void operator()(const char** names) const { jack_free(static_cast<void*>(names)); }
};
using JackNames = std::unique_ptr<const char*, JackNamesFree>;

// The program's one client of a JACK server, as JACK's own example clients
// have one: the synthesizer's audio outputs and the MIDI port register their
// ports on it, and its one process callback runs what they attach. It never
// starts a server. Its shutdown callback is the one place that learns the
// server went away; the next connect() then closes the dead client and looks
// for a server anew. All calls but the callbacks come from one thread, and
// connectAhead()'s work is over before the connect() after it returns.
class JackClient {
 public:
  // One part of the client's work in every cycle.
  class Part {
   public:
    // Realtime thread, once a cycle: no allocation, no locks, no system calls.
    virtual void process(jack_nframes_t frames) noexcept = 0;
    // A JACK thread: the server reported an xrun.
    virtual void xrun() noexcept {}

   protected:
    ~Part() = default;
  };

  explicit JackClient(std::string name);
  // Closes the client; returns when none of its callbacks runs any more.
  ~JackClient();
  JackClient(const JackClient&) = delete;
  JackClient& operator=(const JackClient&) = delete;

  // Opens and activates the client unless it runs already; a client whose
  // server has gone is closed first. Whether the client runs now. Fails at
  // once when no server answers: without JackNoStartServer libjack would try
  // to launch jackd, which here fails only after seconds. `status`, when
  // given, receives JACK's reasons.
  bool connect(jack_status_t* status = nullptr);
  // Starts the first connect() on a thread of its own and returns at once:
  // opening and activating a client costs tens of milliseconds of round trips
  // to the server (and locking its shared memory), which then overlap the
  // window's construction. `then`, when given, runs on that thread once the
  // client runs: a part that is sure to be wanted makes its ports there. The
  // next connect() waits for both and gives the open's result.
  void connectAhead(std::function<void()> then = {});
  // Waits until connectAhead()'s work is over, if it was started; the next
  // connect() still gives its result.
  void finishAhead() const;
  // The running client, else nullptr.
  jack_client_t* get() const { return running() ? client_.get() : nullptr; }
  bool running() const { return client_ != nullptr && !serverGone(); }
  // Set from JACK's thread when the server shuts down or throws the client
  // out; from then on the client only needs closing.
  bool serverGone() const { return serverGone_.load(std::memory_order_acquire); }
  // Counts the clients opened: ports registered under an earlier one went
  // with it.
  std::uint32_t session() const { return session_; }
  // Xruns the server has reported to this client; any thread.
  std::uint32_t xruns() const { return xruns_.load(std::memory_order_acquire); }

  // Runs `part` in every cycle from the next one on. False when the client
  // does not run, or runs as many parts as it can.
  bool attach(Part& part);
  // Stops running `part`; returns when no cycle uses it any more.
  void detach(Part& part);

  // Full names of the server's ports, as jack_get_ports finds them; empty
  // while the client does not run.
  JackNames ports(const char* pattern, const char* type, unsigned long flags) const;

 private:
  struct Closer {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
  };
  static int Process(jack_nframes_t frames, void* self);
  static int Xrun(void* self);
  static void Shutdown(void* self);
  bool open(jack_status_t& status);
  void close();

  std::string name_;
  std::unique_ptr<jack_client_t, Closer> client_;
  std::future<bool> ahead_;  // connectAhead()'s open, until a connect() takes it
  jack_status_t aheadStatus_{};
  std::atomic<bool> serverGone_{false};
  std::uint32_t session_ = 0;
  // The parts, read by the process thread. Two are all the program has: the
  // synthesizer and the MIDI port.
  std::array<std::atomic<Part*>, 4> parts_{};
  // Odd while a cycle runs; a part that is detached waits for it to change.
  std::atomic<std::uint32_t> cycles_{0};
  std::atomic<std::uint32_t> xruns_{0};
};

}  // namespace midi
