#include <gtest/gtest.h>

#include "midi/PortService.h"

namespace {

using midi::OpenResult;
using midi::PortInfo;

struct Log {
  std::vector<std::string> events;
};

class FakePort final : public midi::OutputPort {
 public:
  FakePort(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
  ~FakePort() override { log_.events.push_back("close " + name_); }
  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    std::string text = "send " + name_;
    for (std::size_t i = 0; i < count; ++i) text += " " + std::to_string(bytes[i]);
    log_.events.push_back(text);
  }

 private:
  Log& log_;
  std::string name_;
};

class FakeBackend final : public midi::Backend {
 public:
  FakeBackend(Log& log, std::vector<std::string> names, std::int32_t refuse = 0)
      : log_(log), names_(std::move(names)), refuse_(refuse) {}
  std::vector<PortInfo> listPorts() override {
    std::vector<PortInfo> out;
    for (const auto& n : names_) out.push_back({n, "addr:" + n});
    return out;
  }
  OpenResult openPort(const PortInfo& port) override {
    if (refuse_ != 0) return {nullptr, refuse_, "refused " + port.name};
    log_.events.push_back("open " + port.address);
    return {std::make_unique<FakePort>(log_, port.name), midi::rc::kOk, {}};
  }

 private:
  Log& log_;
  std::vector<std::string> names_;
  std::int32_t refuse_;
};

std::unique_ptr<midi::PortService> MakeService(Log& log, std::int32_t refuseDefault = 0) {
  std::vector<std::unique_ptr<midi::Backend>> backends;
  backends.push_back(std::make_unique<FakeBackend>(log, std::vector<std::string>{"A", "B"}));
  backends.push_back(std::make_unique<FakeBackend>(log, std::vector<std::string>{"C"}));
  return std::make_unique<midi::PortService>(
      std::make_unique<FakeBackend>(log, std::vector<std::string>{}, refuseDefault), std::move(backends));
}

TEST(PortService, ListsBackendsInOrderAndOpensById) {
  Log log;
  auto service = MakeService(log);
  ASSERT_EQ(service->deviceCount(), 3);
  EXPECT_EQ(service->productName(0), "A");
  EXPECT_EQ(service->productName(2), "C");
  EXPECT_EQ(service->productName(3), "");
  EXPECT_EQ(service->productName(-1), "");

  midi::PortHandle handle = 0;
  ASSERT_EQ(service->open(2, handle), midi::rc::kOk);
  EXPECT_NE(handle, 0);
  service->send(handle, 0x007F3C90);
  service->send(handle, 0x000010C0);  // program change: two bytes
  service->send(handle, 0x00000042);  // a data byte starts no message
  EXPECT_EQ(service->close(handle), midi::rc::kOk);
  EXPECT_EQ(service->close(handle), midi::rc::kInvalidHandle);
  service->send(handle, 0x007F3C90);  // closed: goes nowhere
  EXPECT_EQ(log.events, (std::vector<std::string>{"open addr:C", "send C 144 60 127", "send C 192 16",
                                                  "close C"}));
}

TEST(PortService, OpenResults) {
  Log log;
  auto service = MakeService(log, midi::rc::kNoDevice);
  service->deviceCount();
  midi::PortHandle handle = 77;
  EXPECT_EQ(service->open(-1, handle), midi::rc::kNoDevice);
  EXPECT_EQ(service->lastError(), "refused MIDI Mapper");
  EXPECT_EQ(service->open(3, handle), midi::rc::kBadDeviceId);
  EXPECT_EQ(service->open(-2, handle), midi::rc::kBadDeviceId);
  EXPECT_EQ(handle, 77);
  ASSERT_EQ(service->open(0, handle), midi::rc::kOk);
  midi::PortHandle second = 0;
  EXPECT_EQ(service->open(0, second), midi::rc::kAllocated);
  EXPECT_EQ(service->close(0), midi::rc::kInvalidHandle);  // never opened
}

TEST(PortService, ProductNamesAreShortAndUnique) {
  const std::string longName(40, 'x');
  const auto names = midi::ProductNames({"Synth", longName, longName, "Synth", "ééééééééééééééééééééééééééééééééé"});
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], "Synth");
  EXPECT_EQ(names[1], std::string(31, 'x'));
  EXPECT_EQ(names[2], std::string(28, 'x') + " #2");
  EXPECT_EQ(names[3], "Synth #2");
  EXPECT_EQ(names[4].size(), 62u);  // 31 two-byte characters, not cut inside one
}

struct ShortNameCase {
  const char* name;
  std::vector<std::string> longNames;
  std::vector<std::string> expected;
};

class PortNames : public ::testing::TestWithParam<ShortNameCase> {};

// JACK and ALSA name ports "client:port", often longer than a menu name may
// be; cutting at the end lost the port, which is what tells them apart.
TEST_P(PortNames, KeepTheDistinctivePartsWithin31Characters) {
  const auto names = midi::ProductNames(GetParam().longNames);
  EXPECT_EQ(names, GetParam().expected);
  for (const auto& name : names) {
    std::size_t points = 0;
    for (char c : name) points += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    EXPECT_LE(points, 31u) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    ClientAndPort, PortNames,
    ::testing::Values(
        ShortNameCase{"short_name_unchanged", {"zelmora-receiver:midi_in"}, {"zelmora-receiver:midi_in"}},
        ShortNameCase{"port_repeats_client", {"Midi Through:Midi Through Port-0"}, {"Midi Through Port-0"}},
        ShortNameCase{"long_client_keeps_both_ends_and_port",
                      {"zelmora-test-receiver-with-a-long-name:midi_in"},
                      {"zelmora-tes\u2026a-long-name:midi_in"}},
        ShortNameCase{"jack_numbered_clients_stay_apart",
                      {"A Rather Long Software Synthesizer:midi_in", "A Rather Long Software Synthesizer-01:midi_in"},
                      {"A Rather Lo\u2026Synthesizer:midi_in", "A Rather Lo\u2026thesizer-01:midi_in"}},
        ShortNameCase{"long_port_keeps_its_end",
                      {"a2j:Midi Through [14] (playback): Midi Through Port-0"},
                      {"a2j:\u2026Midi Through Port-0"}},
        ShortNameCase{"long_client_and_port",
                      {"Midi-Bridge:Midi Through:(playback_0) Midi Through Port-0"},
                      {"Midi-Br\u2026:\u2026Midi Through Port-0"}},
        ShortNameCase{"same_short_name_numbered",
                      {"zelmora-test-receiver-with-a-long-name:midi_in", "zelmora-test-receiver-with-a-long-name:midi_in"},
                      {"zelmora-tes\u2026a-long-name:midi_in", "zelmora-te\u2026long-name:midi_in #2"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
