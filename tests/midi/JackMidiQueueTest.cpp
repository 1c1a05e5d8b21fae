// The queue between the sending thread and a JACK port's process callback,
// driven cycle by cycle with a stand-in for the port's MIDI buffer.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "midi/jack/JackMidiQueue.h"

namespace {

using Message = std::vector<std::uint8_t>;
constexpr jack_nframes_t kPeriod = 64;

// One cycle's buffer, with room for `room` messages.
std::vector<Message> Cycle(midi::JackMidiQueue& queue, std::size_t room = 1000) {
  std::vector<Message> buffer;
  queue.cycle(kPeriod, [&](const std::uint8_t* bytes, std::size_t count) {
    if (buffer.size() == room) return ENOBUFS;
    buffer.emplace_back(bytes, bytes + count);
    return 0;
  });
  return buffer;
}

// What does not fit into a cycle waits for the next. After an xrun the far
// end may have missed any Note Off: the next cycle starts with a Note Off for
// every released note, ahead of the waiting messages, and the repair comes
// once more a little later. Held notes are never cut short.
TEST(JackMidiQueue, WaitsForRoomAndSendsEveryReleasedNoteOffAgainAfterAnXrun) {
  struct Case {
    std::vector<Message> sent;
    std::set<Message> repair;
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
    const Message waiting = {0xC3, 9};
    ASSERT_TRUE(queue.push(waiting.data(), waiting.size()));
    const auto next = Cycle(queue);
    ASSERT_EQ(next.size(), c.repair.size() + 1) << ::testing::PrintToString(c.sent);
    EXPECT_EQ(std::set<Message>(next.begin(), next.end() - 1), c.repair) << ::testing::PrintToString(c.sent);
    EXPECT_EQ(next.back(), waiting);
    for (int period = 1; period < 10; ++period) EXPECT_TRUE(Cycle(queue).empty());
    EXPECT_EQ(Cycle(queue).size(), c.repair.size()) << "the second repair, 10 periods on";
  }
}

}  // namespace
