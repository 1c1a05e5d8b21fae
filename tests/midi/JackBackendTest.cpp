// The port back-ends without their services; the JACK port's queue, driven cycle by cycle with a stand-in for
// the port's MIDI buffer; and playing into a JACK server of the test's own with a receiver of the project's
// own.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "midi/Platform.h"
#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "midi/jack/JackClient.h"
#include "midi/jack/JackMidiQueue.h"
#include "midi/rtmidi/RtMidiBackend.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackListener.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Bytes = std::vector<std::uint8_t>;

// The JACK back-end alone, which hides bridges where the ALSA sequencer lists their ports itself.
std::vector<std::unique_ptr<midi::Backend>> JackOnly(midi::JackClient& jack) {
  std::vector<std::unique_ptr<midi::Backend>> backends;
  backends.push_back(midi::CreateJackBackend(jack, true));
  return backends;
}

TEST(Backends, WithoutServicesListNothingRefuseQuietlyAndStartNoServer) {
  const JackStartTrap trap;
  ::testing::internal::CaptureStderr();
  midi::JackClient jack(midi::kClientName);
  auto backends = JackOnly(jack);
  if (!midi::AlsaSequencerAvailable()) backends.push_back(midi::CreateRtMidiAlsaBackend());
  for (const auto& backend : backends) {
    EXPECT_TRUE(backend->listPorts().empty());
    const auto refused = backend->openPort({"zelmora-receiver:midi_in", "zelmora-receiver:midi_in"});
    EXPECT_EQ(refused.code, midi::rc::kNoDevice);
    EXPECT_FALSE(refused.reason.empty()) << "the message box says why";
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "the libraries' messages stay off the terminal";
  EXPECT_FALSE(trap.sprung()) << "a client tried to start a JACK server";
}

constexpr jack_nframes_t kPeriod = 64;

// One cycle's buffer, with room for `room` messages.
std::vector<Bytes> Cycle(midi::JackMidiQueue& queue, std::size_t room = 1000) {
  std::vector<Bytes> buffer;
  queue.cycle(kPeriod, [&](const std::uint8_t* bytes, std::size_t count) {
    if (buffer.size() == room) return ENOBUFS;
    buffer.emplace_back(bytes, bytes + count);
    return 0;
  });
  return buffer;
}

// What does not fit into a cycle waits for the next. After an xrun the far end may have missed any Note Off:
// the next cycle starts with a Note Off for every released note, ahead of the waiting messages, and the
// repair comes once more a little later. Held notes are never cut short.
TEST(JackMidiQueue, WaitsForRoomAndSendsEveryReleasedNoteOffAgainAfterAnXrun) {
  struct Case {
    std::vector<Bytes> sent;
    std::set<Bytes> repair;
  };
  const Case cases[] = {
      {{{0x90, 60, 127}}, {}},
      {{{0x90, 60, 127}, {0x80, 60, 0}}, {{0x80, 60, 0}}},
      {{{0x95, 61, 100}, {0x95, 61, 0}}, {{0x85, 61, 0}}},
      {{{0x90, 60, 127}, {0x80, 60, 0}, {0x90, 60, 1}}, {}},
      {{{0x8F, 122, 0}}, {{0x8F, 122, 0}}},
      {{{0x90, 60, 127}, {0x91, 60, 127}, {0x81, 60, 0}}, {{0x81, 60, 0}}},
      {{{0x92, 60, 127}, {0x93, 64, 127}, {0xB2, 123, 0}}, {{0x82, 60, 0}}},
      {{{0x90, 70, 127}, {0xB0, 120, 0}, {0x91, 1, 1}, {0xB1, 127, 0}}, {{0x80, 70, 0}, {0x81, 1, 0}}},
      {{{0x90, 60, 127}, {0xB0, 7, 100}, {0xA0, 60, 50}, {0x80, 60}}, {}},
  };
  for (const auto& c : cases) {
    midi::JackMidiQueue queue(64, 10 * kPeriod);
    for (const auto& m : c.sent) ASSERT_TRUE(queue.push(m.data(), m.size()));
    auto written = Cycle(queue, 2);  // what does not fit waits for the next cycle
    for (auto& message : Cycle(queue)) written.push_back(message);
    ASSERT_EQ(written, c.sent);
    queue.xrun();
    const Bytes waiting = {0xC3, 9};
    ASSERT_TRUE(queue.push(waiting.data(), waiting.size()));
    const auto next = Cycle(queue);
    ASSERT_EQ(next.size(), c.repair.size() + 1) << ::testing::PrintToString(c.sent);
    EXPECT_EQ(std::set<Bytes>(next.begin(), next.end() - 1), c.repair) << ::testing::PrintToString(c.sent);
    EXPECT_EQ(next.back(), waiting);
    for (int period = 1; period < 10; ++period) EXPECT_TRUE(Cycle(queue).empty());
    EXPECT_EQ(Cycle(queue).size(), c.repair.size()) << "the second repair, 10 periods on";
  }
}

// A port that closes lets the cycles hand on what was sent just before, and the repair of an xrun reported
// just before, then goes: a Note Off lost at a close hangs its note. The cycles run here, a message a cycle;
// the close waits on a thread of its own.
TEST(JackMidiQueue, ACloseReturnsOnlyOnceTheCyclesHaveHandedOnWhatWasSent) {
  midi::JackMidiQueue queue(1024, 300 * kPeriod);
  const Bytes on = {0x90, 60, 127}, off = {0x80, 60, 0};
  ASSERT_TRUE(queue.push(on.data(), on.size()) && queue.push(off.data(), off.size()));
  ASSERT_EQ(Cycle(queue).size(), 2u);
  std::vector<Bytes> sent;
  for (std::uint8_t i = 0; i < 200; ++i) {
    sent.push_back({0xB0, 7, static_cast<std::uint8_t>(i % 128)});
    ASSERT_TRUE(queue.push(sent.back().data(), sent.back().size()));
  }
  queue.xrun();
  std::atomic<bool> started{false}, closed{false}, drained{false};
  std::thread closer([&] {
    started = true;
    drained = queue.drain(std::chrono::minutes(1));
    closed = true;
  });
  ASSERT_TRUE(WaitFor([&] { return started.load(); }, 10s));
  std::vector<Bytes> written;
  for (int cycles = 0; !closed && cycles < 100000; ++cycles) {
    for (auto& message : Cycle(queue, 1)) written.push_back(message);
    std::this_thread::yield();
  }
  closer.join();
  EXPECT_TRUE(drained);
  const auto repairs = std::count(written.begin(), written.end(), off);
  EXPECT_EQ(repairs, 2) << "the repair, and the second one 300 periods on, once the rest has gone";
  written.erase(std::remove(written.begin(), written.end(), off), written.end());
  EXPECT_EQ(written, sent);
  // Nothing cycles: the close gives up and says so.
  ASSERT_TRUE(queue.push(on.data(), on.size()));
  EXPECT_FALSE(queue.drain(10ms));
}

// A JACK server of the test's own at `period` frames a cycle, a receiver on it, and the port service of one
// JACK client alone, with no default destination: "MIDI Mapper" refuses.
struct OnJack {
  explicit OnJack(int period) : server(true, period), service(nullptr, JackOnly(jack)) {}
  bool ready() const { return server.ready() && receiver.ready(); }

  JackServer server;
  JackListener receiver;
  midi::JackClient jack{midi::kClientName};
  midi::PortService service;
};

bool Sounding(const JackListener& receiver, std::size_t notes) {
  return WaitFor([&] { return receiver.soundingNotes().size() == notes; }, 10s);
}

// A server without playback ports: the synthesizer played to nobody without a word. Now the status display
// and the terminal say so once, and speakers that appear later get its sound. While the server is away, the
// reopen must wait for JACK: it took the next output ("file" here, a sound server elsewhere) for good.
TEST(JackBackend, TheSynthesizerSaysItHasNoSpeakersAndWaitsForItsServer) {
  if (!Installed("jackd")) GTEST_SKIP() << "jackd is not installed";
  JackServer server(false, 1024, 48000, 0);
  ASSERT_TRUE(server.ready()) << "jackd did not answer";
  midi::JackClient jack(midi::kClientName);
  auto backend = std::make_unique<midi::SynthBackend>(
      midi::SynthBackend::Options{std::nullopt, std::nullopt, {"jack", "file"}, &jack, true});
  const midi::SynthBackend& synth = *backend;
  midi::PortService service(std::move(backend), {});
  FakePanelView view;
  engine::Panel panel(service, view);
  panel.Form_Load();
  if (!view.messages.empty()) GTEST_SKIP() << "the synthesizer does not open: " << view.messages[0];
  const std::string none = "No playback ports on the JACK server: the synthesizer cannot be heard.",
                    found = "Playback ports found: the synthesizer plays through them.";
  ::testing::internal::CaptureStderr();
  panel.poll();
  EXPECT_EQ(view.lines[0], none);
  JackListener speakers("zelmora-speakers", "midi_in", {}, true);
  panel.poll();
  EXPECT_EQ(view.lines[0], found);
  EXPECT_EQ(speakers.connections("zelmora-speakers:audio_in").size(), 2u);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "zelmora-switches: " + none + "\nzelmora-switches: " + found + "\n");
  speakers.close();
  server.stop();
  ASSERT_TRUE(WaitFor([&] { return panel.poll(), view.lines[0] != found; }, 20s, 100ms));
  EXPECT_EQ(view.lines[0], "The JACK server has stopped.");
  EXPECT_EQ(synth.output(), "") << "another output took JACK's place";
  panel.Form_Unload();
}

// The ports of every "Zelmora Switches" client on the running server.
std::set<std::string> OurPorts() {
  midi::JackClient probe("zelmora-probe");
  probe.connect();
  const midi::JackNames names = probe.ports(("^" + std::string(midi::kClientName)).c_str(), nullptr, 0);
  std::set<std::string> ours;
  for (std::size_t i = 0; names != nullptr && names.get()[i] != nullptr; ++i) ours.insert(names.get()[i]);
  return ours;
}

// The JACK server stopped and started again under its name, with the synthesizer and a JACK MIDI port open,
// and the port's receiver leaving and coming back: the status display says each, the terminal once, and both
// play again with nobody choosing anything; notes held meanwhile still end. A receiver started later is in
// the menu.
TEST(JackBackend, AServerThatRestartsAndAReceiverThatReturnsPlayAgainByThemselves) {
  if (!Installed("jackd")) GTEST_SKIP() << "jackd is not installed";
  JackServer server(true, 256);
  ASSERT_TRUE(server.ready()) << "jackd did not answer";
  auto receiver = std::make_unique<JackListener>();
  ASSERT_TRUE(receiver->ready());
  const auto platform = midi::CreatePlatformMidiOut();
  FakePanelView view;
  engine::Panel panel(*platform, view);
  view.panel = &panel;
  panel.Form_Load();
  const auto idOf = [&](const std::string& name) {
    for (std::int32_t id = 0; id < panel.state().deviceCount; ++id)
      if (platform->productName(id) == name) return id;
    return -1;
  };
  {
    const JackListener late("zelmora-late"),
        bridge("a2j", "Midi Through [14] (playback): Midi Through Port-0");
    panel.listDevices();
    EXPECT_GE(idOf("zelmora-late:midi_in"), 0) << "a receiver started later is not listed";
    EXPECT_EQ(idOf("a2j:\u2026Midi Through Port-0") < 0, midi::AlsaSequencerAvailable())
        << "bridges are listed where the ALSA sequencer does not list their ports itself";
  }
  if (!view.messages.empty()) GTEST_SKIP() << "the synthesizer does not open: " << view.messages[0];
  panel.device_Click(static_cast<std::int16_t>(idOf("zelmora-receiver:midi_in") + 1));
  ASSERT_EQ(panel.state().lastResult, midi::rc::kOk);
  midi::PortHandle synth = 0;
  ASSERT_EQ(platform->open(midi::kDefaultDevice, synth), midi::rc::kOk) << platform->lastError();
  const auto heard = [&](const std::string& news) {  // polled as the window's timer polls
    return WaitFor([&] { return panel.poll(), std::ranges::count(view.lines, news) > 0; }, 20s, 100ms);
  };
  panel.Form_KeyDown(90, 0);  // Z
  ASSERT_TRUE(Sounding(*receiver, 1));

  receiver.reset();
  EXPECT_TRUE(heard("zelmora-receiver:midi_in has gone."));
  receiver = std::make_unique<JackListener>();
  EXPECT_TRUE(heard("zelmora-receiver:midi_in is back."));
  ASSERT_TRUE(receiver->waitForConnection(10s));
  panel.Form_KeyUp(90, 0);
  EXPECT_TRUE(WaitFor([&] { return receiver->eventCount() == 1; }, 10s)) << "the held note got no Note Off";

  panel.Form_KeyDown(90, 0);
  receiver.reset();  // clients first, then the server
  ::testing::internal::CaptureStderr();
  server.stop();
  EXPECT_TRUE(heard("The JACK server has stopped."));
  ASSERT_TRUE(server.restart());
  receiver = std::make_unique<JackListener>();
  EXPECT_TRUE(heard("Playing again on zelmora-receiver:midi_in."));
  EXPECT_TRUE(heard("Playing again on MIDI Mapper."));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(said.find("stopped"), said.rfind("stopped")) << said;
  ASSERT_TRUE(receiver->waitForConnection(10s));
  panel.Form_KeyUp(90, 0);
  EXPECT_TRUE(WaitFor([&] { return receiver->eventCount() == 1; }, 10s)) << "the held note got no Note Off";
  panel.Form_KeyDown(90, 0);
  EXPECT_TRUE(Sounding(*receiver, 1)) << "the port does not play again";
  // One client, as JACK's own examples have, for the synthesizer and the MIDI port; none left behind.
  const std::string us = midi::kClientName;
  EXPECT_EQ(OurPorts(), (std::set<std::string>{us + ":left", us + ":right", us + ":midi_out"}));
  panel.Form_Unload();
  EXPECT_TRUE(Sounding(*receiver, 0));
  EXPECT_EQ(platform->close(synth), midi::rc::kOk);
}

// A port that closes, whether the window closes or the user picks another device, first hands on what was
// sent through it; a send never waits for the server, and what the queue cannot take waits with the sender,
// in order. At 8,192 frames a cycle comes every 171 ms: the close came before the cycle that would have taken
// the Note Off, and the note hung; a send that waited for room on the window's thread held it up. A server
// that goes away leaves sends dropped at once and the next open refused.
TEST(JackBackend, PlaysClosesAndOutlivesItsServer) {
  if (!Installed("jackd")) GTEST_SKIP() << "jackd is not installed";
  OnJack on(8192);
  JackListener bridge("a2j", "Midi Through [14] (playback): Midi Through Port-0");
  ASSERT_TRUE(on.ready() && bridge.ready()) << "jackd did not answer";
  auto& [server, receiver, jack, service] = on;
  FakePanelView view;
  engine::Panel panel(service, view);
  panel.Form_Load();
  ASSERT_EQ(panel.state().deviceCount, 1) << "the bridge is hidden";
  for (int round = 0; round < 4; ++round) {
    panel.device_Click(1);
    ASSERT_EQ(panel.state().lastResult, midi::rc::kOk) << service.lastError();
    panel.Form_KeyDown(90, 0);  // Z
    ASSERT_TRUE(Sounding(receiver, 1)) << "round " << round;
    round < 3 ? panel.Form_Unload() : panel.device_Click(0);  // the switch stays on at a device change
    EXPECT_TRUE(Sounding(receiver, 0)) << "the Note Off never came, round " << round;
  }
  const std::size_t start = receiver.eventCount();
  midi::PortHandle handle = 0;
  ASSERT_EQ(service.open(0, handle), midi::rc::kOk) << service.lastError();
  ASSERT_TRUE(receiver.waitForConnection(5s));
  // Every length of message, and a data byte alone, which is none; then more than the queue and two cycles
  // take, then 200 notes. A send that waited for room would let those cycles pass.
  const jack_nframes_t first = jack_last_frame_time(jack.get());
  for (std::uint32_t m : {0x10C0u, 0x42u, 0x4000EFu, 0xF8u}) service.send(handle, m);
  std::vector<Bytes> sent = {{0xC0, 16}, {0xEF, 0, 64}, {0xF8}};
  const auto send = [&](std::uint32_t message) {
    sent.push_back({std::uint8_t(message), std::uint8_t(message >> 8), std::uint8_t(message >> 16)});
    service.send(handle, message);
  };
  for (std::uint32_t i = 0; i < 12000; ++i) send(0x07B0 | (i % 128) << 16);
  for (std::uint32_t note = 0; note < 200; ++note) {
    send(0x7F0090 | (note % 64 + 30) << 8);
    send(0x000080 | (note % 64 + 30) << 8);
  }
  EXPECT_LT(jack_last_frame_time(jack.get()) - first, 2 * 8192u) << "a send waited for the server";
  EXPECT_EQ(service.close(handle), midi::rc::kOk);
  ASSERT_TRUE(WaitFor([&] { return receiver.eventCount() >= start + sent.size(); }, 20s))
      << receiver.eventCount() - start << " of " << sent.size() << " arrived, xruns " << receiver.xruns();
  EXPECT_TRUE(receiver.soundingNotes().empty());
  if (receiver.xruns() == 0) {  // else JACK may have lost a message, or delivered one twice
    std::vector<Bytes> got;
    for (std::size_t i = start; i < receiver.eventCount(); ++i) got.push_back(receiver.event(i).message());
    EXPECT_EQ(got, sent);
  }
  ASSERT_EQ(service.open(0, handle), midi::rc::kOk) << service.lastError();
  receiver.close();
  bridge.close();
  server.stop();
  service.send(handle, 0x007F3C90);
  EXPECT_EQ(service.close(handle), midi::rc::kOk);
  EXPECT_EQ(service.open(0, handle), midi::rc::kNoDevice);
  EXPECT_FALSE(service.lastError().empty());
}

}  // namespace
