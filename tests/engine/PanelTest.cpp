#include <gtest/gtest.h>

#include "engine/Panel.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/RecordingMidiOut.h"

namespace {

using testing_support::FakePanelView;
using testing_support::RecordingMidiOut;
using Call = RecordingMidiOut::Call;

class PanelTest : public ::testing::Test {
 protected:
  PanelTest() { view.panel = &panel; }
  void load(std::vector<std::string> ports = {}) {
    midi.ports = std::move(ports);
    panel.Form_Load();
    midi.calls.clear();
    midi.sent.clear();
  }
  std::vector<std::uint32_t> sent() const { return midi.messagesTo(midi.openHandle); }

  RecordingMidiOut midi;
  FakePanelView view;
  engine::Panel panel{midi, view};
};

TEST_F(PanelTest, StartUpAsksPortsThenClosesAndOpensTheDefaultDestination) {
  midi.ports = {"Alpha", "Beta"};
  panel.Form_Load();

  const std::vector<Call> expected = {{Call::kCount}, {Call::kName, 0}, {Call::kName, 1},
                                      {Call::kClose, 0}, {Call::kOpen, -1}};
  EXPECT_EQ(midi.calls, expected);
  EXPECT_EQ(view.deviceEntries, (std::map<int, std::string>{{0, "MIDI Mapper"}, {1, "Alpha"}, {2, "Beta"}}));
  EXPECT_TRUE(view.deviceChecks[0]);
  EXPECT_EQ(view.checkedCount(true, view.deviceChecks), 1);
  EXPECT_TRUE(view.channelChecks[0]);
  EXPECT_EQ(view.checkedCount(true, view.channelChecks), 1);

  const auto& s = panel.state();
  EXPECT_EQ(s.headerWord, "Zelmora");
  EXPECT_EQ(s.deviceCount, 2);
  EXPECT_EQ(s.deviceId, -1);
  EXPECT_EQ(s.channel, 0);
  EXPECT_EQ(s.velocity, 127);
  EXPECT_EQ(view.velocityBar, 127);
  EXPECT_EQ(s.baseNote, 60);
  EXPECT_EQ(s.lastResult, 0);
  EXPECT_EQ(s.lastMessage, 0);
  EXPECT_EQ(s.statusText, "");
  EXPECT_EQ(view.lines, (std::vector<std::string>{"Initialized...", "", ""}));
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(PanelTest, RefusedDefaultOpenIsReportedOnceAndStartUpGoesOn) {
  midi.openResults[-1] = 4;
  panel.Form_Load();

  EXPECT_EQ(view.messages, std::vector<std::string>{"Couldn't open midi out, rc = 4"});
  EXPECT_EQ(panel.state().lastResult, 4);
  EXPECT_TRUE(view.deviceChecks[0]);
  EXPECT_EQ(view.lines[0], "Initialized...");
  EXPECT_EQ(panel.state().velocity, 127);

  // With no port open the switches still follow the mouse, and sends go nowhere.
  panel.key_MouseDown(0, 1, 0, 0, 0);
  EXPECT_TRUE(view.checked[0]);
  EXPECT_EQ(panel.state().lastMessage, 0x007F3C90);
}

TEST_F(PanelTest, ResultCodesArePrintedInDecimal) {
  for (const auto& [code, text] : std::vector<std::pair<std::int32_t, std::string>>{
           {4, "Couldn't open midi out, rc = 4"},
           {68, "Couldn't open midi out, rc = 68"},
           {-12, "Couldn't open midi out, rc = -12"},
           {1000000, "Couldn't open midi out, rc = 1000000"}}) {
    load({"Alpha"});
    view.messages.clear();
    midi.openResults[0] = code;
    panel.device_Click(1);
    EXPECT_EQ(view.messages, std::vector<std::string>{text});
    EXPECT_EQ(panel.state().lastResult, code);
    EXPECT_EQ(panel.state().deviceId, 0);
    EXPECT_TRUE(view.deviceChecks[1]);
    midi.openResults.clear();
  }
}

struct MessageCase {
  std::int16_t index;
  std::int16_t channel;
  int velocity;
  std::uint32_t noteOn;
  std::uint32_t noteOff;
};

class MessageValues : public PanelTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageValues, SwitchSendsPackedNoteOnAndOff) {
  const auto& c = GetParam();
  load();
  panel.chan_Click(c.channel);
  panel.vol_Change(c.velocity);
  panel.SwitchOn(c.index);
  EXPECT_EQ(static_cast<std::uint32_t>(panel.state().lastMessage), c.noteOn);
  panel.SwitchOff(c.index);
  EXPECT_EQ(static_cast<std::uint32_t>(panel.state().lastMessage), c.noteOff);
  EXPECT_EQ(sent(), (std::vector<std::uint32_t>{c.noteOn, c.noteOff}));
}

INSTANTIATE_TEST_SUITE_P(, MessageValues,
                         ::testing::Values(MessageCase{0, 0, 127, 0x007F3C90, 0x00003C80},
                                           MessageCase{62, 15, 100, 0x00647A9F, 0x00007A8F},
                                           MessageCase{0, 0, 0, 0x00003C90, 0x00003C80},
                                           MessageCase{19, 0, 127, 0x007F4F90, 0x00004F80},
                                           MessageCase{12, 1, 64, 0x00404891, 0x00004881}));

TEST_F(PanelTest, SwitchStateTable) {
  load();
  // off --SwitchOn--> on, sends Note On
  panel.SwitchOn(5);
  EXPECT_TRUE(view.checked[5]);
  EXPECT_TRUE(panel.isOn(5));
  // on --SwitchOn--> on, nothing sent (a held key's repeats, a mouse press on a key-held switch)
  panel.SwitchOn(5);
  panel.key_MouseDown(5, 2, 0, 0, 0);
  // on --SwitchOff--> off, sends Note Off
  panel.key_MouseUp(5, 4, 0, 0, 0);
  EXPECT_FALSE(view.checked[5]);
  // off --SwitchOff--> off, still sends Note Off
  panel.SwitchOff(5);
  EXPECT_FALSE(panel.isOn(5));
  EXPECT_EQ(sent(), (std::vector<std::uint32_t>{0x007F4190, 0x00004180, 0x00004180}));
}

TEST_F(PanelTest, KeysWithoutASwitchChangeNothingAndSendNothing) {
  load();
  panel.SwitchOn(0);
  const auto before = panel.state().lastMessage;
  midi.calls.clear();
  for (std::int16_t index : {-1, 15, 16}) {
    panel.SwitchOn(index);
    panel.SwitchOff(index);
    panel.key_MouseDown(index, 1, 0, 0, 0);
  }
  EXPECT_TRUE(midi.calls.empty());
  EXPECT_EQ(panel.state().lastMessage, before);
  EXPECT_EQ(view.checked.count(15) + view.checked.count(16) + view.checked.count(-1), 0u);
}

TEST_F(PanelTest, NoteOffUsesTheChannelOfItsNoteOn) {
  load();
  panel.SwitchOn(0);   // channel 1
  panel.chan_Click(1); // now channel 2
  panel.SwitchOff(0);  // released on channel 1
  panel.SwitchOff(0);  // already off: current channel
  EXPECT_EQ(sent(), (std::vector<std::uint32_t>{0x007F3C90, 0x00003C80, 0x00003C81}));
}

TEST_F(PanelTest, ChannelAndVelocityChangeOnlyTheNextMessages) {
  load();
  panel.SwitchOn(0);
  midi.calls.clear();
  panel.chan_Click(15);
  panel.vol_Change(0);
  EXPECT_TRUE(midi.calls.empty());
  EXPECT_TRUE(panel.isOn(0));
  EXPECT_FALSE(view.channelChecks[0]);
  EXPECT_TRUE(view.channelChecks[15]);
  EXPECT_EQ(view.checkedCount(true, view.channelChecks), 1);

  panel.chan_Click(15);  // the checked entry again: unchanged
  EXPECT_EQ(panel.state().channel, 15);
  EXPECT_TRUE(view.channelChecks[15]);

  panel.SwitchOn(2);
  EXPECT_EQ(panel.state().lastMessage, 0x00003E9F);
}

TEST_F(PanelTest, DeviceChangeReleasesSoundingNotesOnTheOldPortFirst) {
  load({"Alpha", "Beta"});
  const auto mapper = midi.openHandle;
  panel.SwitchOn(0);
  panel.chan_Click(3);
  panel.SwitchOn(2);
  midi.calls.clear();

  panel.device_Click(2);
  const auto beta = midi.openHandle;
  const std::vector<Call> expected = {{Call::kSend, mapper, 0x00003C80}, {Call::kSend, mapper, 0x00003E83},
                                      {Call::kClose, mapper}, {Call::kOpen, 1}};
  EXPECT_EQ(midi.calls, expected);
  EXPECT_EQ(panel.state().deviceId, 1);
  EXPECT_FALSE(view.deviceChecks[0]);
  EXPECT_TRUE(view.deviceChecks[2]);
  // The switches stay on; their release goes to the new port.
  EXPECT_TRUE(panel.isOn(0));
  panel.SwitchOff(0);
  EXPECT_EQ(midi.messagesTo(beta), std::vector<std::uint32_t>{0x00003C80});
}

TEST_F(PanelTest, SameDeviceAgainClosesAndReopens) {
  load({"Alpha"});
  panel.device_Click(1);
  midi.calls.clear();
  const auto first = midi.openHandle;
  panel.device_Click(1);
  EXPECT_EQ(midi.calls, (std::vector<Call>{{Call::kClose, first}, {Call::kOpen, 0}}));
  EXPECT_TRUE(view.messages.empty());
  EXPECT_TRUE(view.deviceChecks[1]);
}

TEST_F(PanelTest, ShutdownReleasesSoundingNotesBeforeClosing) {
  load();
  const auto port = midi.openHandle;
  panel.SwitchOn(0);
  panel.SwitchOn(62);
  midi.calls.clear();
  panel.Form_Unload();
  const std::vector<Call> expected = {{Call::kSend, port, 0x00003C80}, {Call::kSend, port, 0x00007A80},
                                      {Call::kClose, port}};
  EXPECT_EQ(midi.calls, expected);
  EXPECT_EQ(panel.state().lastResult, 0);
  EXPECT_FALSE(view.checked[0]);
}

TEST_F(PanelTest, ReleaseAllTurnsEverySoundingSwitchOff) {
  load();
  panel.Form_KeyDown('Z', 0);
  panel.key_MouseDown(33, 1, 0, 0, 0);
  midi.sent.clear();
  panel.ReleaseAll();
  EXPECT_EQ(sent(), (std::vector<std::uint32_t>{0x00003C80, 0x00005D80}));
  EXPECT_FALSE(panel.isOn(0));
  EXPECT_FALSE(panel.isOn(33));
  panel.ReleaseAll();
  EXPECT_EQ(sent().size(), 2u);
}

}  // namespace
