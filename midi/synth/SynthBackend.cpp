#include "midi/synth/SynthBackend.h"

#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "midi/synth/Instruments.h"
#include "midi/synth/JackOutput.h"
#include "midi/synth/OctaveFallback.h"
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

bool IsSoundFont(const std::string& path) { return fluid_is_soundfont(path.c_str()) != 0; }

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
  std::unique_ptr<Instruments> instruments;
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
  fluid_settings_setint(settings.get(), "synth.midi-channels", OctaveFallback::kChannels);
  Synth synth{new_fluid_synth(settings.get())};
  if (!synth) return loaded;
  auto instruments = std::make_unique<Instruments>();
  FluidErrors::Clear();
  if (!instruments->load(synth.get(), settings.get(), path)) {
    std::string reason = "The SoundFont \"" + path + "\" could not be loaded";
    const std::string error = FluidErrors::First();
    if (!error.empty()) reason += " (" + error + ")";
    loaded.failure = {nullptr, rc::kError, reason + ". " + SoundFontInstallHint()};
    return loaded;
  }
  loaded.settings = std::move(settings);
  loaded.synth = std::move(synth);
  loaded.instruments = std::move(instruments);
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

// What JACK's process thread renders from: silence until it is given a
// synthesizer, so that the output can start while the SoundFont still loads.
// An idle synthesizer costs nothing: once its output has stayed below the
// threshold of hearing for longer than any voice takes to speak, and no
// message came, the callback writes silence without rendering. A message
// wakes it before it reaches FluidSynth, so the cycle that would have played
// it plays it: the same latency as without the pause, and no click, since
// silence is what the synthesizer was rendering anyway.
class Renderer {
 public:
  // Before the process thread runs.
  void start(std::uint32_t rate) {
    synth_.store(nullptr, std::memory_order_relaxed);
    idleAfter_ = rate / 2;
    quietFrames_ = idleAfter_;  // nothing sounds yet: paused until the first message
  }
  // Renders `synth` from the next cycle on.
  void play(fluid_synth_t* synth) { synth_.store(synth, std::memory_order_release); }
  void wake() { woken_.store(true, std::memory_order_release); }

  static void Render(void* context, std::uint32_t frames, float* left, float* right) {
    static_cast<Renderer*>(context)->render(frames, left, right);
  }

 private:
  // Realtime thread: no allocation, no locks, no system calls.
  void render(std::uint32_t frames, float* left, float* right) {
    fluid_synth_t* synth = synth_.load(std::memory_order_acquire);
    if (woken_.exchange(false, std::memory_order_acquire)) quietFrames_ = 0;
    if (synth == nullptr || quietFrames_ >= idleAfter_) {
      std::fill_n(left, frames, 0.0f);
      std::fill_n(right, frames, 0.0f);
      return;
    }
    fluid_synth_write_float(synth, static_cast<int>(frames), left, 0, 1, right, 0, 1);
    float peak = 0;
    for (std::uint32_t i = 0; i < frames; ++i) {
      peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    quietFrames_ = peak < kInaudible ? quietFrames_ + frames : 0;
  }

  static constexpr float kInaudible = 1e-5f;  // -100 dB: the reverberation's tail has died away below it
  std::atomic<fluid_synth_t*> synth_{nullptr};
  std::atomic<bool> woken_{false};
  std::uint32_t idleAfter_ = 0;    // frames
  std::uint32_t quietFrames_ = 0;  // process thread only
};

// Makes a synthesizer's channels ready a moment after it is taken, on a
// thread of its own: the piano's samples then load once start-up has had the
// machine, not on its way, and the window shows sooner. The first message
// makes them ready itself if it comes first. Cancelled with the synthesizer.
class Warmup {
 public:
  explicit Warmup(Instruments& instruments)
      : thread_([this, &instruments] {
          std::unique_lock lock(mutex_);
          // Start-up has shown its window by then, and nobody has played yet.
          if (cancel_.wait_for(lock, std::chrono::milliseconds(200), [this] { return cancelled_; })) return;
          lock.unlock();
          instruments.ready();
        }) {}
  ~Warmup() {
    {
      std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    cancel_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cancel_;
  bool cancelled_ = false;
  std::thread thread_;  // last: it starts once the members above are there
};

}  // namespace

// The synthesizer with its SoundFont, and the output it plays through while a
// port is open. Members go in reverse order: the preload first, then the
// output, the synth, and last its settings.
class SynthBackend::Synthesizer {
 public:
  explicit Synthesizer(Options options) : options_(std::move(options)) {
    FluidErrors::Install();
    if (!options_.preload) return;
    try {
      preload_ = std::async(std::launch::async, &Preload, MakeSearch(options_));
    } catch (const std::exception&) {
      // No thread to spare: the first open loads instead.
    }
  }

  int loads() const { return loads_; }
  const std::string& soundFont() const { return soundFont_; }
  const std::string& output() const { return output_; }
  bool isOpen() const { return open_; }
  std::string jackClientName() const { return jack_ ? jack_->clientName() : std::string(); }
  OctaveFallback& keys() { return *keys_; }
  Instruments& instruments() { return *instruments_; }
  // Before every message: a paused synthesizer renders again from this cycle on.
  void wake() { renderer_.wake(); }

  // Back to the state of a fresh start, in silence. In FluidSynth 2.3 a system
  // reset alone leaves the sounding voices playing, and undoes an all-sounds-off
  // sent just before it; sent after it, the all-sounds-off holds, and the reset
  // has cleared the reverberation, so not even a tail is left.
  void silence() {
    fluid_synth_system_reset(synth_.get());
    fluid_synth_all_sounds_off(synth_.get(), -1);
    keys_->reset();
  }

  // Tries the outputs in order; the first that opens plays.
  OpenResult start() {
    // Without a load under way, a missing SoundFont is told before any output is tried.
    std::string path;
    if (!synth_ && !preload_.valid()) {
      if (auto found = locate(path); found.code != rc::kOk) return found;
    }
    std::vector<std::string> failures;
    for (const auto& output : options_.outputs) {
      std::string error;
      if (output == "jack") {
        if (auto ready = startJack(error); ready.code != rc::kOk) return ready;
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
    if (auto found = locate(path); found.code != rc::kOk) return found;
    return {nullptr, rc::kNoDevice, NoAudioReason(failures)};
  }

  // Silences every note and stops the audio; the synthesizer stays loaded.
  void stop() {
    // JACK renders the releases to the end of a cycle and fades out, then
    // stops; the reset is rendered no more once the output stops; the next
    // open renders it first, so not even a release tail survives a close.
    jack_.reset();
    if (synth_) silence();
    driver_.reset();
    output_.clear();
    open_ = false;
  }

 private:
  // Connects and starts the output, silent, while the SoundFont may still be
  // loading on the other core: the server's round trips for the ports and the
  // activation take as long as a good part of the load. No server, or one that
  // refuses, is no refusal yet: the next output may play.
  OpenResult startJack(std::string& error) {
    auto jack = JackOutput::Connect(options_.jack, error);
    if (!jack) return {nullptr, rc::kOk, {}};
    renderer_.start(jack->sampleRate());
    if (!jack->start(&Renderer::Render, &renderer_, error)) return {nullptr, rc::kOk, {}};
    // The synthesizer must run at the server's rate.
    if (auto ready = loadedAt(jack->sampleRate()); ready.code != rc::kOk) return ready;
    renderer_.play(synth_.get());
    jack_ = std::move(jack);
    return {nullptr, rc::kOk, {}};
  }

  // The SoundFont in use, else the one a search finds now: the user may have
  // installed one since the last open. A refusal that says why when there is none.
  OpenResult locate(std::string& path) const {
    if (synth_) {
      path = soundFont_;
      return {nullptr, rc::kOk, {}};
    }
    SoundFontChoice choice = FindSoundFont(MakeSearch(options_), &IsSoundFont);
    if (choice.path.empty()) return {nullptr, rc::kError, std::move(choice.reason)};
    path = std::move(choice.path);
    return {nullptr, rc::kOk, {}};
  }

  // Makes sure the synthesizer runs at `rate` with a SoundFont: the one loaded,
  // else the preloaded one, else what a search finds now. A synthesizer cannot
  // change its rate, so only a new rate (a JACK server restarted at another
  // one) costs a reload.
  OpenResult loadedAt(double rate) {
    adopt();
    std::string path;
    if (auto found = locate(path); found.code != rc::kOk) return found;
    if (synth_ && rate == rate_) return {nullptr, rc::kOk, {}};
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
    warmup_.reset();
    keys_.reset();
    synth_ = std::move(loaded.synth);  // the old synthesizer goes before the settings it was made with
    settings_ = std::move(loaded.settings);
    instruments_ = std::move(loaded.instruments);
    keys_ = std::make_unique<OctaveFallback>(synth_.get());
    rate_ = loaded.rate;
    soundFont_ = std::move(loaded.path);
    ++loads_;
    try {
      warmup_ = std::make_unique<Warmup>(*instruments_);
    } catch (const std::system_error&) {
      // No thread to spare: the first message makes the channels ready.
    }
  }

  Options options_;
  Settings settings_;
  Synth synth_;
  std::unique_ptr<Instruments> instruments_;
  std::unique_ptr<Warmup> warmup_;  // goes before the synthesizer it readies
  std::unique_ptr<OctaveFallback> keys_;
  double rate_ = 0;
  std::string soundFont_;
  int loads_ = 0;
  Renderer renderer_;
  std::unique_ptr<JackOutput> jack_;
  Driver driver_;
  std::string output_;
  bool open_ = false;
  std::future<Loaded> preload_;
};

namespace {

class SynthPort final : public OutputPort {
 public:
  explicit SynthPort(SynthBackend::Synthesizer& synth) : synth_(synth) {}
  ~SynthPort() override { synth_.stop(); }

  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    if (bytes == nullptr || count == 0) return;
    const int status = bytes[0];
    // A data byte with its top bit set is not MIDI: the message is dropped whole.
    const int data1 = count > 1 ? bytes[1] : 0;
    const int data2 = count > 2 ? bytes[2] : 0;
    if (data1 > 0x7F || data2 > 0x7F) return;
    // Program change and channel pressure carry one data byte, the others two.
    const std::size_t length = (status & 0xE0) == 0xC0 ? 2 : 3;
    synth_.wake();
    OctaveFallback& keys = synth_.keys();
    if (status == 0xFF) {
      synth_.silence();
      return;
    }
    if (status < 0x80 || status >= 0xF0 || count < length) return;
    synth_.instruments().prepare(status, data1, data2);
    if ((status & 0xF0) == 0x80) {
      keys.noteOff(status & 0x0F, data1);
    } else if ((status & 0xF0) == 0x90) {
      keys.noteOn(status & 0x0F, data1, data2);  // velocity 0 is a Note Off
    } else if ((status & 0xF0) == 0xA0) {
      keys.keyPressure(status & 0x0F, data1, data2);
    } else {
      keys.channelMessage(status, (status & 0xF0) == 0xE0 ? data1 | (data2 << 7) : data1, data2);
    }
  }

 private:
  SynthBackend::Synthesizer& synth_;
};

}  // namespace

SynthBackend::SynthBackend() : SynthBackend(Options{}) {}

SynthBackend::SynthBackend(Options options) : synth_(std::make_unique<Synthesizer>(std::move(options))) {}

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
  Synthesizer& synth = *synth_;
  if (synth.isOpen()) return {nullptr, rc::kAllocated, "The built-in synthesizer is open already."};
  OpenResult started = synth.start();
  if (started.code != rc::kOk) return started;
  return {std::make_unique<SynthPort>(synth), rc::kOk, {}};
}

int SynthBackend::soundFontLoads() const { return synth_->loads(); }
std::string SynthBackend::soundFont() const { return synth_->soundFont(); }
std::string SynthBackend::output() const { return synth_->output(); }
std::string SynthBackend::jackClientName() const { return synth_->jackClientName(); }

std::unique_ptr<Backend> CreateSynthBackend() { return std::make_unique<SynthBackend>(); }

}  // namespace midi
