#include "midi/synth/SynthBackend.h"

#include <fluidsynth.h>

#include <new>
#include <system_error>

#include "midi/jack/JackClient.h"
#include "midi/synth/JackOutput.h"
#include "midi/synth/Renderer.h"
#include "midi/synth/SynthLoad.h"
#include "midi/synth/SynthMessages.h"

namespace midi {
namespace {

// Rate for outputs that take any rate (PulseAudio, ALSA), and the rate loaded
// ahead: JACK servers mostly run at it.
constexpr double kSampleRate = 48000;

struct DriverDeleter {
  void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
using Driver = std::unique_ptr<fluid_audio_driver_t, DriverDeleter>;

std::string DescribeFailure(const std::string& output, const std::string& error) {
  std::string text;
  if (output == "jack") return error;
  if (output == "pulseaudio") {
    text = "no PulseAudio or PipeWire sound server answered";
  } else if (output == "alsa") {
    text = "ALSA could not open a sound card";
  } else {
    text = output + " could not be opened";
  }
  if (!error.empty()) text += " (" + error.substr(0, error.find('\n')) + ")";
  return text;
}

std::string NoAudioReason(const std::vector<std::string>& failures) {
  std::string reason = "The synthesizer found no audio output";
  for (std::size_t i = 0; i < failures.size(); ++i) reason += (i == 0 ? ": " : "; ") + failures[i];
  return reason + ". Start the desktop's sound server or a JACK server, then choose \"MIDI Mapper\" again.";
}

OpenResult Started() { return {nullptr, rc::kOk, {}}; }

}  // namespace

// The synthesizer with its SoundFont, and the output it plays through while a
// port is open. Members go in reverse order: a load under way first, then the
// output, and last the synthesizer it played.
class SynthBackend::Synthesizer {
 public:
  explicit Synthesizer(Options options) : options_(std::move(options)) {
    KeepFluidErrors();
    if (options_.preload) startLoading(kSampleRate);
    if (options_.connectAhead && options_.jack != nullptr) {
      options_.jack->connectAhead([this] {
        std::string ignored;  // the open that takes the outputs says why there are none
        ahead_ = JackOutput::On(*options_.jack);
        if (!startOutputs(*ahead_, ignored)) ahead_.reset();
      });
    }
  }

  ~Synthesizer() {
    // The outputs made ahead must not outlive the renderer they were given.
    if (options_.jack != nullptr) options_.jack->finishAhead();
  }

  int loads() const { return loads_; }
  const std::string& soundFont() const { return loaded_.path; }
  const std::string& output() const { return output_; }
  bool isOpen() const { return open_; }
  std::string jackClientName() const { return jack_ ? jack_->clientName() : std::string(); }
  // Whether the JACK server it played through has gone.
  bool outputLost() const { return jack_ && jack_->lost(); }
  // Whether it can be heard: JACK may have no speakers to connect it to yet.
  bool heard() { return !jack_ || jack_->speakers(); }

  std::int32_t play(const std::uint8_t* bytes, std::size_t count) {
    renderer_.wake();
    return PlayMessage(loaded_.synth.get(), bytes, count);
  }

  // Tries the outputs in order, or JACK alone; the first that opens plays.
  OpenResult start(bool jackOnly) {
    std::vector<std::string> failures;
    for (const auto& output : options_.outputs) {
      if (jackOnly && output != "jack") continue;
      std::string error;
      OpenResult ready = output == "jack" ? startJack(error) : startDriver(output, error);
      if (ready.code != rc::kOk) return ready;
      if (jack_ || driver_) {
        output_ = output;
        open_ = true;
        return Started();
      }
      failures.push_back(DescribeFailure(output, error));
    }
    // Still, a missing SoundFont is the first thing to mend.
    if (auto ready = loadedAt(kSampleRate); ready.code != rc::kOk) return ready;
    return {nullptr, rc::kNoDevice, NoAudioReason(failures)};
  }

  // Silences every note and stops the audio; the synthesizer stays loaded.
  void stop() {
    // JACK renders the releases to the end of a cycle and fades out, then
    // stops; the reset is rendered no more once the output stops; the next
    // open renders it first, so not even a release tail survives a close.
    jack_.reset();
    if (loaded_.synth) Silence(loaded_.synth.get());
    driver_.reset();
    output_.clear();
    open_ = false;
  }

 private:
  void startLoading(double rate) {
    try {
      loading_ = StartLoading({options_.locations, options_.fluidDefault}, rate, loader_);
    } catch (const std::system_error&) {
      // No thread to spare: the open says so.
    }
  }

  // Takes the outputs made ahead, else connects and starts them, silent,
  // while the SoundFont may still be loading on the other core: the server's
  // round trips for the ports and the activation take as long as a good part
  // of the load. No server, or one that refuses, is no refusal yet: the next
  // output may play.
  OpenResult startJack(std::string& error) {
    if (options_.jack != nullptr) options_.jack->finishAhead();
    std::unique_ptr<JackOutput> jack = std::move(ahead_);
    if (!jack || jack->lost()) {
      jack = JackOutput::Connect(options_.jack, error);
      if (!jack || !startOutputs(*jack, error)) return Started();
    }
    // The synthesizer must run at the server's rate.
    if (auto ready = loadedAt(jack->sampleRate()); ready.code != rc::kOk) return ready;
    renderer_.play(loaded_.synth.get());
    jack_ = std::move(jack);
    return Started();
  }

  bool startOutputs(JackOutput& jack, std::string& error) {
    renderer_.start(jack.sampleRate());
    return jack.start(&Renderer::Render, &renderer_, error);
  }

  OpenResult startDriver(const std::string& output, std::string& error) {
    if (auto ready = loadedAt(kSampleRate); ready.code != rc::kOk) return ready;
    fluid_settings_setstr(loaded_.settings.get(), "audio.driver", output.c_str());
    TakeFluidError();
    driver_.reset(new_fluid_audio_driver(loaded_.settings.get(), loaded_.synth.get()));
    if (!driver_) error = TakeFluidError();
    return Started();
  }

  // Waits until a synthesizer runs at `rate`: the one loaded, else the one
  // loading, else one a new search and load finds now (the user may have
  // installed a SoundFont since the last open). A synthesizer cannot change
  // its rate, so only a new rate (a JACK server restarted at another one)
  // costs a reload; that too happens on the loading thread.
  OpenResult loadedAt(double rate) {
    while (!loaded_.synth || loaded_.rate != rate) {
      if (!loading_.valid()) startLoading(rate);
      if (!loading_.valid()) return {nullptr, rc::kNoMemory, "The synthesizer found no thread to load on."};
      LoadedSynth loaded = loading_.get();
      if (!loaded.synth) return std::move(loaded.failure);
      loaded_ = std::move(loaded);
      ++loads_;
    }
    return Started();
  }

  Options options_;
  LoadedSynth loaded_;
  int loads_ = 0;
  Renderer renderer_;
  std::unique_ptr<JackOutput> ahead_;  // made by the JACK client's thread, taken by the first open
  std::unique_ptr<JackOutput> jack_;
  Driver driver_;
  std::string output_;
  bool open_ = false;
  std::future<LoadedSynth> loading_;
  std::jthread loader_;  // goes first: it may still be giving the synthesizer its drum kit
};

namespace {

class SynthPort final : public OutputPort {
 public:
  explicit SynthPort(SynthBackend::Synthesizer& synth) : synth_(synth) {}
  ~SynthPort() override { synth_.stop(); }

  Health check() noexcept override {
    if (synth_.outputLost()) return Health::kServerGone;
    return synth_.heard() ? Health::kPlaying : Health::kNoSpeakers;
  }

  // Only what the panel sends is played; the rest is refused (see PlayMessage).
  void send(const std::uint8_t* bytes, std::size_t count) noexcept override { synth_.play(bytes, count); }

 private:
  SynthBackend::Synthesizer& synth_;
};

}  // namespace

SynthBackend::SynthBackend() : SynthBackend(Options{}) {}

SynthBackend::SynthBackend(Options options) : synth_(std::make_unique<Synthesizer>(std::move(options))) {}

SynthBackend::~SynthBackend() = default;

std::vector<PortInfo> SynthBackend::listPorts() { return {{"General MIDI synthesizer", "synth"}}; }

OpenResult SynthBackend::openPort(const PortInfo&) { return open(false); }

// JACK alone: only JACK can go away, and a sound server that answers while it
// is away would otherwise take its place for good.
OpenResult SynthBackend::reopenPort(const PortInfo&) { return open(true); }

OpenResult SynthBackend::open(bool jackOnly) {
  try {
    Synthesizer& synth = *synth_;
    if (synth.isOpen()) return {nullptr, rc::kAllocated, "The built-in synthesizer is open already."};
    OpenResult started = synth.start(jackOnly);
    if (started.code != rc::kOk) return started;
    return {std::make_unique<SynthPort>(synth), rc::kOk, {}};
  } catch (const std::bad_alloc&) {
    return {nullptr, rc::kNoMemory, "The synthesizer could not be started: out of memory."};
  } catch (...) {
    return {nullptr, rc::kError, "The synthesizer could not be started."};
  }
}

int SynthBackend::soundFontLoads() const { return synth_->loads(); }
std::string SynthBackend::soundFont() const { return synth_->soundFont(); }
std::string SynthBackend::output() const { return synth_->output(); }
std::string SynthBackend::jackClientName() const { return synth_->jackClientName(); }

std::unique_ptr<Backend> CreateSynthBackend() { return std::make_unique<SynthBackend>(); }

}  // namespace midi
