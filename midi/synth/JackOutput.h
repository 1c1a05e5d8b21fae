#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace midi {

// Stereo audio through a JACK server that is already running. It never starts
// a server: when none answers, Connect fails at once instead of stalling.
class JackOutput {
 public:
  // Called on JACK's process thread once per period; must not block or allocate.
  using Render = void (*)(void* context, std::uint32_t frames, float* left, float* right);

  // Opens a client named `clientName` (JACK may append a number when the name is
  // taken). Returns nullptr, with `error` saying why, when no server answers.
  static std::unique_ptr<JackOutput> Connect(const std::string& clientName, std::string& error);
  // Stops rendering and leaves the server; returns when the process thread is done with `render`.
  ~JackOutput();
  JackOutput(const JackOutput&) = delete;
  JackOutput& operator=(const JackOutput&) = delete;

  std::uint32_t sampleRate() const;
  std::string clientName() const;

  // Registers the outputs "left" and "right", starts calling `render` and
  // connects the outputs to the first physical playback ports. False, with
  // `error` set, when the server refuses.
  bool start(Render render, void* context, std::string& error);

 private:
  struct Client;
  explicit JackOutput(std::unique_ptr<Client> client);
  std::unique_ptr<Client> client_;
};

}  // namespace midi
