#include "midi/synth/SynthBackend.h"

#include <fluidsynth.h>

#include <cstdlib>
#include <future>
#include <mutex>
#include <new>

#include "midi/synth/JackOutput.h"
#include "midi/synth/SoundFont.h"

namespace midi {
namespace {

// Rate for outputs that take any rate (PulseAudio, ALSA); JACK sets its own.
constexpr double kSampleRate = 48000;
// The period of the outputs whose period is ours to choose (PulseAudio, ALSA):
// two periods of 128 frames buffer 5.3 ms at 48 kHz. JACK's is its server's.
constexpr int kPeriodFrames = 128;
constexpr int kPeriods = 2;

struct SettingsDeleter {
  void operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
};
struct SynthDeleter {
  void operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }
};
struct DriverDeleter {
  void operator()(fluid_audio_driver_t* driver) const { delete_fluid_audio_driver(driver); }
};
using Settings = std::unique_ptr<fluid_settings_t, SettingsDeleter>;
using Synth = std::unique_ptr<fluid_synth_t, SynthDeleter>;
using Driver = std::unique_ptr<fluid_audio_driver_t, DriverDeleter>;

// FluidSynth logs process-wide to stderr. The first error after Clear() is
// kept, as the most specific, so that a refusal can say what went wrong; the
// rest would only clutter the terminal.
class FluidErrors {
 public:
  static void Install() {
    fluid_set_log_function(FLUID_PANIC, &Keep, nullptr);
    fluid_set_log_function(FLUID_ERR, &Keep, nullptr);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  }
  static void Clear() {
    std::lock_guard lock(mutex_);
    first_.clear();
  }
  static std::string First() {
    std::lock_guard lock(mutex_);
    return first_;
  }

 private:
  static void Keep(int, const char* message, void*) {
    // Also called from FluidSynth's audio threads; a failed allocation must not escape into C.
    try {
      std::lock_guard lock(mutex_);
      if (first_.empty() && message != nullptr) first_ = message;
    } catch (...) {
    }
  }
  static inline std::mutex mutex_;
  static inline std::string first_;
};

// Back to the state of a fresh start, in silence. In FluidSynth 2.3 a system
// reset alone leaves the sounding voices playing, and undoes an all-sounds-off
// sent just before it; sent after it, the all-sounds-off holds, and the reset
// has cleared the reverberation, so not even a tail is left.
void Silence(fluid_synth_t* synth) {
  fluid_synth_system_reset(synth);
  fluid_synth_all_sounds_off(synth, -1);
}

bool IsSoundFont(const std::string& path) { return fluid_is_soundfont(path.c_str()) != 0; }

void RenderSynth(void* synth, std::uint32_t frames, float* left, float* right) {
  fluid_synth_write_float(static_cast<fluid_synth_t*>(synth), static_cast<int>(frames), left, 0, 1, right, 0,
                          1);
}

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

// A synthesizer with a SoundFont loaded at a rate, or why there is none.
struct Loaded {
  Settings settings;
  Synth synth;
  std::string path;
  double rate = 0;
  OpenResult failure;  // when there is no synth
};

// Runs on any thread: every call makes objects of its own.
Loaded Load(const std::string& path, double rate) {
  Loaded loaded;
  loaded.failure = {nullptr, rc::kNoMemory, "The synthesizer could not be created: out of memory."};
  Settings settings{new_fluid_settings()};
  if (!settings) return loaded;
  fluid_settings_setnum(settings.get(), "synth.sample-rate", rate);
  // Loads only the samples of the instruments in use: about a quarter of the
  // time and memory of loading the whole General MIDI set.
  fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings.get(), "audio.period-size", kPeriodFrames);
  fluid_settings_setint(settings.get(), "audio.periods", kPeriods);
  Synth synth{new_fluid_synth(settings.get())};
  if (!synth) return loaded;
  FluidErrors::Clear();
  if (fluid_synth_sfload(synth.get(), path.c_str(), 1) == FLUID_FAILED) {
    std::string reason = "The SoundFont \"" + path + "\" could not be loaded";
    const std::string error = FluidErrors::First();
    if (!error.empty()) reason += " (" + error + ")";
    loaded.failure = {nullptr, rc::kError, reason + ". " + SoundFontInstallHint()};
    return loaded;
  }
  loaded.settings = std::move(settings);
  loaded.synth = std::move(synth);
  loaded.path = path;
  loaded.rate = rate;
  loaded.failure = {nullptr, rc::kOk, {}};
  return loaded;
}

SoundFontSearch MakeSearch(const SynthBackend::Options& options) {
  SoundFontSearch search;
  if (const char* variable = std::getenv(kSoundFontVariable)) search.variable = variable;
  if (options.fluidDefault) {
    search.fluidDefault = *options.fluidDefault;
  } else if (Settings settings{new_fluid_settings()}) {
    char* path = nullptr;
    if (fluid_settings_dupstr(settings.get(), "synth.default-soundfont", &path) == FLUID_OK && path) {
      search.fluidDefault = path;
    }
    fluid_free(path);
  }
  search.locations = options.locations ? *options.locations : StandardSoundFontLocations();
  return search;
}

Loaded Preload(const SoundFontSearch& search) {
  SoundFontChoice choice = FindSoundFont(search, &IsSoundFont);
  if (choice.path.empty()) return {};
  return Load(choice.path, kSampleRate);
}

}  // namespace

// The synthesizer with its SoundFont, and the output it plays through while a
// port is open. Members go in reverse order: the preload first, then the
// output, the synth, and last its settings.
class SynthBackend::Engine {
 public:
  explicit Engine(Options options) : options_(std::move(options)) {
    FluidErrors::Install();
    if (!options_.preload) return;
    try {
      preload_ = std::async(std::launch::async, &Preload, MakeSearch(options_));
    } catch (const std::exception&) {
      // No thread to spare: the first open loads instead.
    }
  }

  fluid_synth_t* synth() const { return synth_.get(); }
  int loads() const { return loads_; }
  const std::string& soundFont() const { return soundFont_; }
  const std::string& output() const { return output_; }
  bool isOpen() const { return open_; }
  std::string jackClientName() const { return jack_ ? jack_->clientName() : std::string(); }

  // Tries the outputs in order; the first that opens plays.
  OpenResult start() {
    // Without a load under way, a missing SoundFont is told before any output is tried.
    if (!synth_ && !preload_.valid()) {
      SoundFontChoice choice = FindSoundFont(MakeSearch(options_), &IsSoundFont);
      if (choice.path.empty()) return {nullptr, rc::kError, std::move(choice.reason)};
    }
    std::vector<std::string> failures;
    for (const auto& output : options_.outputs) {
      std::string error;
      if (output == "jack") {
        // Connects while the SoundFont may still be loading on the other core.
        auto jack = JackOutput::Connect(options_.jackClientName, error);
        if (jack) {
          // The synthesizer must run at the server's rate before the server calls it.
          if (auto ready = loadedAt(jack->sampleRate()); ready.code != rc::kOk) return ready;
          if (jack->start(&RenderSynth, synth_.get(), error)) jack_ = std::move(jack);
        }
      } else {
        if (auto ready = loadedAt(kSampleRate); ready.code != rc::kOk) return ready;
        fluid_settings_setstr(settings_.get(), "audio.driver", output.c_str());
        FluidErrors::Clear();
        driver_.reset(new_fluid_audio_driver(settings_.get(), synth_.get()));
        if (!driver_) error = FluidErrors::First();
      }
      if (jack_ || driver_) {
        output_ = output;
        open_ = true;
        return {nullptr, rc::kOk, {}};
      }
      failures.push_back(DescribeFailure(output, error));
    }
    // Still, a missing SoundFont is the first thing to mend.
    adopt();
    if (!synth_) {
      SoundFontChoice choice = FindSoundFont(MakeSearch(options_), &IsSoundFont);
      if (choice.path.empty()) return {nullptr, rc::kError, std::move(choice.reason)};
    }
    return {nullptr, rc::kNoDevice, NoAudioReason(failures)};
  }

  // Silences every note and stops the audio; the synthesizer stays loaded.
  void stop() {
    // The reset is rendered no more once the output stops; the next open
    // renders it first, so not even a release tail survives a close.
    if (synth_) Silence(synth_.get());
    jack_.reset();
    driver_.reset();
    output_.clear();
    open_ = false;
  }

 private:
  // Makes sure the synthesizer runs at `rate` with a SoundFont: the one loaded,
  // else the preloaded one, else what a search finds now. A synthesizer cannot
  // change its rate, so only a new rate (a JACK server restarted at another
  // one) costs a reload.
  OpenResult loadedAt(double rate) {
    adopt();
    std::string path = soundFont_;
    if (!synth_) {
      // Looked for anew at every open until one loads: the user may install one meanwhile.
      SoundFontChoice choice = FindSoundFont(MakeSearch(options_), &IsSoundFont);
      if (choice.path.empty()) return {nullptr, rc::kError, std::move(choice.reason)};
      path = std::move(choice.path);
    }
    if (synth_ && rate == rate_ && path == soundFont_) return {nullptr, rc::kOk, {}};
    Loaded loaded = Load(path, rate);
    if (!loaded.synth) return std::move(loaded.failure);
    take(std::move(loaded));
    return {nullptr, rc::kOk, {}};
  }

  // Takes the preloaded synthesizer, once it is there.
  void adopt() {
    if (!preload_.valid()) return;
    try {
      Loaded loaded = preload_.get();
      if (loaded.synth) take(std::move(loaded));
    } catch (const std::exception&) {
      // Loading failed on its thread: the open searches and loads itself.
    }
  }

  void take(Loaded&& loaded) {
    synth_ = std::move(loaded.synth);  // the old synthesizer goes before the settings it was made with
    settings_ = std::move(loaded.settings);
    rate_ = loaded.rate;
    soundFont_ = std::move(loaded.path);
    ++loads_;
  }

  Options options_;
  Settings settings_;
  Synth synth_;
  double rate_ = 0;
  std::string soundFont_;
  int loads_ = 0;
  std::unique_ptr<JackOutput> jack_;
  Driver driver_;
  std::string output_;
  bool open_ = false;
  std::future<Loaded> preload_;
};

namespace {

class SynthPort final : public OutputPort {
 public:
  explicit SynthPort(SynthBackend::Engine& engine) : engine_(engine), synth_(engine.synth()) {}
  ~SynthPort() override { engine_.stop(); }

  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    if (bytes == nullptr || count == 0) return;
    const std::uint8_t status = bytes[0];
    const int channel = status & 0x0F;
    // A data byte with its top bit set is not MIDI: the message is dropped whole.
    const int data1 = count > 1 ? bytes[1] : 0;
    const int data2 = count > 2 ? bytes[2] : 0;
    if (data1 > 0x7F || data2 > 0x7F) return;
    const bool two = count >= 2;
    const bool three = count >= 3;
    switch (status & 0xF0) {
      case 0x80:
        if (three) fluid_synth_noteoff(synth_, channel, data1);
        break;
      case 0x90:
        if (three) fluid_synth_noteon(synth_, channel, data1, data2);
        break;  // velocity 0 is a Note Off
      case 0xA0:
        if (three) fluid_synth_key_pressure(synth_, channel, data1, data2);
        break;
      case 0xB0:
        if (three) fluid_synth_cc(synth_, channel, data1, data2);
        break;
      case 0xC0:
        if (two) fluid_synth_program_change(synth_, channel, data1);
        break;
      case 0xD0:
        if (two) fluid_synth_channel_pressure(synth_, channel, data1);
        break;
      case 0xE0:
        if (three) fluid_synth_pitch_bend(synth_, channel, data1 | (data2 << 7));
        break;
      default:
        if (status == 0xFF) Silence(synth_);
        break;
    }
  }

 private:
  SynthBackend::Engine& engine_;
  fluid_synth_t* synth_;
};

}  // namespace

SynthBackend::SynthBackend() : SynthBackend(Options{}) {}

SynthBackend::SynthBackend(Options options) : engine_(std::make_unique<Engine>(std::move(options))) {}

SynthBackend::SynthBackend(std::unique_ptr<Engine> engine, std::future<OpenResult> started)
    : engine_(std::move(engine)), started_(std::move(started)) {}

SynthBackend::~SynthBackend() = default;

std::vector<PortInfo> SynthBackend::listPorts() { return {{"General MIDI synthesizer", "synth"}}; }

OpenResult SynthBackend::openPort(const PortInfo&) {
  try {
    return open();
  } catch (const std::bad_alloc&) {
    return {nullptr, rc::kNoMemory, "The synthesizer could not be started: out of memory."};
  } catch (...) {
    return {nullptr, rc::kError, "The synthesizer could not be started."};
  }
}

OpenResult SynthBackend::open() {
  Engine& engine = *engine_;
  if (started_.valid()) {
    OpenResult started = started_.get();
    if (started.code != rc::kOk) return started;
    return {std::make_unique<SynthPort>(engine), rc::kOk, {}};
  }
  if (engine.isOpen()) return {nullptr, rc::kAllocated, "The built-in synthesizer is open already."};
  OpenResult started = engine.start();
  if (started.code != rc::kOk) return started;
  return {std::make_unique<SynthPort>(engine), rc::kOk, {}};
}

int SynthBackend::soundFontLoads() const { return engine_->loads(); }
std::string SynthBackend::soundFont() const { return engine_->soundFont(); }
std::string SynthBackend::output() const { return engine_->output(); }
std::string SynthBackend::jackClientName() const { return engine_->jackClientName(); }

namespace {

struct EarlyStart {
  std::unique_ptr<SynthBackend::Engine> engine;
  std::future<OpenResult> started;  // goes first: its thread uses the engine
};
EarlyStart early;

}  // namespace

void StartSynthEarly() {
  try {
    early.engine = std::make_unique<SynthBackend::Engine>(SynthBackend::Options{});
    early.started = std::async(std::launch::async, &SynthBackend::Engine::start, early.engine.get());
  } catch (const std::exception&) {
    // No thread to spare: the first open starts it instead.
    early.engine.reset();
  }
}

std::unique_ptr<Backend> CreateSynthBackend() {
  if (!early.started.valid()) return std::make_unique<SynthBackend>();
  return std::unique_ptr<Backend>(new SynthBackend(std::move(early.engine), std::move(early.started)));
}

}  // namespace midi
