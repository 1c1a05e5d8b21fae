// The port back-ends on a machine where their services are missing: no
// /dev/snd/seq here, and no JACK server under the name this test sets. They
// must list nothing, refuse opens with a code, never throw, never stall.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>

#include "midi/jack/JackBackend.h"
#include "midi/rtmidi/RtMidiBackend.h"

namespace {

struct NoServerCase {
  const char* name;
  std::function<std::unique_ptr<midi::Backend>()> create;
  bool alsa;  // skipped where the ALSA sequencer is there after all
};

class NoServer : public ::testing::TestWithParam<NoServerCase> {
 protected:
  void SetUp() override {
    // A server name nobody runs, and no attempt to start one.
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_DEFAULT_SERVER", ("zelmora-none-" + std::to_string(getpid())).c_str(), 1);
  }
};

TEST_P(NoServer, ListsNothingAndRefusesOpensQuickly) {
  if (GetParam().alsa && midi::AlsaSequencerAvailable()) GTEST_SKIP() << "this machine has an ALSA sequencer";
  const auto started = std::chrono::steady_clock::now();
  auto backend = GetParam().create();
  ASSERT_NE(backend, nullptr) << "compiled into every Linux build";
  EXPECT_TRUE(backend->listPorts().empty());
  const auto result = backend->openPort({"zelmora-receiver:midi_in", "zelmora-receiver:midi_in"});
  EXPECT_EQ(result.port, nullptr);
  EXPECT_EQ(result.code, midi::rc::kNoDevice);
  EXPECT_FALSE(result.reason.empty());
  // Starting a server, which JackNoStartServer forbids, would take seconds.
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

INSTANTIATE_TEST_SUITE_P(
    Backends, NoServer,
    ::testing::Values(NoServerCase{"alsa", &midi::CreateRtMidiAlsaBackend, true},
                      NoServerCase{"rtmidi_jack", [] { return midi::CreateRtMidiJackBackend(false); }, false},
                      NoServerCase{"jack", [] { return midi::CreateJackBackend(false); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Backends, OtherPlatformsAreNotBuiltHere) {
  EXPECT_EQ(midi::CreateRtMidiCoreMidiBackend(), nullptr);
  EXPECT_EQ(midi::CreateRtMidiWinMMBackend(), nullptr);
}

struct BridgeCase {
  const char* port;
  bool bridge;
};

class BridgePorts : public ::testing::TestWithParam<BridgeCase> {};

TEST_P(BridgePorts, AreRecognisedByName) { EXPECT_EQ(midi::IsAlsaBridgePort(GetParam().port), GetParam().bridge); }

INSTANTIATE_TEST_SUITE_P(Names, BridgePorts,
                         ::testing::Values(BridgeCase{"a2j:Midi Through [14] (playback): Midi Through Port-0", true},
                                           BridgeCase{"system:midi_playback_1", true},
                                           BridgeCase{"Midi-Bridge:Midi Through:(playback_0) Midi Through Port-0", true},
                                           BridgeCase{"system:playback_1", false},
                                           BridgeCase{"fluidsynth:midi_00", false},
                                           BridgeCase{"zelmora-receiver:midi_in", false},
                                           BridgeCase{"my a2j:in", false}));

}  // namespace
