#include <gtest/gtest.h>

#include <algorithm>

#include "midi/PortService.h"

namespace {

using Log = std::vector<std::string>;

// Lists ports at "addr:NAME", or refuses every open; logs what its ports do. Its server can stop and start
// again (a new session), its receivers leave and come back.
struct FakeBackend final : midi::Backend {
  struct Port final : midi::OutputPort {
    Port(FakeBackend& backend, std::string name) : backend(backend), name(std::move(name)) {}
    ~Port() override { backend.log.push_back("close " + name); }
    void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
      backend.log.push_back("send " + name);
      for (std::size_t i = 0; i < count; ++i) backend.log.back() += " " + std::to_string(bytes[i]);
    }
    Health check() noexcept override {
      if (!backend.serverUp || session != backend.session) return Health::kServerGone;
      return backend.receiverUp ? Health::kPlaying : Health::kReceiverGone;
    }
    FakeBackend& backend;
    std::string name;
    int session = backend.session;
  };
  FakeBackend(Log& log, std::vector<std::string> names, std::int32_t refuse = 0)
      : log(log), names(std::move(names)), refuse(refuse) {}
  std::vector<midi::PortInfo> listPorts() override {
    std::vector<midi::PortInfo> out;
    for (const auto& n : names) out.push_back({n, "addr:" + n});
    return out;
  }
  midi::OpenResult openPort(const midi::PortInfo& port) override {
    if (refuse != 0 || !serverUp) return {nullptr, refuse != 0 ? refuse : 68, "refused " + port.name};
    log.push_back("open " + port.address);
    return {std::make_unique<Port>(*this, port.name), midi::rc::kOk, {}};
  }
  Log& log;
  std::vector<std::string> names;
  std::int32_t refuse;
  bool serverUp = true, receiverUp = true;
  int session = 1;
};

TEST(PortService, ListsOpensSendsAndCloses) {
  Log log;
  std::vector<std::unique_ptr<midi::Backend>> backends;
  for (const Log& names : {Log{"A", "B"}, Log{"C"}})
    backends.push_back(std::make_unique<FakeBackend>(log, names));
  midi::PortService service(std::make_unique<FakeBackend>(log, Log{}, 68), std::move(backends));
  ASSERT_EQ(service.deviceCount(), 3);
  EXPECT_EQ(service.productName(0), "A");
  EXPECT_EQ(service.productName(2), "C");
  EXPECT_EQ(service.productName(3), "");
  midi::PortHandle handle = 77;
  EXPECT_EQ(service.open(-1, handle), 68);
  EXPECT_EQ(service.lastError(), "refused MIDI Mapper");
  EXPECT_EQ(service.open(3, handle), midi::rc::kBadDeviceId);
  EXPECT_EQ(service.open(-2, handle), midi::rc::kBadDeviceId);
  EXPECT_EQ(handle, 77);
  ASSERT_EQ(service.open(2, handle), midi::rc::kOk);
  EXPECT_EQ(service.open(2, handle), midi::rc::kAllocated);
  service.send(handle, 0x007F3C90);
  EXPECT_EQ(service.close(handle), midi::rc::kOk);
  EXPECT_EQ(service.close(handle), midi::rc::kInvalidHandle);
  service.send(handle, 0x007F3C90);  // closed: goes nowhere
  EXPECT_EQ(log, (Log{"open addr:C", "send C 144 60 127", "close C"}));
}

// Asked about once a second, the service tells what happened to the open port since, once, and opens it anew
// under its handle when its server answers again: a server that restarted left the panel silent until the
// user chose the entry again.
TEST(PortService, PollSaysWhatChangedAndReopensAPortOnceItsServerAnswers) {
  Log log;
  auto fake = std::make_unique<FakeBackend>(log, Log{"A"});
  FakeBackend& backend = *fake;
  std::vector<std::unique_ptr<midi::Backend>> backends;
  backends.push_back(std::move(fake));
  midi::PortService service(nullptr, std::move(backends));
  ASSERT_EQ(service.deviceCount(), 1);
  midi::PortHandle handle = 0;
  ASSERT_EQ(service.open(0, handle), midi::rc::kOk);
  struct Step {
    bool serverUp;
    int session;
    bool receiverUp;
    Log news;
  };
  const Step steps[] = {
      {true, 1, true, {}},
      {true, 1, false, {"A has gone."}},
      {true, 1, false, {}},
      {true, 1, true, {"A is back."}},
      {false, 1, true, {"The JACK server has stopped."}},
      {false, 1, true, {}},
      {true, 2, true, {"Playing again on A."}},
      {true, 2, false, {"A has gone."}},
      {true, 2, true, {"A is back."}},
      {true, 3, true, {"The JACK server has stopped.", "Playing again on A."}},  // between two polls
      {true, 3, true, {}},
  };
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    backend.serverUp = steps[i].serverUp, backend.session = steps[i].session;
    backend.receiverUp = steps[i].receiverUp;
    EXPECT_EQ(service.poll(), steps[i].news) << "step " << i;
  }
  service.send(handle, 0x3C80);
  EXPECT_EQ(std::count(log.begin(), log.end(), "open addr:A"), 3);
  EXPECT_EQ(log.back(), "send A 128 60 0") << "the handle plays on the port opened last";
}

// JACK and ALSA name ports "client:port", often longer than the 31 characters a menu name may have; cutting
// at the end lost the port, which is what tells them apart, and JACK's "-01" at a client's end.
TEST(PortService, ProductNamesKeepWhatTellsPortsApart) {
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      {{"zelmora-receiver:midi_in", "Midi Through:Midi Through Port-0", std::string(40, 'x'),
        "aaaaaaaaaaaaaaaaaaaaéééééééééééé"},  // cut, but never inside a character
       {"zelmora-receiver:midi_in", "Midi Through Port-0", std::string(31, 'x'),
        "aaaaaaaaaaaaaaaaaaaaééééééééééé"}},
      {{"A Rather Long Software Synthesizer:midi_in", "A Rather Long Software Synthesizer-01:midi_in"},
       {"A Rather Lo\u2026Synthesizer:midi_in", "A Rather Lo\u2026thesizer-01:midi_in"}},
      {{"a2j:Midi Through [14] (playback): Midi Through Port-0",
        "Midi-Bridge:Midi Through:(playback_0) Midi Through Port-0"},
       {"a2j:\u2026Midi Through Port-0", "Midi-Br\u2026:\u2026Midi Through Port-0"}},
      {{"zelmora-test-receiver-with-a-long-name:midi_in", "zelmora-test-receiver-with-a-long-name:midi_in",
        "Synth", "Synth"},
       {"zelmora-tes\u2026a-long-name:midi_in", "zelmora-te\u2026long-name:midi_in #2", "Synth", "Synth #2"}},
  };
  for (const auto& [longNames, expected] : cases) EXPECT_EQ(midi::ProductNames(longNames), expected);
}

TEST(PortService, AlsaBridgePortsAreKnownByName) {
  for (const char* port :
       {"a2j:Midi Through [14] (playback): Port-0", "system:midi_playback_1", "Midi-Bridge:x:y"})
    EXPECT_TRUE(midi::IsAlsaBridgePort(port)) << port;
  for (const char* port : {"system:playback_1", "fluidsynth:midi_00", "my a2j:in"})
    EXPECT_FALSE(midi::IsAlsaBridgePort(port)) << port;
}

}  // namespace
