#include <gtest/gtest.h>

#include "midi/PortService.h"

namespace {

using Log = std::vector<std::string>;

// Lists ports at "addr:NAME", or refuses every open; logs what its ports do.
struct FakeBackend final : midi::Backend {
  struct Port final : midi::OutputPort {
    Port(Log& log, std::string name) : log(log), name(std::move(name)) {}
    ~Port() override { log.push_back("close " + name); }
    void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
      log.push_back("send " + name);
      for (std::size_t i = 0; i < count; ++i) log.back() += " " + std::to_string(bytes[i]);
    }
    Log& log;
    std::string name;
  };
  FakeBackend(Log& log, std::vector<std::string> names, std::int32_t refuse = 0)
      : log(log), names(std::move(names)), refuse(refuse) {}
  std::vector<midi::PortInfo> listPorts() override {
    std::vector<midi::PortInfo> out;
    for (const auto& n : names) out.push_back({n, "addr:" + n});
    return out;
  }
  midi::OpenResult openPort(const midi::PortInfo& port) override {
    if (refuse != 0) return {nullptr, refuse, "refused " + port.name};
    log.push_back("open " + port.address);
    return {std::make_unique<Port>(log, port.name), midi::rc::kOk, {}};
  }
  Log& log;
  std::vector<std::string> names;
  std::int32_t refuse;
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
