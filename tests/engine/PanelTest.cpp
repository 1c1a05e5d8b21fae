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

}  // namespace
