#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace midi {

class JackClient;

// Stereo audio through the program's JACK client, on a server that is already
// running: the outputs "left" and "right", rendered by the client's process
// callback.
class JackOutput {
 public:
  // Called on JACK's process thread once per period; must not block or allocate.
  using Render = void (*)(void* context, std::uint32_t frames, float* left, float* right);

  // Connects `client` to its server unless it runs already. Returns nullptr,
  // with `error` saying why, when there is no client or no server answers.
  static std::unique_ptr<JackOutput> Connect(JackClient* client, std::string& error);
  // The same for a client that runs already, from any one thread.
  static std::unique_ptr<JackOutput> On(JackClient& client);
  // Stops rendering and takes the outputs away. What was rendered plays to the
  // end of its cycle and fades out within the next, so nothing is cut
  // mid-buffer; then the outputs go silent, and go. Returns when the process
  // thread is done with `render`: at once when the server has gone.
  ~JackOutput();
  JackOutput(const JackOutput&) = delete;
  JackOutput& operator=(const JackOutput&) = delete;

  std::uint32_t sampleRate() const;
  std::string clientName() const;

  // Registers the outputs "left" and "right", starts calling `render` and
  // connects the outputs to the first physical playback ports, if the server
  // has any (see speakers()). False, with `error` set, when the server refuses.
  bool start(Render render, void* context, std::string& error);

  // Whether the outputs have been connected to playback ports. While they
  // have not, each call looks for them again and connects the first that
  // have appeared; once they have, the connections are the user's to change.
  bool speakers();

  // Whether the server has gone since the outputs were made: they play no
  // more, and a new JackOutput is needed once a server runs again.
  bool lost() const;

 private:
  struct Outputs;
  explicit JackOutput(std::unique_ptr<Outputs> outputs);
  std::unique_ptr<Outputs> outputs_;
};

}  // namespace midi
