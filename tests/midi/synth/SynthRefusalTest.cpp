// Opens of the built-in synthesizer that cannot succeed: each is refused with a
// code the panel shows and a reason that says what is missing, and nothing crashes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/synth/SoundFont.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/ScopedVariable.h"

namespace {

using midi::SynthBackend;
using testing_support::ScopedVariable;

std::string InstalledSoundFont() {
  for (const auto& path : midi::StandardSoundFontLocations()) {
    if (std::filesystem::exists(path)) return path;
  }
  return {};
}

// A HOME whose .jackdrc names a stand-in for jackd that only leaves a mark:
// libjack, told to start a server, starts what .jackdrc names.
class JackStartTrap {
 public:
  JackStartTrap()
      : home_(::testing::TempDir() + "jack-trap-" + std::to_string(getpid())),
        mark_(home_ + "/started"),
        variable_("HOME", home_.c_str()) {
    std::filesystem::create_directories(home_);
    std::filesystem::remove(mark_);
    const std::string stand_in = home_ + "/jackd";
    std::ofstream(stand_in) << "#!/bin/sh\ntouch '" << mark_ << "'\nexit 1\n";
    std::filesystem::permissions(stand_in, std::filesystem::perms::owner_all);
    std::ofstream(home_ + "/.jackdrc") << stand_in << " -d dummy\n";
  }
  ~JackStartTrap() { std::filesystem::remove_all(home_); }
  bool sprung() const { return std::filesystem::exists(mark_); }

 private:
  std::string home_;
  std::string mark_;
  ScopedVariable variable_;
};

constexpr const char* kInstalled = "<installed>";

struct RefusalCase {
  const char* name;
  const char* variable;  // ZELMORA_SOUNDFONT; nullptr: unset; kInstalled: the machine's GM SoundFont
  std::vector<std::string> outputs;
  std::int32_t code;
  std::vector<std::string> reasonHas;
};

const RefusalCase kCases[] = {
    {"NoSoundFontAnywhere", nullptr, {"jack"}, midi::rc::kError,
     {"No General MIDI SoundFont was found", "Install the Debian package fluid-soundfont-gm", "ZELMORA_SOUNDFONT"}},
    {"VariableNamesNothing", "/nonexistent/piano.sf2", {"jack"}, midi::rc::kError,
     {"ZELMORA_SOUNDFONT names \"/nonexistent/piano.sf2\", which is not a SoundFont file",
      "fluid-soundfont-gm"}},
    {"NoJackServer", kInstalled, {"jack"}, midi::rc::kNoDevice,
     {"no audio output", "no JACK server is running", "then choose \"MIDI Mapper\" again"}},
    {"NoOutputOfAnyKind", kInstalled, {"jack", "nosuch"}, midi::rc::kNoDevice,
     {"no JACK server is running; nosuch could not be opened"}},
};

class SynthRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SynthRefusal, SaysWhatIsMissing) {
  const RefusalCase& c = GetParam();
  const std::string installed = InstalledSoundFont();
  if (c.variable == kInstalled && installed.empty()) GTEST_SKIP() << "fluid-soundfont-gm is not installed";
  // No server of this name runs: the JACK output has nothing to meet. Without
  // JACK_NO_START_SERVER only the back-end's own care keeps libjack from
  // starting one.
  const std::string server = "zelmora-none-" + std::to_string(getpid());
  ScopedVariable jackServer("JACK_DEFAULT_SERVER", server.c_str());
  ScopedVariable noStart("JACK_NO_START_SERVER", nullptr);
  const JackStartTrap trap;
  ScopedVariable soundFont(midi::kSoundFontVariable, c.variable == kInstalled ? installed.c_str() : c.variable);

  // Loading ahead on a thread of its own or at the open: the same answers.
  for (const bool preload : {true, false}) {
    SCOPED_TRACE(preload ? "preloaded" : "loaded at the open");
    SynthBackend::Options options;
    options.locations = std::vector<std::string>{};  // only what the case names
    options.fluidDefault = "";
    options.outputs = c.outputs;
    options.preload = preload;
    auto backend = std::make_unique<SynthBackend>(options);
    SynthBackend& synth = *backend;
    midi::PortService service(std::move(backend), {});

    midi::PortHandle handle = 0;
    EXPECT_EQ(service.open(midi::kDefaultDevice, handle), c.code);
    EXPECT_EQ(handle, 0);
    for (const auto& part : c.reasonHas) {
      EXPECT_NE(service.lastError().find(part), std::string::npos) << service.lastError();
    }
    EXPECT_EQ(synth.output(), "");
    EXPECT_LE(synth.soundFontLoads(), 1);
    const int loads = synth.soundFontLoads();
    // Asking again gives the same answer: a refusal leaves nothing half open,
    // and a SoundFont it loaded stays loaded.
    EXPECT_EQ(service.open(midi::kDefaultDevice, handle), c.code);
    EXPECT_EQ(service.close(handle), midi::rc::kInvalidHandle);
    EXPECT_EQ(synth.soundFontLoads(), loads);
  }
  EXPECT_FALSE(trap.sprung()) << "opening the synthesizer tried to start a JACK server";
}

INSTANTIATE_TEST_SUITE_P(Table, SynthRefusal, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SynthRefusalInPanel, StartUpShowsTheBoxAndGoesOn) {
  ScopedVariable soundFont(midi::kSoundFontVariable, nullptr);
  SynthBackend::Options options;
  options.locations = std::vector<std::string>{};
  options.fluidDefault = "";
  midi::PortService service(std::make_unique<SynthBackend>(options), {});
  testing_support::FakePanelView view;
  engine::Panel panel(service, view);
  view.panel = &panel;

  panel.Form_Load();
  EXPECT_EQ(view.messages, std::vector<std::string>{"Couldn't open midi out, rc = 1"});
  EXPECT_EQ(view.lines[0], "Initialized...");
  // Playing into the refused destination goes nowhere, quietly.
  panel.SwitchOn(19);
  panel.SwitchOff(19);
  panel.device_Click(0);
  EXPECT_EQ(view.messages.size(), 2u);
  panel.Form_Unload();
}

}  // namespace
