#include <gtest/gtest.h>

#include "input/KeyMap.h"
#include "input/StatusDisplay.h"

namespace {

// Rows of the keyboard map as the design gives them: what the status text calls the key, its key code, the
// switch index and the label box. Written from the design's own table, not from the program's, so that a
// mistake both make alike cannot pass.
using DesignRow = std::tuple<std::string, std::int16_t, std::int16_t, int>;
// Semicolon and slash, last, give indices at which the panel has no switch, and no status text.
const DesignRow kDesign[] = {
    {"Z", 90, 0, 19},  {"X", 88, 2, 20},  {"C", 67, 4, 21},     {"V", 86, 5, 22},     {"B", 66, 7, 23},
    {"N", 78, 9, 24},  {"M", 77, 11, 25}, {"(,)", 188, 12, 26}, {"(.)", 190, 14, 27}, {"A", 65, 17, 36},
    {"S", 83, 19, 35}, {"D", 68, 21, 34}, {"F", 70, 23, 33},    {"G", 71, 24, 32},    {"H", 72, 26, 31},
    {"J", 74, 28, 30}, {"K", 75, 29, 29}, {"L", 76, 31, 28},    {"Q", 81, 33, 10},    {"W", 87, 35, 11},
    {"E", 69, 36, 12}, {"R", 82, 38, 13}, {"T", 84, 40, 14},    {"Y", 89, 41, 15},    {"U", 85, 43, 16},
    {"I", 73, 45, 17}, {"O", 79, 47, 18}, {"1", 49, 48, 1},     {"2", 50, 50, 2},     {"3", 51, 52, 3},
    {"4", 52, 53, 4},  {"5", 53, 55, 5},  {"6", 54, 57, 6},     {"7", 55, 59, 7},     {"8", 56, 60, 8},
    {"9", 57, 62, 9},  {";", 186, 15, 0}, {"/", 191, 16, 0}};

class KeyMapRow : public testing::TestWithParam<DesignRow> {};

TEST_P(KeyMapRow, GivesTheDesignsSwitchAndLabel) {
  const auto& [key, keyCode, switchIndex, labelBox] = GetParam();
  const input::KeyRow* row = input::FindKeyRow(keyCode);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->switchIndex, switchIndex);
  EXPECT_EQ(row->labelBox, labelBox);
  EXPECT_EQ(row->statusPrefix, labelBox ? "Key " + key + " pressed (" : "");
}
INSTANTIATE_TEST_SUITE_P(Design, KeyMapRow, testing::ValuesIn(kDesign));

// The digit 0, space, the numeric keypad's digits, minus, P and codes out of range play nothing.
class KeyWithoutRow : public testing::TestWithParam<std::int16_t> {};
TEST_P(KeyWithoutRow, GivesNoSwitch) { EXPECT_EQ(input::FindKeyRow(GetParam()), nullptr); }
INSTANTIATE_TEST_SUITE_P(Design, KeyWithoutRow, testing::Values(48, 32, 96, 97, 105, 189, 80, 0, -1, 376));

// X keycodes of a US keyboard, as Xvfb reports them. Shift+comma comes as Less on press and Comma on release,
// but always as keycode 59.
TEST(KeyMap, XKeycodesNameTheKeyAtTheirPosition) {
  const std::pair<std::uint32_t, int> cases[] = {{10, '1'}, {18, '9'}, {19, '0'}, {24, 'Q'}, {32, 'O'},
                                                 {38, 'A'}, {46, 'L'}, {47, 186}, {52, 'Z'}, {58, 'M'},
                                                 {59, 188}, {60, 190}, {61, 191}, {9, -1},   {20, -1},
                                                 {62, -1},  {65, -1},  {87, -1},  {0, -1}};
  for (const auto& [keycode, key] : cases)
    EXPECT_EQ(input::VirtualKeyFromXkbKeycode(keycode), key) << keycode;
}

// After start-up's "Initialized...", the texts shown and then lines 1, 2, 3.
TEST(StatusDisplay, ScrollsOnlyForANewText) {
  const std::vector<std::string> cases[][2] = {{{"a", "a"}, {"a", "Initialized...", ""}},
                                               {{"Initialized..."}, {"Initialized...", "", ""}},
                                               {{"A", "B", "A"}, {"A", "B", "A"}},
                                               {{"1", "2", "3", "4"}, {"4", "3", "2"}},
                                               {{"abc", "ABC"}, {"ABC", "abc", "Initialized..."}}};
  for (const auto& [texts, lines] : cases) {
    input::StatusDisplay display;
    display.setLine1("Initialized...");
    for (const auto& text : texts) display.show(text);
    EXPECT_EQ((std::vector<std::string>{display.line(1), display.line(2), display.line(3)}), lines)
        << texts[0];
  }
}

}  // namespace
