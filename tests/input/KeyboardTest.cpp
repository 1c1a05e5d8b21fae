#include <gtest/gtest.h>

#include <set>

#include "engine/Panel.h"
#include "input/KeyMap.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/RecordingMidiOut.h"

namespace {

using testing_support::FakePanelView;
using testing_support::RecordingMidiOut;

TEST(KeyMap, TableNamesEverySwitchOnceWithItsKeysCaption) {
  const auto rows = input::KeyMapRows();
  ASSERT_EQ(rows.size(), 38u);
  std::set<int> codes, indices, boxes;
  for (const auto& row : rows) {
    EXPECT_TRUE(codes.insert(row.keyCode).second) << row.keyCode;
    EXPECT_EQ(input::FindKeyRow(row.keyCode), &row);
    if (row.labelBox == 0) {
      EXPECT_TRUE(row.switchIndex == 15 || row.switchIndex == 16);
      EXPECT_TRUE(row.statusPrefix.empty());
      continue;
    }
    indices.insert(row.switchIndex);
    boxes.insert(row.labelBox);
    const char legend = row.keyCode == 188 ? ',' : row.keyCode == 190 ? '.' : static_cast<char>(row.keyCode);
    const std::string key = (legend == ',' || legend == '.') ? std::string("(") + legend + ")" : std::string(1, legend);
    EXPECT_EQ(row.statusPrefix, "Key " + key + " pressed (");
  }
  EXPECT_EQ(indices, std::set<int>(engine::SwitchIndices().begin(), engine::SwitchIndices().end()));
  EXPECT_EQ(boxes.size(), 36u);
  EXPECT_EQ(input::FindKeyRow('0'), nullptr);
  EXPECT_EQ(input::FindKeyRow(' '), nullptr);
  EXPECT_EQ(input::FindKeyRow(96), nullptr);  // keypad 0
}

struct ScanCase {
  input::ScanCodeKind kind;
  std::uint32_t scanCode;
  std::int16_t keyCode;
};

TEST(KeyMap, ScanCodesByPhysicalPosition) {
  using K = input::ScanCodeKind;
  const ScanCase cases[] = {
      {K::kXkb, 52, 'Z'},   {K::kXkb, 59, 188}, {K::kXkb, 60, 190}, {K::kXkb, 47, 186},
      {K::kXkb, 61, 191},   {K::kXkb, 10, '1'}, {K::kXkb, 38, 'A'}, {K::kXkb, 46, 'L'},
      {K::kXkb, 32, 'O'},   {K::kXkb, 87, -1},  /* KP_1 */          {K::kXkb, 90, -1}, /* KP_0 */
      {K::kXkb, 65, -1},    /* space */         {K::kXkb, 0, -1},
      {K::kWindowsSet1, 0x2C, 'Z'}, {K::kWindowsSet1, 0x33, 188}, {K::kWindowsSet1, 0x4F, -1},
      {K::kMacKeyCode, 0x06, 'Z'},  {K::kMacKeyCode, 0x00, 'A'},  {K::kMacKeyCode, 0x2B, 188},
      {K::kMacKeyCode, 0x53, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(input::VirtualKeyFromScanCode(c.kind, c.scanCode), c.keyCode)
        << static_cast<int>(c.kind) << " " << c.scanCode;
  }
}

class Keyboard : public ::testing::Test {
 protected:
  Keyboard() {
    view.panel = &panel;
    panel.Form_Load();
    midi.sent.clear();
  }
  std::vector<std::string> lines() const { return view.lines; }
  RecordingMidiOut midi;
  FakePanelView view;
  engine::Panel panel{midi, view};
};

TEST_F(Keyboard, StatusTextsComposeKeyAndLabel) {
  view.labels[19] = "Switch28";
  view.labels[26] = "Switch35";
  view.labels[36] = "";
  const std::vector<std::tuple<std::int16_t, std::string, std::int16_t>> cases = {
      {'Z', "Key Z pressed (Switch28)", 0},
      {188, "Key (,) pressed (Switch35)", 12},
      {'A', "Key A pressed ()", 17},
      {'L', "Key L pressed (Label28)", 31},
      {'9', "Key 9 pressed (Label9)", 62},
  };
  for (const auto& [code, text, index] : cases) {
    EXPECT_EQ(panel.SwitchForKey(code), index);
    EXPECT_EQ(view.lines[0], text);
    EXPECT_EQ(panel.state().statusText, text);
  }
}

TEST_F(Keyboard, UnboundKeysShowAndSendNothing) {
  for (std::int16_t code : {48, 32, 96, 186, 191, -1}) {
    panel.Form_KeyDown(code, 0);
    panel.Form_KeyUp(code, 0);
  }
  EXPECT_TRUE(midi.sent.empty());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Initialized...", "", ""}));
}

TEST_F(Keyboard, StatusSequenceForTwoOverlappingKeys) {
  view.labels[19] = "z";
  view.labels[20] = "x";
  const std::string zt = "Key Z pressed (z)", xt = "Key X pressed (x)";
  panel.Form_KeyDown('Z', 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{zt, "Initialized...", ""}));
  panel.Form_KeyDown('X', 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{xt, zt, "Initialized..."}));
  panel.Form_KeyUp('Z', 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{zt, xt, zt}));
  panel.Form_KeyUp('X', 0);
  EXPECT_EQ(lines(), (std::vector<std::string>{xt, zt, xt}));
  EXPECT_EQ(midi.messagesTo(midi.openHandle),
            (std::vector<std::uint32_t>{0x007F3C90, 0x007F3E90, 0x00003C80, 0x00003E80}));
}

TEST_F(Keyboard, HeldKeyWithAutoRepeatPlaysOnceAndReleasesOnce) {
  panel.Form_KeyDown('Z', 0);
  const auto held = lines();
  for (int i = 0; i < 5; ++i) {
    panel.Form_KeyUp('Z', 0, /*autoRepeat=*/true);
    panel.Form_KeyDown('Z', 0);
    EXPECT_EQ(lines(), held);
  }
  EXPECT_TRUE(panel.isOn(0));
  panel.Form_KeyUp('Z', 0);
  EXPECT_EQ(lines(), held);
  EXPECT_EQ(midi.messagesTo(midi.openHandle), (std::vector<std::uint32_t>{0x007F3C90, 0x00003C80}));
}

TEST_F(Keyboard, EditingModeTogglesLabelsAndKeyPreview) {
  panel.base_Click();
  EXPECT_TRUE(view.enabled);
  EXPECT_FALSE(panel.keyPreview());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Edit/Save switches label", "Initialized...", ""}));
  panel.base_Click();
  EXPECT_FALSE(view.enabled);
  EXPECT_TRUE(panel.keyPreview());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Edit/Save switches label", "Initialized...", ""}));
  panel.base_Click();
  EXPECT_TRUE(view.enabled);
}

}  // namespace
