#include "midi/synth/SynthLoad.h"

#include <fluidsynth.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "midi/synth/SoundFont.h"
#include "midi/synth/SoundFontView.h"

namespace midi {

void SettingsDeleter::operator()(fluid_settings_t* settings) const { delete_fluid_settings(settings); }
void SynthDeleter::operator()(fluid_synth_t* synth) const { delete_fluid_synth(synth); }

namespace {

constexpr PresetNumber kPiano{0, 0};
constexpr PresetNumber kDrumKit{kDrumBank, 0};
// The panel's notes start at its base note, 60, which nothing changes: the zones that only play keys below it
// would hold half the piano's samples and most of the drum kit's in memory for nothing.
constexpr int kLowestNote = 60;
constexpr int kDrumChannel = 9;  // channel 10
// The period of the outputs whose period is ours to choose (PulseAudio, ALSA):
// two periods of 128 frames buffer 5.3 ms at 48 kHz. JACK's is its server's.
constexpr int kPeriodFrames = 128;
constexpr int kPeriods = 2;
// FluidSynth's file callbacks carry nothing but the name: this ending asks for the cut view.
constexpr char kCut[] = "#piano+drums";

// The first error after Take() is kept, as the most specific, so that a
// refusal can say what went wrong; the rest would only clutter the terminal.
class FluidErrors {
 public:
  static std::string Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(first_, {});
  }
  static void Keep(int, const char* message, void*) {
    // Also called from FluidSynth's audio threads; a failed allocation must not escape into C.
    try {
      std::lock_guard lock(mutex_);
      if (first_.empty() && message != nullptr) first_ = message;
    } catch (...) {
    }
  }

 private:
  static inline std::mutex mutex_;
  static inline std::string first_;
};

// An open view, as FluidSynth's callbacks hand it around. They are C: nothing may escape them.
struct OpenView {
  std::unique_ptr<SoundFontView> view;
  std::uint64_t position = 0;

  static void* Open(const char* name) {
    try {
      std::string path = name;
      if (!path.ends_with(kCut)) return nullptr;
      path.resize(path.size() - (sizeof kCut - 1));
      auto view = SoundFontView::Open(path, {kPiano, kDrumKit}, kLowestNote);
      return view ? new OpenView{std::move(view)} : nullptr;
    } catch (...) {
      return nullptr;
    }
  }
  static int Read(void* buffer, fluid_long_long_t count, void* handle) {
    auto* file = static_cast<OpenView*>(handle);
    if (count < 0 || !file->view->read(file->position, buffer, static_cast<std::size_t>(count)))
      return FLUID_FAILED;
    file->position += static_cast<std::uint64_t>(count);
    return FLUID_OK;
  }
  static int Seek(void* handle, fluid_long_long_t offset, int origin) {
    auto* file = static_cast<OpenView*>(handle);
    const auto size = static_cast<fluid_long_long_t>(file->view->size());
    fluid_long_long_t to = offset;
    if (origin == SEEK_CUR) to += static_cast<fluid_long_long_t>(file->position);
    if (origin == SEEK_END) to += size;
    if (to < 0 || to > size || (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END))
      return FLUID_FAILED;
    file->position = static_cast<std::uint64_t>(to);
    return FLUID_OK;
  }
  static fluid_long_long_t Tell(void* handle) {
    return static_cast<fluid_long_long_t>(static_cast<OpenView*>(handle)->position);
  }
  static int Close(void* handle) {
    delete static_cast<OpenView*>(handle);
    return FLUID_OK;
  }
};

void Configure(fluid_settings_t* settings, double rate) {
  fluid_settings_setnum(settings, "synth.sample-rate", rate);
  fluid_settings_setnum(settings, "synth.gain", kSynthGain);
  // Reads only the samples of the presets in use, not the whole set's.
  fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
  fluid_settings_setint(settings, "audio.period-size", kPeriodFrames);
  fluid_settings_setint(settings, "audio.periods", kPeriods);
}

// Empty when the SoundFont is loaded and every channel has its preset, else why not.
std::string LoadInstruments(fluid_synth_t* synth, fluid_settings_t* settings, const std::string& path) {
  fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
  if (loader == nullptr) return "out of memory";
  fluid_sfloader_set_callbacks(loader, &OpenView::Open, &OpenView::Read, &OpenView::Seek, &OpenView::Tell,
                               &OpenView::Close);
  fluid_synth_add_sfloader(synth, loader);  // tried before FluidSynth's own, which reads files whole
  // FluidSynth would load a sample header that points past the sample data, and play nothing for it.
  if (const auto view = SoundFontView::Open(path, {kPiano, kDrumKit}, kLowestNote);
      view && !view->damage().empty()) {
    return view->damage();
  }
  FluidErrors::Take();
  const int id = fluid_synth_sfload(synth, (path + kCut).c_str(), 0);
  if (id == FLUID_FAILED) {
    const std::string error = FluidErrors::Take();
    return error.empty() ? "FluidSynth did not say why" : error;
  }
  // The piano on every channel but the drum channel reads its samples here and now, not at the first note.
  bool piano = true;
  for (int channel = 0; channel < 16; ++channel) {
    if (channel != kDrumChannel)
      piano = fluid_synth_program_select(synth, channel, id, 0, 0) == FLUID_OK && piano;
  }
  if (!piano) fluid_synth_program_reset(synth);  // FluidSynth's own choice where the file has no piano
  return {};
}

LoadedSynth FindAndLoad(SoundFontSearch search, const std::optional<std::string>& fluidDefault, double rate) {
  KeepFluidErrors();
  if (fluidDefault) {
    search.fluidDefault = *fluidDefault;
  } else if (Settings settings{new_fluid_settings()}) {
    char* path = nullptr;
    if (fluid_settings_dupstr(settings.get(), "synth.default-soundfont", &path) == FLUID_OK && path) {
      search.fluidDefault = path;
    }
    fluid_free(path);
  }
  const SoundFontChoice choice = FindSoundFont(search, &SoundFontProblem);
  if (!choice.warning.empty()) std::fprintf(stderr, "zelmora-switches: %s.\n", choice.warning.c_str());
  if (choice.path.empty()) return LoadedSynth{{}, {}, {}, 0, {nullptr, rc::kError, choice.reason}};
  LoadedSynth loaded = LoadSynth(choice.path, rate);
  if (loaded.failure.code == rc::kError) loaded.failure.reason += " " + SoundFontAdvice(search.locations);
  return loaded;
}

}  // namespace

void KeepFluidErrors() {
  fluid_set_log_function(FLUID_PANIC, &FluidErrors::Keep, nullptr);
  fluid_set_log_function(FLUID_ERR, &FluidErrors::Keep, nullptr);
  fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
  fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
  fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
}

std::string TakeFluidError() { return FluidErrors::Take(); }

LoadedSynth LoadSynth(const std::string& path, double rate) {
  LoadedSynth loaded;
  loaded.failure = {nullptr, rc::kNoMemory, "The synthesizer could not be created: out of memory."};
  Settings settings{new_fluid_settings()};
  if (!settings) return loaded;
  Configure(settings.get(), rate);
  Synth synth{new_fluid_synth(settings.get())};
  if (!synth) return loaded;
  if (const std::string problem = LoadInstruments(synth.get(), settings.get(), path); !problem.empty()) {
    loaded.failure = {nullptr, rc::kError,
                      "The SoundFont \"" + path + "\" could not be loaded (" + problem + ")."};
    return loaded;
  }
  loaded.settings = std::move(settings);
  loaded.synth = std::move(synth);
  loaded.path = path;
  loaded.rate = rate;
  loaded.failure = {nullptr, rc::kOk, {}};
  return loaded;
}

void LoadDrumKit(fluid_synth_t* synth) { fluid_synth_program_reset(synth); }

std::future<LoadedSynth> StartLoading(const SoundFontPlaces& places, double rate, std::jthread& thread) {
  SoundFontSearch search;
  if (const char* variable = std::getenv(kSoundFontVariable)) search.variable = variable;
  search.locations = places.locations.value_or(StandardSoundFontLocations());
  std::promise<LoadedSynth> promise;
  std::future<LoadedSynth> loaded = promise.get_future();
  thread = std::jthread(
      [promise = std::move(promise), search, fluidDefault = places.fluidDefault, rate]() mutable {
        try {
          LoadedSynth piano = FindAndLoad(search, fluidDefault, rate);
          fluid_synth_t* synth = piano.synth.get();
          promise.set_value(std::move(piano));
          if (synth != nullptr) LoadDrumKit(synth);
        } catch (...) {
          promise.set_exception(std::current_exception());
        }
      });
  return loaded;
}

}  // namespace midi
