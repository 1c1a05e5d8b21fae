#include <gtest/gtest.h>

#include "input/StatusDisplay.h"

namespace {

struct Case {
  const char* name;
  std::vector<std::string> texts;       // shown in turn, after start-up's "Initialized..."
  std::array<std::string, 3> expected;  // lines 1, 2, 3
  int scrolls;
};

class StatusDisplayCases : public ::testing::TestWithParam<Case> {};

TEST_P(StatusDisplayCases, ScrollsOnlyWhenLineOneDiffers) {
  const auto& c = GetParam();
  input::StatusDisplay display;
  display.setLine1("Initialized...");
  int scrolls = 0;
  for (const auto& text : c.texts) scrolls += display.show(text);
  EXPECT_EQ(display.line(1), c.expected[0]);
  EXPECT_EQ(display.line(2), c.expected[1]);
  EXPECT_EQ(display.line(3), c.expected[2]);
  EXPECT_EQ(scrolls, c.scrolls);
}

INSTANTIATE_TEST_SUITE_P(
    , StatusDisplayCases,
    ::testing::Values(
        Case{"first", {"Edit/Save switches label"}, {"Edit/Save switches label", "Initialized...", ""}, 1},
        Case{"twice", {"a", "a"}, {"a", "Initialized...", ""}, 1},
        Case{"same_as_line1", {"Initialized..."}, {"Initialized...", "", ""}, 0},
        Case{"aba", {"A", "B", "A"}, {"A", "B", "A"}, 3},
        Case{"four", {"1", "2", "3", "4"}, {"4", "3", "2"}, 4},
        Case{"case", {"abc", "ABC"}, {"ABC", "abc", "Initialized..."}, 2},
        Case{"empty_text", {""}, {"", "Initialized...", ""}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
