// The instruments of the General MIDI SoundFont come in as the channels come to play them.
#include "midi/synth/Instruments.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "midi/synth/SoundFont.h"

namespace {

const std::string kInstalled = midi::StandardSoundFontLocations()[0];  // Debian's link to FluidR3_GM

struct Case {
  const char* name;
  std::vector<std::vector<int>> messages;  // status, data 1, data 2; each prepared, then played
  std::map<int, std::string> playing;      // channel (0-based) to the name of its preset; "" none
  int presets;                             // presets loaded in all
};

// clang-format off
const Case kCases[] = {
    {"NothingBeforeTheFirstMessage", {}, {{0, ""}, {15, ""}, {9, ""}}, 1},
    {"FirstMessageGivesEveryChannelThePiano", {{0x80, 60, 0}}, {{0, "Yamaha Grand Piano"}, {15, "Yamaha Grand Piano"}, {9, ""}}, 1},
    {"DrumKitAtItsFirstNote", {{0x99, 38, 100}}, {{9, "Standard"}, {0, "Yamaha Grand Piano"}}, 2},
    {"DrumKitNotForANoteOff", {{0x89, 38, 0}, {0x99, 38, 0}}, {{9, ""}}, 1},
    {"ProgramChange", {{0xC1, 16, 0}}, {{1, "DrawbarOrgan"}, {0, "Yamaha Grand Piano"}}, 2},
    {"BankSelectThenProgram", {{0xB2, 0, 8}, {0xC2, 4, 0}}, {{2, "Detuned EP 1"}}, 2},
    {"MissingBankTakesBankZero", {{0xB2, 0, 5}, {0xC2, 19, 0}}, {{2, "Church Organ"}}, 2},
    {"AnotherKitOnTheDrumChannel", {{0xC9, 40, 0}}, {{9, "Brush"}}, 2},
    {"MissingKitTakesTheStandardOne", {{0xC9, 100, 0}}, {{9, "Standard"}}, 2},
    {"LoadedOnceForManyChannels", {{0xC1, 16, 0}, {0xC3, 16, 0}, {0x99, 38, 1}, {0x99, 40, 1}}, {{3, "DrawbarOrgan"}}, 3},
    {"ResetKeepsWhatCameIn", {{0x99, 38, 100}, {0xFF, 0, 0}}, {{9, "Standard"}, {0, "Yamaha Grand Piano"}}, 2},
};
// clang-format on

class InstrumentsTest : public ::testing::TestWithParam<Case> {};

TEST_P(InstrumentsTest, LoadsWhatTheChannelsPlay) {
  if (!std::filesystem::exists(kInstalled)) GTEST_SKIP() << "no General MIDI SoundFont installed";
  fluid_set_log_function(FLUID_WARN, nullptr, nullptr);  // the drum channel has no kit yet, as it should
  std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)> settings(new_fluid_settings(),
                                                                               &delete_fluid_settings);
  fluid_settings_setint(settings.get(), "synth.dynamic-sample-loading", 1);
  std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)> synth(new_fluid_synth(settings.get()),
                                                                      &delete_fluid_synth);
  fluid_synth_t* s = synth.get();
  midi::Instruments instruments;
  ASSERT_TRUE(instruments.load(s, settings.get(), kInstalled));
  for (const auto& m : GetParam().messages) {
    if (m[0] == 0xFF) {
      fluid_synth_system_reset(s);
      continue;
    }
    instruments.prepare(m[0], m[1], m[2]);
    const int channel = m[0] & 0x0F;
    if ((m[0] & 0xF0) == 0xB0) fluid_synth_cc(s, channel, m[1], m[2]);
    if ((m[0] & 0xF0) == 0xC0) fluid_synth_program_change(s, channel, m[1]);
    if ((m[0] & 0xF0) == 0x90) fluid_synth_noteon(s, channel, m[1], m[2]);
  }
  for (const auto& [channel, name] : GetParam().playing) {
    fluid_preset_t* preset = fluid_synth_get_channel_preset(s, channel);
    EXPECT_EQ(preset ? fluid_preset_get_name(preset) : "", name) << "channel " << channel + 1;
  }
  int presets = 0;
  for (int i = 0; i < fluid_synth_sfcount(s); ++i) {
    fluid_sfont_t* sfont = fluid_synth_get_sfont(s, i);
    fluid_sfont_iteration_start(sfont);
    while (fluid_sfont_iteration_next(sfont) != nullptr) ++presets;
  }
  EXPECT_EQ(presets, GetParam().presets) << "loaded more than the channels play, or less";
}

INSTANTIATE_TEST_SUITE_P(Table, InstrumentsTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
