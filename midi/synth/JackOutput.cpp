#include "midi/synth/JackOutput.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>

#include "midi/jack/CycleSignal.h"
#include "midi/jack/JackClient.h"

namespace midi {
namespace {

// A server that stopped calling is given this long to play the fade-out.
constexpr auto kStopPatience = std::chrono::milliseconds(200);

}  // namespace

struct JackOutput::Outputs final : JackClient::Part {
  enum Stage : int { kPlaying, kFadeNext, kFaded, kSilent };

  explicit Outputs(JackClient& client) : client(client), session(client.session()) {}

  ~Outputs() {
    const bool mine = client.running() && client.session() == session;
    if (mine && attached) {
      stage.store(kFadeNext, std::memory_order_release);
      stopped.waitUntil([this] { return stage.load(std::memory_order_acquire) == kSilent; }, kStopPatience);
    }
    client.detach(*this);
    if (!mine) return;
    for (jack_port_t* port : {left, right}) {
      if (port != nullptr) jack_port_unregister(client.get(), port);
    }
  }

  // Realtime thread: no allocation, no locks, no system calls.
  void process(jack_nframes_t frames) noexcept override {
    auto* l = static_cast<float*>(jack_port_get_buffer(left, frames));
    auto* r = static_cast<float*>(jack_port_get_buffer(right, frames));
    const int now = stage.load(std::memory_order_acquire);
    if (now >= kFaded) {
      // Silence until the ports go: a receiver still connected would
      // otherwise hear the last buffer again.
      std::fill_n(l, frames, 0.0f);
      std::fill_n(r, frames, 0.0f);
      stage.store(kSilent, std::memory_order_release);
      stopped.post();
      return;
    }
    render(context, frames, l, r);
    if (now == kFadeNext) {
      for (jack_nframes_t i = 0; i < frames; ++i) {
        const float gain = static_cast<float>(frames - 1 - i) / static_cast<float>(frames);
        l[i] *= gain;
        r[i] *= gain;
      }
      stage.store(kFaded, std::memory_order_release);
    }
  }

  JackClient& client;
  const std::uint32_t session;
  jack_port_t* left = nullptr;
  jack_port_t* right = nullptr;
  Render render = nullptr;
  void* context = nullptr;
  bool attached = false;
  bool speakers = false;
  std::atomic<int> stage{kPlaying};
  CycleSignal stopped;
};

JackOutput::JackOutput(std::unique_ptr<Outputs> outputs) : outputs_(std::move(outputs)) {}
JackOutput::~JackOutput() = default;

std::unique_ptr<JackOutput> JackOutput::Connect(JackClient* client, std::string& error) {
  jack_status_t status{};
  if (client == nullptr || !client->connect(&status)) {
    error =
        (status & JackServerFailed) != 0 ? "no JACK server is running" : "the JACK server refused a client";
    return nullptr;
  }
  return On(*client);
}

std::unique_ptr<JackOutput> JackOutput::On(JackClient& client) {
  return std::unique_ptr<JackOutput>(new JackOutput(std::make_unique<Outputs>(client)));
}

std::uint32_t JackOutput::sampleRate() const { return jack_get_sample_rate(outputs_->client.get()); }

std::string JackOutput::clientName() const { return jack_get_client_name(outputs_->client.get()); }

bool JackOutput::lost() const {
  return !outputs_->client.running() || outputs_->client.session() != outputs_->session;
}

bool JackOutput::start(Render render, void* context, std::string& error) {
  Outputs& o = *outputs_;
  jack_client_t* jack = o.client.get();
  o.render = render;
  o.context = context;
  o.left = jack_port_register(jack, kJackAudioPortNames[0], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  o.right = jack_port_register(jack, kJackAudioPortNames[1], JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  if (o.left == nullptr || o.right == nullptr) {
    error = "the JACK server refused the synthesizer's audio ports";
    return false;
  }
  if (!(o.attached = o.client.attach(o))) {
    error = "the JACK client could not start the synthesizer";
    return false;
  }
  // Playing at once is the point of the default destination: the outputs are
  // connected to the speakers the way a freshly started synthesizer is
  // expected to.
  speakers();
  return true;
}

bool JackOutput::speakers() {
  Outputs& o = *outputs_;
  if (o.speakers || lost()) return o.speakers;
  const JackNames playback =
      o.client.ports(nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput | JackPortIsPhysical);
  if (!playback || playback.get()[0] == nullptr) return false;
  // A mono output gets both sides.
  const char* const* names = playback.get();
  jack_client_t* jack = o.client.get();
  const int left = jack_connect(jack, jack_port_name(o.left), names[0]);
  const int right = jack_connect(jack, jack_port_name(o.right), names[1] != nullptr ? names[1] : names[0]);
  // A port that went between the listing and the connect is tried again.
  return o.speakers = (left == 0 || left == EEXIST) && (right == 0 || right == EEXIST);
}

}  // namespace midi
