#include <gtest/gtest.h>

#include "tests/support/FakePanelView.h"

namespace {

struct PanelTest : testing::Test, testing_support::FakePanel {
  PanelTest() : FakePanel({"Alpha", "Beta"}) { panel.Form_Load(); }
};

// Indices without a switch play nothing; a Note On carries the channel and velocity chosen. The Note Offs of
// a port change go to the old port (the storm test checks that), but the switches stay on: their keys or
// buttons are still down. Editing takes the keys from the panel.
TEST_F(PanelTest, ControlsDoOnlyTheirPart) {
  for (std::int16_t index : {-1, 15, 16, 63, 1000, -2}) {
    panel.key_MouseDown(index, 1, 0, 0, 0);
    panel.SwitchOff(index);
  }
  EXPECT_TRUE(midi.sent.empty() && view.checked.empty());
  panel.chan_Click(15);
  panel.vol_Change(100);
  panel.SwitchOn(62);
  panel.SwitchOn(0);
  EXPECT_EQ(midi.played(), (std::vector<std::uint32_t>{0x647A9F, 0x643C9F}));
  panel.device_Click(2);
  EXPECT_TRUE(panel.isOn(0) && view.checked[0]);
  panel.base_Click();
  EXPECT_TRUE(view.enabled && !panel.keyPreview());
  panel.base_Click();
  EXPECT_TRUE(!view.enabled && panel.keyPreview());
  EXPECT_EQ(view.lines[0], "Edit/Save switches label");
}

// Landmarks of the keyboard map: the ends of each row, comma and period, and keys without a switch. A held
// key's repeats play nothing more.
TEST_F(PanelTest, KeysPlayTheirSwitchAndNameTheirLabel) {
  const std::tuple<std::int16_t, std::uint32_t, std::string> cases[] = {
      {'Z', 60, "Key Z pressed (Label19)"},   {188, 72, "Key (,) pressed (Label26)"},
      {190, 74, "Key (.) pressed (Label27)"}, {'A', 77, "Key A pressed (Label36)"},
      {'L', 91, "Key L pressed (Label28)"},   {'Q', 93, "Key Q pressed (Label10)"},
      {'O', 107, "Key O pressed (Label18)"},  {'1', 108, "Key 1 pressed (Label1)"},
      {'9', 122, "Key 9 pressed (Label9)"},   {186, 0, "Key 9 pressed (Label9)"},
      {191, 0, "Key 9 pressed (Label9)"},     {'0', 0, "Key 9 pressed (Label9)"}};
  for (const auto& [key, note, status] : cases) {
    midi.sent.clear();
    panel.Form_KeyDown(key, 1);  // with Shift, as without
    panel.Form_KeyUp(key, 0, true);
    panel.Form_KeyDown(key, 1);
    panel.Form_KeyUp(key, 0);
    const std::vector<std::uint32_t> played = {0x7F0090 | note << 8, 0x80 | note << 8};
    EXPECT_EQ(midi.played(), note ? played : std::vector<std::uint32_t>{}) << key;
    EXPECT_EQ(view.lines[0], status) << key;
  }
}

}  // namespace
