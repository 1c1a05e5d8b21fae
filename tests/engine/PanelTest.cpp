#include <gtest/gtest.h>

#include "engine/Panel.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/RecordingMidiOut.h"

namespace {

using Call = testing_support::RecordingMidiOut::Call;
using Lines = std::vector<std::string>;

class PanelTest : public ::testing::Test {
 protected:
  PanelTest() {
    view_.panel = &panel_;
    midi_.ports = {"Alpha", "Beta"};
  }
  testing_support::RecordingMidiOut midi_;
  testing_support::FakePanelView view_;
  engine::Panel panel_{midi_, view_};
};

// The window's tests check what start-up shows; here what the messages carry.
TEST_F(PanelTest, NoteOnCarriesChannelAndVelocity) {
  midi_.openResults[-1] = 4;
  panel_.Form_Load();
  panel_.SwitchOn(0);  // with no port open the switches still play, into nothing
  panel_.chan_Click(15);
  panel_.vol_Change(100);
  panel_.SwitchOn(62);
  EXPECT_EQ(midi_.sent, (std::vector<Call>{{Call::kSend, 0, 0x7F3C90}, {Call::kSend, 0, 0x647A9F}}));
}

// The Note Offs go to the old port (the storm test checks that), but the
// switches stay on: their keys or buttons are still down.
TEST_F(PanelTest, PortChangeKeepsTheSwitchesOn) {
  panel_.Form_Load();
  panel_.SwitchOn(0);
  panel_.device_Click(2);
  EXPECT_TRUE(panel_.isOn(0) && view_.checked[0]);
}

TEST_F(PanelTest, IndicesWithoutASwitchAreIgnored) {
  panel_.Form_Load();
  midi_.calls.clear();
  for (std::int16_t index : {-1, 15, 16, 63, 1000, -2}) {
    panel_.key_MouseDown(index, 1, 0, 0, 0);
    panel_.SwitchOff(index);
  }
  EXPECT_TRUE(midi_.calls.empty() && view_.checked.empty());
}

// Landmarks of the keyboard map: the ends of each row, comma and period, and
// keys without a switch. A held key's repeats play nothing more.
TEST_F(PanelTest, KeysPlayTheirSwitchAndNameTheirLabel) {
  panel_.Form_Load();
  view_.labels[26] = "Bass, left";
  const std::tuple<std::int16_t, std::uint32_t, std::string> cases[] = {
      {'Z', 60, "Key Z pressed (Label19)"},   {188, 72, "Key (,) pressed (Bass, left)"},
      {190, 74, "Key (.) pressed (Label27)"}, {'A', 77, "Key A pressed (Label36)"},
      {'L', 91, "Key L pressed (Label28)"},   {'Q', 93, "Key Q pressed (Label10)"},
      {'O', 107, "Key O pressed (Label18)"},  {'1', 108, "Key 1 pressed (Label1)"},
      {'9', 122, "Key 9 pressed (Label9)"},   {186, 0, "Key 9 pressed (Label9)"},
      {191, 0, "Key 9 pressed (Label9)"},     {'0', 0, "Key 9 pressed (Label9)"}};
  for (const auto& [key, note, status] : cases) {
    midi_.sent.clear();
    panel_.Form_KeyDown(key, 1);  // with Shift, as without
    panel_.Form_KeyUp(key, 0, true);
    panel_.Form_KeyDown(key, 1);
    panel_.Form_KeyUp(key, 0);
    const std::vector<std::uint32_t> played = {0x7F0090 | note << 8, 0x80 | note << 8};
    EXPECT_EQ(midi_.messagesTo(midi_.openHandle), note ? played : std::vector<std::uint32_t>{}) << key;
    EXPECT_EQ(view_.lines[0], status) << key;
  }
}

TEST_F(PanelTest, EditingTakesTheKeysFromThePanel) {
  panel_.Form_Load();
  panel_.base_Click();
  EXPECT_TRUE(view_.enabled && !panel_.keyPreview());
  panel_.base_Click();
  EXPECT_TRUE(!view_.enabled && panel_.keyPreview());
  EXPECT_EQ(view_.lines, (Lines{"Edit/Save switches label", "Initialized...", ""}));
}

}  // namespace
