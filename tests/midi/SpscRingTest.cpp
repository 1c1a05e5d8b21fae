#include <gtest/gtest.h>

#include <thread>

#include "midi/jack/SpscRing.h"

namespace {

using midi::SpscRing;

TEST(SpscRing, HoldsItsCapacityAndKeepsTheFrontUntilPopped) {
  SpscRing<int> ring(3);  // rounded up to 4
  ASSERT_EQ(ring.capacity(), 4u);
  EXPECT_EQ(ring.front(), nullptr);
  for (int round = 0; round < 3; ++round) {  // the counters wrap past the slots
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(ring.push(round * 10 + i));
    EXPECT_FALSE(ring.push(99)) << "a full ring takes nothing";
    ASSERT_NE(ring.front(), nullptr);
    EXPECT_EQ(*ring.front(), round * 10);
    EXPECT_EQ(*ring.front(), round * 10) << "looking does not consume";
    for (int i = 0; i < 4; ++i) {
      ASSERT_NE(ring.front(), nullptr);
      EXPECT_EQ(*ring.front(), round * 10 + i);
      ring.pop();
    }
    EXPECT_TRUE(ring.empty());
  }
}

// Regression guard for the ordering of the two counters: a consumer on
// another thread must see every element, in order, exactly once.
TEST(SpscRing, PassesEveryElementInOrderBetweenThreads) {
  constexpr int kCount = 200000;
  SpscRing<int> ring(64);
  std::thread producer([&] {
    for (int i = 0; i < kCount; ++i) {
      while (!ring.push(i)) std::this_thread::yield();
    }
  });
  int expected = 0;
  int mismatches = 0;
  while (expected < kCount) {
    if (const int* value = ring.front()) {
      mismatches += *value != expected;
      ++expected;
      ring.pop();
    } else {
      std::this_thread::yield();
    }
  }
  producer.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(ring.empty());
}

}  // namespace
