#include <gtest/gtest.h>

#include "input/KeyMap.h"
#include "input/StatusDisplay.h"

namespace {

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
