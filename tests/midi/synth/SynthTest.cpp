// The built-in synthesizer heard by a capture client on a JACK server of the test's own, and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "midi/jack/JackClient.h"
#include "midi/synth/SoundFont.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/JackListener.h"

namespace {

using namespace testing_support;

// RMS levels: a piano note at full velocity starts at about 0.02, its top keys at 0.0005.
constexpr double kAudible = 0.005;
constexpr double kSilent = 1e-4;
constexpr jack_nframes_t kPeriod = 1024;  // 21 ms: room for the test to act between two cycles
constexpr jack_nframes_t kSecond = 48000;
// Organs hold until told to stop: a piano note dies away, and any way of ending it would look right.
constexpr std::uint32_t kOrgan = 0x0010C0;      // program 17, Drawbar Organ, channel 1
constexpr std::uint32_t kAccordion = 0x0015C0;  // holds too, and has no sample above key 108
const std::string kInstalled = midi::StandardSoundFontLocations()[0];  // Debian's link to its GM SoundFont

// The fundamental in Hz: the first deep dip of the normalised difference function (YIN), placed between two
// samples by a parabola.
double Pitch(const std::vector<float>& x) {
  const int maxLag = kSecond / 200;
  std::vector<double> d(maxLag + 2, 0.0);
  for (int lag = 1; lag <= maxLag + 1; ++lag) {
    for (std::size_t i = 0; i + maxLag + 1 < x.size(); ++i) d[lag] += std::pow(x[i] - x[i + lag], 2);
  }
  double sum = d[1];
  for (int lag = 2; lag <= maxLag; ++lag) {
    sum += d[lag];
    const double a = d[lag - 1], b = d[lag], c = d[lag + 1];
    if (b * lag < 0.2 * sum && b <= c)
      return kSecond / (lag + (a + c > 2 * b ? (a - c) / (2 * (a + c - 2 * b)) : 0));
  }
  return 0;
}

double Cents(double heard, int note) { return 1200 * std::log2(heard / 440) - 100 * (note - 69); }

class SynthPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("jackd") || !std::filesystem::exists(kInstalled)) GTEST_SKIP() << "not installed";
    ASSERT_TRUE((server_ = std::make_unique<JackServer>(false, kPeriod))->ready());
    ASSERT_TRUE((capture_ = std::make_unique<JackListener>())->ready());
    open();
  }
  void open() {
    auto opened = synth_.openPort({});
    ASSERT_EQ(opened.code, midi::rc::kOk) << opened.reason;
    port_ = std::move(opened.port);
    const std::string client = synth_.jackClientName();  // plays on the speakers at once
    EXPECT_EQ(capture_->connections(client + ":left"), std::vector<std::string>{"system:playback_1"});
    EXPECT_EQ(capture_->connections(client + ":right"), std::vector<std::string>{"system:playback_2"});
    EXPECT_EQ(capture_->connectFrom(client), 2);
  }
  void send(std::initializer_list<std::uint32_t> messages) {
    for (const std::uint32_t m : messages) {
      const std::uint8_t bytes[] = {std::uint8_t(m), std::uint8_t(m >> 8), std::uint8_t(m >> 16)};
      port_->send(bytes, 3);
    }
  }
  double level(jack_nframes_t n) { return capture_->level(n).value_or(1); }
  double cents(jack_nframes_t frames, int note) {
    return Cents(Pitch(capture_->record(frames).value_or(std::vector<float>(frames))), note);
  }
  bool sounds(double rms = kAudible) { return capture_->waitForLevel(true, rms, kPeriod, kSecond); }

  std::unique_ptr<JackServer> server_;  // first made, last gone
  std::unique_ptr<JackListener> capture_;
  // Only JACK: whatever happens, the test must not play on the machine's own speakers.
  midi::JackClient jack_{"zelmora-synth"};
  midi::SynthBackend synth_{{std::nullopt, std::nullopt, {"jack"}, &jack_, true}};
  std::unique_ptr<midi::OutputPort> port_;  // goes before the synthesizer
};

// The piano, what every channel plays from start-up, has no sample above key 108: the top row of switches
// sounds all the same, each at its own pitch.
TEST_F(SynthPlayback, EverySwitchSoundsAtItsPitch) {
  for (int note = 60; note <= 122; ++note) {
    if (note == 76 || (0b101010110101 >> note % 12 & 1) == 0) continue;  // the white keys, as the switches
    send({0x7F0090u | note << 8});
    EXPECT_TRUE(sounds(3 * kSilent)) << note;
    EXPECT_NEAR(cents(2048, note), 0, 50) << note;
    send({0x0000FF});  // silence at once, with the reverberation
    level(kPeriod);
  }
}

TEST_F(SynthPlayback, CloseSilencesReopenPlaysWithoutReloadServerMayGo) {
  const std::string client = synth_.jackClientName();
  send({kAccordion, 0x7F3C90, 0x7F6E90});  // never released; 110 plays from 98
  ASSERT_TRUE(sounds());
  port_.reset();
  EXPECT_EQ(capture_->connectFrom(client), 0) << "the synthesizer's outputs outlived the close";
  ASSERT_NO_FATAL_FAILURE(open());
  EXPECT_LT(level(4800), kSilent) << "a note held at the close came back";
  send({0x7F4090});
  EXPECT_TRUE(sounds());
  EXPECT_EQ(synth_.soundFontLoads(), 1);
  EXPECT_EQ(synth_.openPort({}).code, midi::rc::kAllocated) << "one port at a time";

  capture_.reset();
  server_->stop();
  send({0x7F3C90, 0x003C80});  // into the silent synthesizer, quietly
  port_.reset();
  EXPECT_NE(synth_.openPort({}).reason.find("no JACK server is running"), std::string::npos);
}

// An idle synthesizer renders nothing; the first note after the pause must still be heard in the cycle after
// it was sent, as any other.
TEST_F(SynthPlayback, AfterAPauseTheNextCyclePlays) {
  bool heard = false;
  for (int attempt = 0; attempt < 3 && !heard; ++attempt) {  // a busy machine may delay a send past a cycle
    send({0x7F3C90, 0x0000FF});
    level(kSecond);  // paused by now
    level(kPeriod);  // the send comes just after a cycle, long before the next
    send({0x7F4090});
    heard = level(kPeriod) > kAudible;
  }
  EXPECT_TRUE(heard) << "the first note after a pause came late, or never";
}

enum Ends { kHolds, kWithRelease, kAtOnce, kNeverSounds };
struct MessageCase {
  const char* name;
  std::vector<std::uint32_t> start, stop;
  Ends ends;
};

const MessageCase kMessageCases[] = {
    {"HeldOrganKeepsSounding", {kOrgan, 0x7F3C90}, {}, kHolds},
    {"NoteOffEndsTheNote", {kOrgan, 0x7F3C90}, {0x003C80}, kWithRelease},
    {"VelocityZeroEndsTheNote", {kOrgan, 0x7F3C90}, {0x003C90}, kWithRelease},
    {"AllNotesOff", {kAccordion, 0x7F3C90, 0x7F6E90}, {0x007BB0}, kWithRelease},
    {"AllSoundOff", {kAccordion, 0x7F3C90, 0x7F6E90}, {0x0078B0}, kAtOnce},
    {"SystemReset", {kAccordion, 0x7F3C90, 0x7F6E90}, {0x0000FF}, kAtOnce},
    {"AnotherChannel", {0x0010C5, 0x7F3C95}, {0x003C85}, kWithRelease},
    {"PitchBendWhileHeld", {kOrgan, 0x7F3C90, 0x7F7FE0}, {0x003C80}, kWithRelease},
    {"Drums", {0x7F2699}, {0x002689}, kWithRelease},
    // 110 plays from 98 on another channel: its Note Off must end it, and only it.
    {"KeyOutsideThePreset", {kAccordion, 0x7F6290, 0x7F6E90, 0x006E80}, {0x006280}, kWithRelease},
    {"DrumKeyWithoutASound", {0x7F7899}, {}, kNeverSounds},
    {"DataByteOutOfRangeIsDropped", {kOrgan, 0x803C90}, {}, kNeverSounds},
    {"NoteOffAlone", {0x003C80}, {}, kNeverSounds},
};

class SynthMessages : public SynthPlayback, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SynthMessages, SoundsAndStopsAsMidiSays) {
  const MessageCase& c = GetParam();
  for (const auto message : c.start) send({message});
  ASSERT_EQ(sounds(), c.ends != kNeverSounds);
  if (c.ends == kNeverSounds) return;
  for (const auto message : c.stop) send({message});
  level(kPeriod);  // may have been rendered before the stop
  EXPECT_LT(c.ends == kAtOnce ? level(4800) : 0, kAudible);
  EXPECT_EQ(capture_->waitForLevel(false, kSilent, 4800, (c.ends == kHolds ? 2 : 8) * kSecond),
            c.ends != kHolds);
}

constexpr auto kName = [](const auto& info) { return std::string(info.param.name); };
INSTANTIATE_TEST_SUITE_P(Table, SynthMessages, ::testing::ValuesIn(kMessageCases), kName);

struct RefusalCase {
  const char* name;
  std::string soundFont;  // ZELMORA_SOUNDFONT; empty: unset
  std::vector<std::string> outputs;
  std::int32_t code;
  std::vector<std::string> reasonHas;
};

const std::string kBroken = ::testing::TempDir() + "broken.sf2";  // a SoundFont's header, then nothing of one

// clang-format off
const RefusalCase kRefusals[] = {
    {"NoSoundFontAnywhere", "", {"jack"}, midi::rc::kError,
     {"No General MIDI SoundFont was found", "Install the Debian package fluid-soundfont-gm", "ZELMORA_SOUNDFONT"}},
    {"VariableNamesNothing", "/nonexistent/piano.sf2", {"jack"}, midi::rc::kError,
     {"ZELMORA_SOUNDFONT names \"/nonexistent/piano.sf2\", which is not a SoundFont file", "fluid-soundfont-gm"}},
    // FluidSynth's own first error says what is wrong with the file.
    {"BrokenSoundFont", kBroken, {"nosuch"}, midi::rc::kError, {"The SoundFont \"" + kBroken + "\" could not be loaded ("}},
    {"NoAudioOutput", kInstalled, {"jack", "nosuch"}, midi::rc::kNoDevice,
     {"no audio output: no JACK server is running; nosuch could not be opened", "choose \"MIDI Mapper\" again"}},
};
// clang-format on

class SynthRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SynthRefusal, SaysWhatIsMissing) {
  const RefusalCase& c = GetParam();
  std::ofstream(kBroken, std::ios::binary) << "RIFF" << std::string(4, '@') << "sfbk" << std::string(64, 'x');
  const JackStartTrap trap;
  c.soundFont.empty() ? unsetenv(midi::kSoundFontVariable)
                      : setenv(midi::kSoundFontVariable, c.soundFont.c_str(), 1);
  for (const bool preload : {true, false}) {  // loading ahead or at the open: the same answers
    midi::JackClient jack("zelmora-synth");
    midi::SynthBackend synth({std::vector<std::string>{}, "", c.outputs, &jack, preload});
    for (int attempt = 0; attempt < 2; ++attempt) {  // a refusal leaves nothing half open
      const auto r = synth.openPort({});
      EXPECT_EQ(r.code, c.code) << preload;
      EXPECT_EQ(r.port, nullptr);
      for (const auto& part : c.reasonHas) EXPECT_NE(r.reason.find(part), std::string::npos) << r.reason;
      EXPECT_LE(synth.soundFontLoads(), 1) << "a SoundFont once loaded stays loaded";
    }
  }
  EXPECT_FALSE(trap.sprung()) << "opening the synthesizer tried to start a JACK server";
  unsetenv(midi::kSoundFontVariable);
}

INSTANTIATE_TEST_SUITE_P(Table, SynthRefusal, ::testing::ValuesIn(kRefusals), kName);

TEST(SoundFontSearch, TheVariableThenFluidSynthsDefaultThenTheLocations) {
  // Which files are SoundFonts (an empty name is, to the search's own check), and the one picked.
  for (const auto& [files, picked] :
       std::map<std::string, std::string>{{"vfa", "v"}, {"fa", "f"}, {"ab", "a"}, {"b", "b"}, {"", ""}}) {
    const auto isSoundFont = [&](const std::string& path) { return files.find(path) != std::string::npos; };
    EXPECT_EQ(midi::FindSoundFont({"v", "f", {"", "a", "b"}}, isSoundFont).path, picked);
  }
}

}  // namespace
