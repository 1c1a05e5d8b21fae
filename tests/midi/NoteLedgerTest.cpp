#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "midi/jack/NoteLedger.h"

namespace {

using Message = std::vector<std::uint8_t>;
using Note = std::pair<int, int>;  // channel, note

struct LedgerCase {
  const char* name;
  std::vector<Message> sent;
  std::set<Note> held;
  std::set<Note> repaired;  // the Note Offs an xrun repair sends
};

class NoteLedgerTest : public ::testing::TestWithParam<LedgerCase> {};

TEST_P(NoteLedgerTest, RepairsReleasedNotesAndLeavesHeldOnes) {
  midi::NoteLedger ledger;
  for (const auto& message : GetParam().sent) ledger.sent(message.data(), message.size());
  std::set<Note> repaired;
  ledger.forEachReleased([&](std::uint8_t status, std::uint8_t note) {
    EXPECT_EQ(status & 0xF0, 0x80);
    repaired.insert({status & 0x0F, note});
  });
  EXPECT_EQ(repaired, GetParam().repaired);
  for (int channel = 0; channel < 16; ++channel) {
    for (int note = 0; note < 128; ++note) {
      EXPECT_EQ(ledger.held(channel, note), GetParam().held.count({channel, note}) == 1)
          << "channel " << channel << " note " << note;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Messages, NoteLedgerTest,
    ::testing::Values(
        LedgerCase{"nothing_sent", {}, {}, {}},
        LedgerCase{"held_note_is_left_alone", {{0x90, 60, 127}}, {{0, 60}}, {}},
        LedgerCase{"released_note_is_repaired", {{0x90, 60, 127}, {0x80, 60, 0}}, {}, {{0, 60}}},
        LedgerCase{"velocity_zero_releases", {{0x95, 61, 100}, {0x95, 61, 0}}, {}, {{5, 61}}},
        LedgerCase{"pressed_again_is_held", {{0x90, 60, 127}, {0x80, 60, 0}, {0x90, 60, 1}}, {{0, 60}}, {}},
        LedgerCase{"release_without_press", {{0x8F, 122, 0}}, {}, {{15, 122}}},
        LedgerCase{"channels_apart", {{0x90, 60, 127}, {0x91, 60, 127}, {0x81, 60, 0}}, {{0, 60}}, {{1, 60}}},
        LedgerCase{"all_notes_off", {{0x92, 60, 127}, {0x92, 64, 127}, {0x93, 64, 127}, {0xB2, 123, 0}},
                   {{3, 64}}, {{2, 60}, {2, 64}}},
        LedgerCase{"all_sound_off", {{0x90, 70, 127}, {0xB0, 120, 0}}, {}, {{0, 70}}},
        LedgerCase{"other_messages_ignored", {{0x90, 60, 127}, {0xB0, 7, 100}, {0xC0, 5}, {0xA0, 60, 50}, {0xE0, 0, 64}},
                   {{0, 60}}, {}},
        LedgerCase{"short_message_ignored", {{0x80, 60}}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
