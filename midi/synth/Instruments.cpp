#include "midi/synth/Instruments.h"

#include <fluidsynth.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <utility>

namespace midi {
namespace {

constexpr PresetNumber kPiano{0, 0};
constexpr int kDrumBank = 128;

// FluidSynth's file callbacks carry nothing but the name, so the name says
// which preset to keep: the path, '#', bank ':' program.
std::string ViewName(const std::string& path, PresetNumber preset) {
  return path + '#' + std::to_string(preset.bank) + ':' + std::to_string(preset.program);
}

std::pair<std::string, std::optional<PresetNumber>> ParseName(const std::string& name) {
  const std::size_t hash = name.rfind('#');
  const std::size_t colon = name.rfind(':');
  if (hash == std::string::npos || colon == std::string::npos || colon < hash) return {name, std::nullopt};
  PresetNumber preset;
  const char* end = name.data() + name.size();
  const auto bank = std::from_chars(name.data() + hash + 1, name.data() + colon, preset.bank);
  const auto program = std::from_chars(name.data() + colon + 1, end, preset.program);
  if (bank.ec != std::errc() || bank.ptr != name.data() + colon || program.ec != std::errc() ||
      program.ptr != end) {
    return {name, std::nullopt};
  }
  return {name.substr(0, hash), preset};
}

// An open view, as FluidSynth's callbacks hand it around. They are C: nothing may escape them.
struct OpenView {
  std::unique_ptr<SoundFontView> view;
  std::uint64_t position = 0;

  static void* Open(const char* name) {
    try {
      auto [path, preset] = ParseName(name);
      auto view = SoundFontView::Open(path, preset);
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

}  // namespace

bool Instruments::load(fluid_synth_t* synth, fluid_settings_t* settings, const std::string& path) {
  fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
  if (loader == nullptr) return false;
  fluid_sfloader_set_callbacks(loader, &OpenView::Open, &OpenView::Read, &OpenView::Seek, &OpenView::Tell,
                               &OpenView::Close);
  fluid_synth_add_sfloader(synth, loader);  // tried before FluidSynth's own, which reads files whole
  synth_ = synth;
  path_ = path;
  std::string name = path;
  if (const auto view = SoundFontView::Open(path, kPiano); view && !view->whole()) {
    inFile_ = view->presets();
    loaded_ = {kPiano};
    name = ViewName(path, kPiano);
  }
  return fluid_synth_sfload(synth, name.c_str(), 0) != FLUID_FAILED;
}

void Instruments::ready() noexcept {
  std::call_once(ready_, [this] { fluid_synth_program_reset(synth_); });
}

void Instruments::prepare(int status, int data1, int data2) noexcept {
  const int channel = status & 0x0F;
  ready();
  try {
    if ((status & 0xF0) == 0xC0) {
      need(channel, data1);
    } else if ((status & 0xF0) == 0x90 && data2 > 0 &&
               fluid_synth_get_channel_preset(synth_, channel) == nullptr) {
      // The drum channel after a reset: its kit is selected now, before the note.
      int sfont = 0, bank = 0, program = 0;
      fluid_synth_get_program(synth_, channel, &sfont, &bank, &program);
      if (need(channel, program)) fluid_synth_program_change(synth_, channel, program);
    }
  } catch (const std::bad_alloc&) {
    // The instrument stays unloaded, its channel silent; the port goes on.
  }
}

// Loads the preset the channel's bank and `program` name, or the one FluidSynth
// puts in its place when the file lacks it. True when it loaded one.
bool Instruments::need(int channel, int program) {
  int sfont = 0, bank = 0, current = 0;
  fluid_synth_get_program(synth_, channel, &sfont, &bank, &current);
  PresetNumber wanted{bank, program};
  if (!inFile_.contains(wanted))
    wanted = bank == kDrumBank ? PresetNumber{kDrumBank, 0} : PresetNumber{0, program};
  if (!inFile_.contains(wanted) || !loaded_.insert(wanted).second) return false;
  return fluid_synth_sfload(synth_, ViewName(path_, wanted).c_str(), 0) != FLUID_FAILED;
}

}  // namespace midi
