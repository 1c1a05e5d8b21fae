// The panel playing into a real JACK server through each JACK back-end:
// a server of the test's own (48 kHz, 64 frames), a receiver of the
// project's own, and engine::Panel driving the port service.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>

#include "engine/Panel.h"
#include "midi/Platform.h"
#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "midi/rtmidi/RtMidiBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/JackServer.h"
#include "tests/support/SilentBackend.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testing_support::FakePanelView;
using testing_support::JackMidiReceiver;
using testing_support::JackServer;
using testing_support::SilentBackend;

constexpr auto kDelivery = std::chrono::seconds(5);
constexpr auto kQuiet = std::chrono::milliseconds(100);


struct BackendCase {
  const char* name;
  std::function<std::unique_ptr<midi::Backend>()> create;
};

class JackPorts : public ::testing::TestWithParam<BackendCase> {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
    server_ = std::make_unique<JackServer>();
    ASSERT_TRUE(server_->ready()) << "jackd did not answer";
    receiver_ = std::make_unique<JackMidiReceiver>();
    ASSERT_TRUE(receiver_->ready());
    std::vector<std::unique_ptr<midi::Backend>> backends;
    backends.push_back(GetParam().create());
    service_ = std::make_unique<midi::PortService>(std::make_unique<SilentBackend>(), std::move(backends));
    panel_ = std::make_unique<engine::Panel>(*service_, view_);
    view_.panel = panel_.get();
    panel_->Form_Load();
  }

  void TearDown() override {
    if (panel_) panel_->Form_Unload();
    panel_.reset();
    service_.reset();
    receiver_.reset();
    server_.reset();
  }

  // Device menu index of the receiver's port, or -1.
  int receiverEntry() {
    for (const auto& [index, caption] : view_.deviceEntries) {
      if (caption == "zelmora-receiver:midi_in") return index;
    }
    return -1;
  }

  void selectReceiver() {
    const int entry = receiverEntry();
    ASSERT_GT(entry, 0) << "the receiver is not listed";
    panel_->device_Click(static_cast<std::int16_t>(entry));
    ASSERT_EQ(panel_->state().lastResult, midi::rc::kOk) << service_->lastError();
    ASSERT_TRUE(view_.messages.empty());
  }

  // Plays `play` and checks that the receiver gets exactly `expected`, in
  // order. An xrun may add the Note Offs of the own back-end's repair, for
  // notes released at that point, and may lose a message outright (JACK MIDI
  // promises no delivery): an attempt spoiled by an xrun is played again.
  void expectDelivered(const std::function<void()>& play, const std::vector<Bytes>& expected) {
    std::string why;
    for (int attempt = 1; attempt <= 3; ++attempt) {
      // The repair of an xrun comes in two passes, the second 50 ms later:
      // start after a stretch with no xrun, so none spills into this attempt.
      std::uint32_t xruns = receiver_->xruns();
      for (int wait = 0; wait < 20; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (receiver_->xruns() == xruns) break;
        xruns = receiver_->xruns();
      }
      const std::size_t start = receiver_->eventCount();
      play();
      receiver_->waitForEvents(start + expected.size(), kDelivery);
      receiver_->waitForQuiet(kQuiet, std::chrono::seconds(1));
      std::vector<Bytes> got;
      const auto events = receiver_->events();
      for (std::size_t i = start; i < events.size(); ++i) got.push_back(events[i].message());
      const bool hadXrun = receiver_->xruns() != xruns;
      if (MatchesGivenRepairs(got, expected, hadXrun, why)) return;
      if (!hadXrun) break;
      std::printf("attempt %d spoiled by an xrun: %s\n", attempt, why.c_str());
    }
    ADD_FAILURE() << why;
  }

  // Whether `got` is `expected`, where `repairs` allows extra Note Offs for
  // notes that are not sounding at their point in the stream.
  static bool MatchesGivenRepairs(const std::vector<Bytes>& got, const std::vector<Bytes>& expected, bool repairs,
                                  std::string& why) {
    std::set<std::pair<int, int>> held;
    std::size_t next = 0;
    for (std::size_t i = 0; i < got.size(); ++i) {
      const Bytes& message = got[i];
      if (next < expected.size() && message == expected[next]) {
        if (message.size() == 3 && (message[0] & 0xF0) == 0x90 && message[2] != 0) {
          held.insert({message[0] & 0x0F, message[1]});
        } else if (message.size() == 3 && (message[0] & 0xE0) == 0x80) {
          held.erase({message[0] & 0x0F, message[1]});
        }
        ++next;
        continue;
      }
      const bool noteOff = message.size() == 3 && (message[0] & 0xF0) == 0x80 && message[2] == 0;
      if (repairs && noteOff && held.count({message[0] & 0x0F, message[1]}) == 0) continue;
      why = "unexpected message " + Describe(message) + " at " + std::to_string(i) + " of " + Describe(got);
      return false;
    }
    if (next != expected.size()) {
      why = "missing " + Describe(expected[next]) + " from " + Describe(got);
      return false;
    }
    return true;
  }

  static std::string Describe(const Bytes& message) {
    std::string text;
    char hex[4];
    for (auto byte : message) {
      std::snprintf(hex, sizeof hex, "%02X", byte);
      text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return "[" + text + "]";
  }
  static std::string Describe(const std::vector<Bytes>& messages) {
    std::string text;
    for (const auto& message : messages) text += Describe(message);
    return text;
  }

  std::unique_ptr<JackServer> server_;
  std::unique_ptr<JackMidiReceiver> receiver_;
  std::unique_ptr<midi::PortService> service_;
  FakePanelView view_;
  std::unique_ptr<engine::Panel> panel_;
};

TEST_P(JackPorts, ListTheReceiverWithItsName) {
  EXPECT_GT(receiverEntry(), 0);
  EXPECT_EQ(panel_->state().deviceCount, 1) << "only the receiver's input is a destination";
}

TEST_P(JackPorts, PlayExactlyTheSwitchedBytesInOrder) {
  selectReceiver();
  expectDelivered(
      [this] {
        panel_->chan_Click(0);
        panel_->vol_Change(127);
        panel_->SwitchOn(0);
        panel_->SwitchOn(0);  // already on: nothing
        panel_->chan_Click(15);
        panel_->vol_Change(100);
        panel_->SwitchOn(62);
        panel_->SwitchOff(0);  // on the channel of its Note On
        panel_->SwitchOff(62);
        panel_->SwitchOff(19);  // already off: released all the same
        panel_->vol_Change(0);
        panel_->SwitchOn(19);  // velocity 0 stays a Note On
        panel_->SwitchOn(15);  // no switch: nothing
        panel_->SwitchOff(19);
      },
      {{0x90, 60, 127}, {0x9F, 122, 100}, {0x80, 60, 0}, {0x8F, 122, 0}, {0x8F, 79, 0}, {0x9F, 79, 0}, {0x8F, 79, 0}});
  EXPECT_EQ(receiver_->soundingCount(), 0);
}

TEST_P(JackPorts, SelectingThePortAgainClosesAndReopensIt) {
  selectReceiver();
  const auto entry = static_cast<std::int16_t>(receiverEntry());
  // The note is released on the old port before it closes, and again by the
  // switch on the new one.
  expectDelivered(
      [&] {
        panel_->SwitchOn(19);
        receiver_->waitForEvents(receiver_->eventCount() + 1, kDelivery);
        panel_->device_Click(entry);  // the entry already checked
        ASSERT_EQ(panel_->state().lastResult, midi::rc::kOk);
        EXPECT_TRUE(receiver_->waitForConnections(1, kDelivery)) << "the old client is gone, the new one connected";
        panel_->SwitchOff(19);
      },
      {{0x90, 79, 127}, {0x80, 79, 0}, {0x80, 79, 0}});
  EXPECT_TRUE(view_.messages.empty());
}

TEST_P(JackPorts, ServerGoneWhileOpenLeavesThePanelRunning) {
  selectReceiver();
  expectDelivered(
      [this] {
        panel_->SwitchOn(0);
        panel_->SwitchOff(0);
      },
      {{0x90, 60, 127}, {0x80, 60, 0}});
  receiver_->close();
  server_->stop();

  const auto started = std::chrono::steady_clock::now();
  for (std::int16_t index : engine::SwitchIndices()) {
    panel_->SwitchOn(index);
    panel_->SwitchOff(index);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1)) << "sends must not block";
  EXPECT_FALSE(panel_->isOn(62));

  const int entry = receiverEntry();
  panel_->device_Click(static_cast<std::int16_t>(entry));
  EXPECT_NE(panel_->state().lastResult, midi::rc::kOk);
  EXPECT_EQ(panel_->state().lastResult, midi::rc::kNoDevice);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0], "Couldn't open midi out, rc = 68");
  EXPECT_TRUE(view_.deviceChecks[entry]) << "the refused entry stays checked";
  panel_->SwitchOn(5);  // no port open: fails silently
  panel_->SwitchOff(5);
}

INSTANTIATE_TEST_SUITE_P(
    Backends, JackPorts,
    ::testing::Values(BackendCase{"own", [] { return midi::CreateJackBackend(false); }},
                      BackendCase{"rtmidi", [] { return midi::CreateRtMidiJackBackend(false); }}),
    [](const auto& info) { return std::string(info.param.name); });

// The program's own back-end replaced RtMidi's for JACK: the menu must not change.
TEST(JackListing, OwnBackendListsWhatRtMidiLists) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
  JackServer server;
  ASSERT_TRUE(server.ready());
  JackMidiReceiver first;
  JackMidiReceiver second("zelmora-test-receiver-with-a-long-name", "midi_in");
  JackMidiReceiver third("zelmora-receiver-2", "in");
  ASSERT_TRUE(first.ready() && second.ready() && third.ready());

  const auto own = midi::CreateJackBackend(false)->listPorts();
  const auto rtmidi = midi::CreateRtMidiJackBackend(false)->listPorts();
  ASSERT_EQ(own.size(), 3u);
  ASSERT_EQ(rtmidi.size(), own.size());
  std::vector<std::string> longNames;
  for (std::size_t i = 0; i < own.size(); ++i) {
    EXPECT_EQ(own[i].name, rtmidi[i].name);
    EXPECT_EQ(own[i].address, rtmidi[i].address);
    longNames.push_back(own[i].name);
  }
  EXPECT_EQ(midi::ProductNames(longNames),
            (std::vector<std::string>{"zelmora-receiver:midi_in", "zelmora-tes\u2026a-long-name:midi_in",
                                      "zelmora-receiver-2:in"}));
}

// The program's own service: JACK ports are there (no ALSA sequencer on a
// test machine hides nothing) and play.
TEST(JackListing, PlatformServiceListsAndPlaysJackPorts) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
  JackServer server;
  ASSERT_TRUE(server.ready());
  JackMidiReceiver receiver;
  ASSERT_TRUE(receiver.ready());
  auto service = midi::CreatePlatformMidiOut();
  std::int32_t id = -1;
  for (std::int32_t i = 0; i < service->deviceCount(); ++i) {
    if (service->productName(i) == "zelmora-receiver:midi_in") id = i;
  }
  ASSERT_GE(id, 0);
  midi::PortHandle handle = 0;
  ASSERT_EQ(service->open(id, handle), midi::rc::kOk) << service->lastError();
  ASSERT_TRUE(receiver.waitForConnections(1, kDelivery));
  // Sent until it arrives: an xrun may take a message away.
  while (receiver.eventCount() == 0 && receiver.xruns() < 100) {
    service->send(handle, 0x00004080);
    receiver.waitForEvents(1, std::chrono::milliseconds(100));
  }
  ASSERT_GE(receiver.eventCount(), 1u);
  EXPECT_EQ(receiver.event(0).message(), (Bytes{0x80, 0x40, 0x00}));
  EXPECT_EQ(service->close(handle), midi::rc::kOk);
}

}  // namespace
