#include "midi/synth/JackOutput.h"

#include <jack/jack.h>

#include <future>
#include <system_error>

#include "midi/jack/JackClient.h"

namespace midi {
namespace {

JackNames Speakers(jack_client_t* jack) {
  return JackNames(
      jack_get_ports(jack, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical));
}

}  // namespace

struct JackOutput::Client {
  // Closed first of the members, so no process callback runs once it has gone.
  std::unique_ptr<JackClient> jack;
  jack_port_t* left = nullptr;
  jack_port_t* right = nullptr;
  Render render = nullptr;
  void* context = nullptr;

  ~Client() { jack.reset(); }

  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<Client*>(arg);
    auto* left = static_cast<float*>(jack_port_get_buffer(self->left, frames));
    auto* right = static_cast<float*>(jack_port_get_buffer(self->right, frames));
    self->render(self->context, frames, left, right);
    return 0;
  }
};

JackOutput::JackOutput(std::unique_ptr<Client> client) : client_(std::move(client)) {}
JackOutput::~JackOutput() = default;

std::unique_ptr<JackOutput> JackOutput::Connect(const std::string& clientName, std::string& error) {
  auto client = std::make_unique<Client>();
  jack_status_t status{};
  client->jack = JackClient::Open(clientName.c_str(), &status);
  if (!client->jack) {
    error =
        (status & JackServerFailed) != 0 ? "no JACK server is running" : "the JACK server refused a client";
    return nullptr;
  }
  return std::unique_ptr<JackOutput>(new JackOutput(std::move(client)));
}

std::uint32_t JackOutput::sampleRate() const { return jack_get_sample_rate(client_->jack->get()); }

std::string JackOutput::clientName() const { return jack_get_client_name(client_->jack->get()); }

bool JackOutput::start(Render render, void* context, std::string& error) {
  Client& c = *client_;
  jack_client_t* jack = c.jack->get();
  c.render = render;
  c.context = context;
  // Playing at once is the point of the default destination: the outputs are
  // connected to the speakers the way a freshly started synthesizer is
  // expected to. Finding them reads the server's whole port table, whose first
  // reading costs this process a thousand page faults: that happens while the
  // server registers the ports and activates the client, not after.
  std::future<JackNames> speakers;
  try {
    speakers = std::async(std::launch::async, &Speakers, jack);
  } catch (const std::system_error&) {
    // No thread to spare: they are looked up once the client runs.
  }
  c.left = jack_port_register(jack, kJackAudioPortNames[0], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  c.right = jack_port_register(jack, kJackAudioPortNames[1], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  if (c.left == nullptr || c.right == nullptr) {
    error = "the JACK server refused the synthesizer's audio ports";
    return false;
  }
  jack_set_process_callback(jack, &Client::Process, &c);
  if (jack_activate(jack) != 0) {
    error = "the JACK server did not start the synthesizer";
    return false;
  }
  // A mono output gets both sides.
  const JackNames playback = speakers.valid() ? speakers.get() : Speakers(jack);
  if (playback && playback.get()[0] != nullptr) {
    const char* const* names = playback.get();
    jack_connect(jack, jack_port_name(c.left), names[0]);
    jack_connect(jack, jack_port_name(c.right), names[1] != nullptr ? names[1] : names[0]);
  }
  return true;
}

}  // namespace midi
