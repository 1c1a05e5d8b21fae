// The built-in synthesizer rendered offline, as FluidSynth's own tests render: what the panel's messages
// sound like, how loud, and what a close leaves. No audio server.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "midi/MidiOut.h"
#include "midi/synth/Renderer.h"
#include "midi/synth/SoundFont.h"
#include "midi/synth/SynthLoad.h"
#include "midi/synth/SynthMessages.h"

namespace {

constexpr int kRate = 48000;
constexpr double kAudible = 1e-3;  // RMS; a piano's top keys start near 0.005 at velocity 127
const std::string kInstalled = midi::StandardSoundFontLocations()[0];  // Debian's link to its GM SoundFont

// The fundamental in Hz: the first deep dip of the normalised difference function (YIN), placed between two
// samples by a parabola.
double Pitch(const std::vector<float>& x) {
  const int maxLag = kRate / 200;
  std::vector<double> d(maxLag + 2, 0.0);
  for (int lag = 1; lag <= maxLag + 1; ++lag) {
    for (std::size_t i = 0; i + maxLag + 1 < x.size(); ++i) d[lag] += std::pow(x[i] - x[i + lag], 2);
  }
  double sum = d[1];
  for (int lag = 2; lag <= maxLag; ++lag) {
    sum += d[lag];
    const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
    if (b * lag < 0.2 * sum && b <= c)
      return kRate / (lag + (a + c > 2 * b ? (a - c) / (2 * (a + c - 2 * b)) : 0));
  }
  return 0;
}

double Cents(double heard, int note) { return 1200 * std::log2(heard / 440) - 100 * (note - 69); }

double Rms(const std::vector<float>& x) {
  double sum = 0;
  for (const float v : x) sum += double{v} * v;
  return std::sqrt(sum / static_cast<double>(x.size()));
}

double PeakDb(const std::vector<float>& x) {
  float peak = 0;
  for (const float v : x) peak = std::max(peak, std::fabs(v));
  return 20 * std::log10(peak);
}

// The white keys from 60 to 122 but 76: the notes of the 36 switches.
std::vector<int> SwitchNotes() {
  std::vector<int> notes;
  for (int note = 60; note <= 122; ++note) {
    if (note != 76 && (0b101010110101 >> note % 12 & 1) != 0) notes.push_back(note);
  }
  return notes;
}

TEST(PitchEstimate, FindsTheFrequencyOfASine) {
  for (const double hz : {261.63, 1000.0, 4698.64, 9397.27}) {  // notes 60, about 83, 110, 122
    std::vector<float> sine(2048);
    for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = std::sin(2 * std::numbers::pi * hz * i / kRate);
    EXPECT_NEAR(1200 * std::log2(Pitch(sine) / hz), 0, 5) << hz;
  }
}

class SynthRender : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kInstalled)) GTEST_SKIP() << "no General MIDI SoundFont installed";
    loaded_ = midi::LoadSynth(kInstalled, kRate);
    ASSERT_EQ(loaded_.failure.code, midi::rc::kOk) << loaded_.failure.reason;
    midi::LoadDrumKit(loaded_.synth.get());
  }
  std::int32_t send(std::vector<std::uint8_t> bytes) {
    return midi::PlayMessage(loaded_.synth.get(), bytes.data(), bytes.size());
  }
  // The next `frames` frames, both sides one after the other.
  std::vector<float> render(int frames) {
    std::vector<float> out(2 * static_cast<std::size_t>(frames));
    fluid_synth_write_float(loaded_.synth.get(), frames, out.data(), 0, 1, out.data() + frames, 0, 1);
    return out;
  }
  std::vector<float> left(int frames) {
    auto both = render(frames);
    both.resize(static_cast<std::size_t>(frames));
    return both;
  }

  midi::LoadedSynth loaded_;
};

// The piano has no sample above key 108: the top row sounds all the same, each key at its own pitch.
TEST_F(SynthRender, EverySwitchSoundsAtItsPitch) {
  for (const int note : SwitchNotes()) {
    ASSERT_EQ(send({0x90, std::uint8_t(note), 127}), midi::rc::kOk);
    render(1024);  // past the attack
    auto heard = render(2048);
    const std::vector<float> right(heard.begin() + 2048, heard.end());
    heard.resize(2048);
    EXPECT_GT(std::min(Rms(heard), Rms(right)), kAudible) << note << ": both halves of a stereo sample";
    EXPECT_NEAR(Cents(Pitch(heard), note), 0, 50) << note;
    send({0xFF});
  }
}

// The piano's top keys die away within a second: heard a fifth of a second on, 98 still sounds, at its pitch.
TEST_F(SynthRender, ReleasingAKeyLeavesTheOtherSounding) {
  send({0x90, 98, 127});
  send({0x90, 110, 127});
  render(4800);
  send({0x80, 110, 0});
  render(kRate / 5);
  const auto heard = left(4096);
  EXPECT_GT(Rms(heard), kAudible / 3);
  EXPECT_NEAR(Cents(Pitch(heard), 98), 0, 50);
  send({0x90, 98, 0});  // velocity 0 ends it too
  render(kRate / 2);
  EXPECT_LT(Rms(left(4096)), kAudible / 30);
}

// FluidSynth 2.3's reset empties the reverberation's delay lines only in part: what they held comes out once
// more, some 30 dB below the notes, and dies away within a second.
TEST_F(SynthRender, ACloseSilencesEverythingAtOnce) {
  for (const int note : SwitchNotes()) send({0x90, std::uint8_t(note), 127});
  send({0x99, 60, 127});
  render(4800);
  midi::Silence(loaded_.synth.get());
  render(256);  // FluidSynth fades a voice it kills over a few blocks, so that it does not click
  EXPECT_LT(PeakDb(render(kRate / 10)), -40);
  render(kRate);
  EXPECT_LT(PeakDb(render(kRate / 10)), -100);
  send({0x90, 60, 127});
  render(1024);
  EXPECT_GT(Rms(left(2048)), kAudible) << "a close leaves the synthesizer ready to play";
}

TEST_F(SynthRender, ChannelTenPlaysTheDrumKitAndNothingWhereItHasNoSound) {
  send({0x99, 120, 127});  // above the kit
  EXPECT_LT(Rms(left(4800)), 1e-6);
  send({0x99, 60, 127});  // high bongo, the lowest note the panel plays
  EXPECT_GT(Rms(left(4800)), kAudible);
}

// Nothing but what the panel sends is played: anything else is refused, whole, and changes nothing.
TEST_F(SynthRender, RefusesWhatThePanelDoesNotSend) {
  const std::vector<std::vector<std::uint8_t>> refused = {
      {0xB0, 7, 0},    {0xB0, 120, 0}, {0xC0, 40}, {0xE0, 0, 0}, {0xD0, 0},        {0xA0, 60, 0},
      {0x90, 0x80, 1}, {0x90, 60},     {0xF8},     {0x3C},       {0x90, 60, 0x90}, {0xFF, 0},
  };
  for (const auto& message : refused) EXPECT_EQ(send(message), midi::rc::kNotSupported) << int{message[0]};
  EXPECT_LT(Rms(left(4800)), 1e-6);
  send({0x90, 60, 127});
  const auto before = left(4800);
  EXPECT_EQ(send({0xB0, 7, 0}), midi::rc::kNotSupported);  // a volume of 0 would silence it
  EXPECT_GT(Rms(left(4800)), Rms(before) / 4);
}

// One switch at full velocity is heard at a sensible level; a whole row held together does not clip.
TEST_F(SynthRender, LevelOfOneNoteAndOfARow) {
  send({0x90, 60, 127});
  const double one = PeakDb(render(kRate));
  EXPECT_NEAR(one, -12, 3);
  const auto notes = SwitchNotes();
  for (std::size_t row = 0; row < 4; ++row) {
    send({0xFF});
    render(kRate / 10);
    for (std::size_t i = 9 * row; i < 9 * row + 9; ++i) send({0x90, std::uint8_t(notes[i]), 127});
    const double loudest = PeakDb(render(kRate));
    EXPECT_LT(loudest, -1) << "row " << row + 1;
    std::printf("one note %.1f dBFS; row %zu %.1f dBFS\n", one, row + 1, loudest);
  }
}

// An idle synthesizer renders nothing, not even a note that came without a wake; the first message after the
// pause, woken as the port does, is heard in the next cycle.
TEST_F(SynthRender, IdlePauseWakesForTheNextCycle) {
  midi::Renderer renderer;
  renderer.start(kRate);
  renderer.play(loaded_.synth.get());
  std::vector<float> l(64), r(64);
  const auto cycle = [&] {
    midi::Renderer::Render(&renderer, 64, l.data(), r.data());
    return *std::max_element(l.begin(), l.end());
  };
  for (const char* when : {"from the start", "after half a second of silence"}) {
    send({0x90, 60, 127});
    EXPECT_EQ(cycle(), 0.0f) << "not paused " << when;
    renderer.wake();
    EXPECT_GT(cycle(), 0.0f) << "the first cycle after the wake did not play " << when;
    send({0xFF});
    for (int i = 0; i < kRate / 2 / 64 + 1; ++i) cycle();
  }
}

}  // namespace
