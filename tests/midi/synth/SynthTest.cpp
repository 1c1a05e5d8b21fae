// The built-in synthesizer on a JACK server of the test's own, and its refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "midi/jack/JackClient.h"
#include "midi/synth/SoundFont.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/JackListener.h"

namespace {

using namespace testing_support;

constexpr jack_nframes_t kSecond = 48000;
const std::string kInstalled = midi::StandardSoundFontLocations()[0];  // Debian's link to its GM SoundFont

// The smoke test: everything else is rendered offline (SynthRenderTest). The synthesizer's ports appear, are
// connected to the speakers at once and carry its sound. At the close the releases of the last Note Offs play
// to the end of a cycle that fades out, silence follows, and the ports go. The reset before the output
// stopped cut the sound at a cycle's end, with a click.
TEST(SynthOnJack, PlaysThroughTheSpeakersAndFadesOutAtItsClose) {
  if (!Installed("jackd") || !std::filesystem::exists(kInstalled)) GTEST_SKIP() << "not installed";
  JackServer server(true, 1024);
  ASSERT_TRUE(server.ready());
  // The last period before silence: the level of its first and of its last 64 frames.
  std::array<float, 8192> last{};
  std::atomic<float> head{0}, tail{0};
  std::atomic<bool> sounded{false};
  JackListener capture("zelmora-capture", "midi_in", [&](const float* samples, jack_nframes_t frames) {
    const auto rms = [](const float* x) {
      float sum = 0;
      for (int i = 0; i < 64; ++i) sum += x[i] * x[i];
      return std::sqrt(sum / 64);
    };
    const bool silent = std::all_of(samples, samples + frames, [](float x) { return x == 0; });
    if (silent && sounded && head == 0) head = rms(last.data()), tail = rms(last.data() + frames - 64);
    if (!silent) sounded = true, std::copy(samples, samples + frames, last.begin());
  });
  ASSERT_TRUE(capture.ready());
  // Only JACK: whatever happens, the test must not play on the machine's own speakers.
  midi::JackClient jack("zelmora-synth");
  midi::SynthBackend synth({std::nullopt, std::nullopt, {"jack"}, &jack, true});
  auto opened = synth.openPort({});
  ASSERT_EQ(opened.code, midi::rc::kOk) << opened.reason;
  const std::string client = synth.jackClientName();
  EXPECT_EQ(capture.connections(client + ":left"), std::vector<std::string>{"system:playback_1"});
  EXPECT_EQ(capture.connections(client + ":right"), std::vector<std::string>{"system:playback_2"});
  ASSERT_EQ(capture.connectFrom(client), 2);
  const std::uint8_t organ[] = {0xC0, 16}, on[] = {0x90, 60, 127}, off[] = {0x80, 60, 0};
  opened.port->send(organ, 2);
  opened.port->send(on, 3);
  ASSERT_TRUE(capture.waitForLevel(true, 0.005, 1024, kSecond)) << "the organ does not sound";
  opened.port->send(off, 3);
  opened.port.reset();
  ASSERT_TRUE(WaitFor([&] { return head > 0; }, std::chrono::seconds(10))) << "no silence after the close";
  EXPECT_LT(tail, head / 10) << "the sound was cut at the end of a cycle";
  EXPECT_EQ(capture.connectFrom(client), 0) << "the synthesizer's outputs outlived the close";
  EXPECT_EQ(synth.openPort({}).code, midi::rc::kOk) << "a close leaves it ready to open again";
  EXPECT_EQ(synth.soundFontLoads(), 1) << "reopening loaded the SoundFont again";
}

struct RefusalCase {
  const char* name;
  std::string soundFont;               // ZELMORA_SOUNDFONT; empty: unset
  std::vector<std::string> locations;  // where the distribution's SoundFont would be
  std::vector<std::string> outputs;
  std::int32_t code;
  std::vector<std::string> reasonHas, reasonLacks, stderrHas;
};

const std::string kTemp = ::testing::TempDir();
const std::string kBroken = kTemp + "broken.sf2";  // a SoundFont's header, then nothing of one
const std::string kEmpty = kTemp + "empty.sf2";
const std::string kText = kTemp + "text.sf2";
const std::string kInstallHint = "Install the Debian package fluid-soundfont-gm";
const std::string kDamaged = kTemp + "damaged.sf2";

// A SoundFont whose preset data (a fuzzing seed's) places its samples beyond its 64 bytes of sample data.
void WriteDamaged() {
  std::ifstream seed(ZELMORA_SOUNDFONT_SEED, std::ios::binary);
  const std::string pdta =
      std::string(std::istreambuf_iterator<char>(seed), {}).substr(2);  // after the preset
  const auto u32 = [](std::size_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  const std::string sdta = "sdtasmpl" + u32(64) + std::string(64, '\0');
  const std::string lists = "LIST" + u32(sdta.size()) + sdta + "LIST" + u32(pdta.size() + 4) + "pdta" + pdta;
  std::ofstream(kDamaged, std::ios::binary) << "RIFF" << u32(lists.size() + 4) << "sfbk" << lists;
}

// clang-format off
const RefusalCase kRefusals[] = {
    {"NoSoundFontAnywhere", "", {}, {"jack"}, midi::rc::kError,
     {"No General MIDI SoundFont was found", kInstallHint, "ZELMORA_SOUNDFONT"}, {}, {}},
    {"VariableNamesNothing", "/nonexistent/piano.sf2", {}, {"jack"}, midi::rc::kError,
     {"ZELMORA_SOUNDFONT names \"/nonexistent/piano.sf2\", which does not exist. No General", kInstallHint}, {},
     {"ZELMORA_SOUNDFONT names \"/nonexistent/piano.sf2\", which does not exist.\n"}},
    {"VariableNamesAnEmptyFile", kEmpty, {}, {"jack"}, midi::rc::kError, {"\", which is empty. No General"}, {}, {"which is empty"}},
    {"VariableNamesAFolder", kTemp, {}, {"jack"}, midi::rc::kError, {"\", which is a folder. No General"}, {}, {"is a folder"}},
    {"VariableNamesText", kText, {}, {"jack"}, midi::rc::kError, {"\", which is not a SoundFont file. No"}, {}, {}},
    // Said on stderr, and the distribution's SoundFont plays (here: would, but for the audio output).
    {"VariablePassedOverSaysWhy", kText, {kInstalled}, {"nosuch"}, midi::rc::kNoDevice, {"nosuch could not be opened"}, {},
     {"ZELMORA_SOUNDFONT names \"" + kText + "\", which is not a SoundFont file.\n"}},
    // FluidSynth's own first error says what is wrong with the file.
    {"BrokenSoundFont", kBroken, {}, {"nosuch"}, midi::rc::kError,
     {"The SoundFont \"" + kBroken + "\" could not be loaded (", kInstallHint}, {}, {}},
    {"BrokenSoundFontBesideTheInstalledOne", kBroken, {kInstalled}, {"nosuch"}, midi::rc::kError,
     {"could not be loaded (", "Set ZELMORA_SOUNDFONT to another SoundFont file"}, {kInstallHint}, {}},
    {"SamplesPastTheEnd", kDamaged, {}, {"nosuch"}, midi::rc::kError,
     {"could not be loaded (the sample \"L\" lies past the end of the sample data)"}, {}, {}},
    {"NoAudioOutput", kInstalled, {}, {"jack", "nosuch"}, midi::rc::kNoDevice,
     {"no audio output: no JACK server is running; nosuch could not be opened", "choose \"MIDI Mapper\" again"}, {}, {}},
};
// clang-format on

class SynthRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SynthRefusal, SaysWhatIsMissing) {
  const RefusalCase& c = GetParam();
  std::ofstream(kBroken, std::ios::binary) << "RIFF" << std::string(4, '@') << "sfbk" << std::string(64, 'x');
  std::ofstream(kEmpty, std::ios::binary).flush();
  std::ofstream(kText) << "not a SoundFont\n";
  WriteDamaged();
  const JackStartTrap trap;
  c.soundFont.empty() ? unsetenv(midi::kSoundFontVariable)
                      : setenv(midi::kSoundFontVariable, c.soundFont.c_str(), 1);
  for (const bool preload : {true, false}) {  // loading ahead or at the open: the same answers
    ::testing::internal::CaptureStderr();
    midi::JackClient jack("zelmora-synth");
    midi::SynthBackend synth({c.locations, "", c.outputs, &jack, preload});
    for (int attempt = 0; attempt < 2; ++attempt) {  // a refusal leaves nothing half open
      const auto r = synth.openPort({});
      EXPECT_EQ(r.code, c.code) << preload;
      EXPECT_EQ(r.port, nullptr);
      for (const auto& part : c.reasonHas) EXPECT_NE(r.reason.find(part), std::string::npos) << r.reason;
      for (const auto& part : c.reasonLacks) EXPECT_EQ(r.reason.find(part), std::string::npos) << r.reason;
      EXPECT_LE(synth.soundFontLoads(), 1) << "a SoundFont once loaded stays loaded";
    }
    const std::string said = ::testing::internal::GetCapturedStderr();
    for (const auto& part : c.stderrHas) EXPECT_NE(said.find(part), std::string::npos) << said;
  }
  EXPECT_FALSE(trap.sprung()) << "opening the synthesizer tried to start a JACK server";
  unsetenv(midi::kSoundFontVariable);
}

INSTANTIATE_TEST_SUITE_P(Table, SynthRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SoundFontSearch, TheVariableThenFluidSynthsDefaultThenTheLocations) {
  // Which files are SoundFonts (an empty name is, to the search's own check), and the one picked.
  for (const auto& [files, picked] :
       std::map<std::string, std::string>{{"vfa", "v"}, {"fa", "f"}, {"ab", "a"}, {"b", "b"}, {"", ""}}) {
    const auto problemOf = [&](const std::string& path) {
      return files.find(path) != std::string::npos ? std::string() : std::string("is not a SoundFont file");
    };
    const auto choice = midi::FindSoundFont({"v", "f", {"", "a", "b"}}, problemOf);
    EXPECT_EQ(choice.path, picked);
    EXPECT_EQ(choice.warning.empty(), picked == "v") << "a variable passed over is said";
  }
}

}  // namespace
