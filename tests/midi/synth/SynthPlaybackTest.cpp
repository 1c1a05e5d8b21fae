// The built-in synthesizer heard through a JACK server of the test's own: a
// capture client listens to the synthesizer's outputs while the panel plays.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/synth/SoundFont.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/AudioCapture.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackServer.h"
#include "tests/support/ScopedVariable.h"

namespace {

using midi::SynthBackend;
using testing_support::AudioCapture;
using testing_support::JackServer;
using testing_support::ScopedVariable;

// RMS levels: a held piano note at full velocity measures about 0.05 here.
constexpr double kAudible = 0.005;
constexpr double kSilent = 1e-4;
constexpr jack_nframes_t kSoundBlock = 1024;   // 21 ms
constexpr jack_nframes_t kSilenceBlock = 4800;  // 100 ms
constexpr jack_nframes_t kSecond = 48000;

std::string InstalledSoundFont() {
  for (const auto& path : midi::StandardSoundFontLocations()) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

class SynthPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
    installed_ = InstalledSoundFont();
    if (installed_.empty()) GTEST_SKIP() << "fluid-soundfont-gm is not installed";
    server_ = std::make_unique<JackServer>();
    ASSERT_TRUE(server_->ready());
    capture_ = std::make_unique<AudioCapture>();
    ASSERT_TRUE(capture_->ready());
    makeService({});
  }

  // Only JACK: whatever happens, the test must not play on the machine's own speakers.
  void makeService(SynthBackend::Options options) {
    options.outputs = {"jack"};
    service_.reset();
    auto backend = std::make_unique<SynthBackend>(std::move(options));
    synth_ = backend.get();
    service_ = std::make_unique<midi::PortService>(std::move(backend),
                                                   std::vector<std::unique_ptr<midi::Backend>>{});
  }

  bool listen() { return capture_->connectFrom(synth_->jackClientName()) == 2; }
  bool silentFor(jack_nframes_t frames) {
    const auto level = capture_->measure(frames);
    return level && level->rms < kSilent;
  }
  bool soundStarts() { return capture_->waitForSound(kAudible, kSoundBlock, kSecond); }
  // Long enough for the release and the reverberation to die away.
  bool soundStops() { return capture_->waitForSilence(kSilent, kSilenceBlock, 8 * kSecond); }

  ScopedVariable variable_{midi::kSoundFontVariable, nullptr};
  std::string installed_;
  std::unique_ptr<JackServer> server_;
  std::unique_ptr<AudioCapture> capture_;
  SynthBackend* synth_ = nullptr;
  std::unique_ptr<midi::PortService> service_;
};

TEST_F(SynthPlayback, SwitchSoundsFromNoteOnToNoteOff) {
  testing_support::FakePanelView view;
  engine::Panel panel(*service_, view);
  view.panel = &panel;
  panel.Form_Load();
  ASSERT_EQ(view.messages, std::vector<std::string>{});
  ASSERT_EQ(synth_->output(), "jack");
  EXPECT_EQ(synth_->soundFontLoads(), 1);
  ASSERT_TRUE(listen());

  EXPECT_TRUE(silentFor(kSilenceBlock));
  panel.SwitchOn(19);
  EXPECT_TRUE(soundStarts());
  // Held: it keeps sounding.
  const auto held = capture_->measure(kSoundBlock);
  ASSERT_TRUE(held);
  EXPECT_GT(held->rms, kAudible);
  panel.SwitchOff(19);
  EXPECT_TRUE(soundStops());
  panel.Form_Unload();
}

TEST_F(SynthPlayback, CloseSilencesAndReopenPlaysWithoutReload) {
  midi::PortHandle handle = 0;
  ASSERT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kOk) << service_->lastError();
  const std::string client = synth_->jackClientName();
  ASSERT_TRUE(listen());
  service_->send(handle, 0x0010C0);  // an organ: it holds for as long as the key
  service_->send(handle, 0x7F3C90);  // a note that is never released
  ASSERT_TRUE(soundStarts());

  EXPECT_EQ(service_->close(handle), midi::rc::kOk);
  EXPECT_EQ(synth_->output(), "");
  EXPECT_EQ(capture_->connectFrom(client), 0) << "the synthesizer's outputs outlived the close";
  EXPECT_TRUE(silentFor(kSilenceBlock));

  ASSERT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kOk) << service_->lastError();
  ASSERT_TRUE(listen());
  EXPECT_TRUE(silentFor(kSilenceBlock)) << "the note held at the close came back";
  service_->send(handle, 0x7F4090);
  EXPECT_TRUE(soundStarts());
  service_->send(handle, 0x004080);
  EXPECT_TRUE(soundStops());
  EXPECT_EQ(synth_->soundFontLoads(), 1);
  EXPECT_EQ(service_->close(handle), midi::rc::kOk);
}

// A piano note dies away by itself, which would make every way of ending a
// note look as if it worked: the organ holds until it is told to stop.
constexpr std::uint32_t kOrgan = 0x0010C0;      // program 17, Drawbar Organ, channel 1
constexpr std::uint32_t kOrganOn6 = 0x0010C5;   // the same on channel 6

struct MessageCase {
  const char* name;
  std::vector<std::uint32_t> start;
  bool sounds;
  std::vector<std::uint32_t> stop;  // when it sounds: what silences it again; empty: nothing does
  bool atOnce = false;              // the stop cuts the sound off, without a release
};

const MessageCase kMessageCases[] = {
    {"HeldOrganKeepsSounding", {kOrgan, 0x7F3C90}, true, {}},
    {"NoteOffEndsTheNote", {kOrgan, 0x7F3C90}, true, {0x003C80}},
    {"VelocityZeroEndsTheNote", {kOrgan, 0x7F3C90}, true, {0x003C90}},
    {"AllNotesOff", {kOrgan, 0x7F3C90}, true, {0x007BB0}},
    {"AllSoundOff", {kOrgan, 0x7F3C90}, true, {0x0078B0}, true},
    {"SystemReset", {kOrgan, 0x7F3C90}, true, {0x0000FF}, true},
    {"AnotherChannel", {kOrganOn6, 0x7F3C95}, true, {0x003C85}},
    {"PitchBendWhileHeld", {kOrgan, 0x7F3C90, 0x7F7FE0}, true, {0x003C80}},
    {"Drums", {0x7F2699}, true, {0x002689}},
    {"DataByteOutOfRangeIsDropped", {kOrgan, 0x803C90}, false, {}},
    {"NoteOffAloneIsSilent", {0x003C80}, false, {}},
};

class SynthMessages : public SynthPlayback, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SynthMessages, SoundAsMidiSays) {
  const MessageCase& c = GetParam();
  midi::PortHandle handle = 0;
  ASSERT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kOk) << service_->lastError();
  ASSERT_TRUE(listen());
  for (auto message : c.start) service_->send(handle, message);
  if (!c.sounds) {
    EXPECT_TRUE(silentFor(3 * kSilenceBlock));
    return;
  }
  ASSERT_TRUE(soundStarts());
  if (c.stop.empty()) {
    EXPECT_FALSE(capture_->waitForSilence(kSilent, kSilenceBlock, 2 * kSecond));
    return;
  }
  for (auto message : c.stop) service_->send(handle, message);
  if (c.atOnce) {
    capture_->measure(capture_->period());  // may have been rendered before the stop
    const auto next = capture_->measure(kSilenceBlock);
    ASSERT_TRUE(next);
    EXPECT_LT(next->rms, kAudible);
  }
  EXPECT_TRUE(soundStops());
}

INSTANTIATE_TEST_SUITE_P(Table, SynthMessages, ::testing::ValuesIn(kMessageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SynthPlayback, BrokenSoundFontIsRefusedAndAGoodOneLoadsNext) {
  const std::string broken = ::testing::TempDir() + "broken-" + std::to_string(getpid()) + ".sf2";
  {
    // The right header, then nothing a SoundFont has.
    std::ofstream file(broken, std::ios::binary);
    file << "RIFF" << std::string(4, '\x40') << "sfbk" << std::string(64, 'x');
  }
  variable_.set(broken.c_str());
  SynthBackend::Options options;
  options.locations = std::vector<std::string>{};
  options.fluidDefault = "";
  makeService(options);

  midi::PortHandle handle = 0;
  EXPECT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kError);
  EXPECT_NE(service_->lastError().find("The SoundFont \"" + broken + "\" could not be loaded"), std::string::npos)
      << service_->lastError();
  EXPECT_EQ(synth_->soundFontLoads(), 0);

  variable_.set(installed_.c_str());
  ASSERT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kOk) << service_->lastError();
  EXPECT_EQ(synth_->soundFont(), installed_);
  EXPECT_EQ(synth_->soundFontLoads(), 1);
  ASSERT_TRUE(listen());
  service_->send(handle, 0x7F3C90);
  EXPECT_TRUE(soundStarts());
  std::remove(broken.c_str());
}

TEST_F(SynthPlayback, OnePortAtATime) {
  auto first = synth_->openPort({});
  ASSERT_EQ(first.code, midi::rc::kOk);
  const auto second = synth_->openPort({});
  EXPECT_EQ(second.code, midi::rc::kAllocated);
  EXPECT_EQ(second.port, nullptr);
  first.port.reset();
  const auto third = synth_->openPort({});
  EXPECT_EQ(third.code, midi::rc::kOk);
  EXPECT_EQ(synth_->soundFontLoads(), 1);
}

TEST_F(SynthPlayback, ServerGoneWhileOpen) {
  midi::PortHandle handle = 0;
  ASSERT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kOk) << service_->lastError();
  capture_.reset();
  server_->stop();
  // Sends into the silent synthesizer go nowhere, quietly.
  service_->send(handle, 0x7F3C90);
  service_->send(handle, 0x003C80);
  EXPECT_EQ(service_->close(handle), midi::rc::kOk);
  EXPECT_EQ(service_->open(midi::kDefaultDevice, handle), midi::rc::kNoDevice);
  EXPECT_NE(service_->lastError().find("no JACK server is running"), std::string::npos) << service_->lastError();
}

}  // namespace
