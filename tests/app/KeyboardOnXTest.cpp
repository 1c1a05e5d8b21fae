// The real program under an X server and a JACK server of the test's own, played with real X key events; a
// JACK receiver hears what it plays.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/JackListener.h"
#include "tests/support/PanelProgram.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Story = std::vector<std::vector<std::uint8_t>>;

class KeyboardOnX : public ::testing::Test {
 protected:
  void SetUp() override { start(200); }  // a held key repeats within the test
  void start(int repeatDelayMs) {
    if (!Installed("Xvfb") || !Installed("jackd")) GTEST_SKIP() << "Xvfb or jackd is not installed";
    ASSERT_TRUE((x_ = std::make_unique<XServer>(repeatDelayMs, 30))->ready());
    // Realtime scheduling and long periods keep xruns, and with them JACK's lost messages, away: at 64
    // frames a virtual machine's timer jitter made the dummy driver late, and a tap went missing, in about
    // one run in ten.
    ASSERT_TRUE((jack_ = std::make_unique<JackServer>(true, 1024))->ready());
    ASSERT_TRUE((receiver_ = std::make_unique<JackListener>())->ready());
    program_ = std::make_unique<PanelProgram>(ZELMORA_PROGRAM, ::testing::TempDir() + "keyboard-on-x.log");
    ASSERT_TRUE(program_->ready()) << "the program showed no window";
    // The receiver is the only MIDI port: the second entry of "Midi Device".
    ASSERT_TRUE(program_->pick(0, 1));
    ASSERT_TRUE(receiver_->waitForConnection(5s)) << "the receiver's port did not open";
  }
  // What the receiver heard from event `from` on. The program plays keys in the order they come: once a
  // chord no test plays has played, all before it have, and its four messages are taken off the end.
  Story storyFrom(std::size_t from) {
    program_->keys({{"9", true}, {"8", true}, {"9", false}, {"8", false}});
    const Story end = {{0x90, 122, 127}, {0x90, 120, 127}, {0x80, 122, 0}, {0x80, 120, 0}};
    Story story;
    EXPECT_TRUE(WaitFor(
        [&] {
          story = receiver_->story(from);
          return story.size() >= 4 && std::equal(end.begin(), end.end(), story.end() - 4);
        },
        kPatience))
        << "the closing chord did not play last";
    EXPECT_TRUE(receiver_->soundingNotes().empty()) << "a note hangs";
    story.resize(story.size() - std::min<std::size_t>(4, story.size()));
    return story;
  }
  // Whether `message` has come at event `from` or later.
  bool Heard(std::size_t from, const std::vector<std::uint8_t>& message) const {
    for (std::size_t i = from; i < receiver_->eventCount(); ++i)
      if (receiver_->event(i).message() == message) return true;
    return false;
  }
  static constexpr std::chrono::seconds kPatience{10};

  std::unique_ptr<XServer> x_;
  std::unique_ptr<JackServer> jack_;
  std::unique_ptr<JackListener> receiver_;
  std::unique_ptr<PanelProgram> program_;
};

// Held for a dozen auto-repeats a key plays once; opening a menu, which takes the key-up, ends it. Releases
// and presses of one key read together are new notes, though the toolkit takes such pairs for auto-repeat
// unless told otherwise. Shift changes no key.
TEST_F(KeyboardOnX, EveryStrokePlaysOnce) {
  program_->press("z");
  // The program reads the repeats before the keys that open the menu.
  ASSERT_TRUE(WaitFor([&] { return program_->pressesSent("z") > 12; }, kPatience)) << "z did not repeat";
  ASSERT_TRUE(program_->openMenu(1)) << "no menu opened";
  EXPECT_TRUE(WaitFor([&] { return Heard(0, {0x80, 60, 0}); }, kPatience)) << "the note hangs";
  ASSERT_TRUE(program_->closeMenu());
  program_->release("z");
  EXPECT_EQ(storyFrom(0), (Story{{0x90, 60, 127}, {0x80, 60, 0}}));
  std::size_t start = receiver_->eventCount();
  program_->keys({{"Shift_L", true}, {"comma", true}});
  ASSERT_TRUE(WaitFor([&] { return Heard(start, {0x90, 72, 127}); }, kPatience)) << "Shift+comma is silent";
  std::vector<std::pair<std::string, bool>> restrikes;
  Story expected;
  for (int strike = 0; strike < 6; ++strike) {
    if (strike > 0) restrikes.insert(restrikes.end(), {{"comma", false}, {"comma", true}});
    expected.insert(expected.end(), {{0x90, 72, 127}, {0x80, 72, 0}});
  }
  program_->keys(restrikes);
  ASSERT_TRUE(WaitFor([&] { return receiver_->eventCount() >= start + 11; }, kPatience));
  // Shift comes up first: on X11 the release then carries the unshifted symbol.
  program_->keys({{"Shift_L", false}, {"comma", false}});
  EXPECT_EQ(storyFrom(start), expected);
}

// Every key of the grid, tapped in turn, plays the note the design gives it.
TEST_F(KeyboardOnX, EveryKeyPlaysItsNote) {
  const std::string grid = "123456789qwertyuioasdfghjklzxcvbnm,.";
  const std::uint8_t notes[] = {108, 110, 112, 113, 115, 117, 119, 120, 122, 93, 95, 96,
                                98,  100, 101, 103, 105, 107, 77,  79,  81,  83, 84, 86,
                                88,  89,  91,  60,  62,  64,  65,  67,  69,  71, 72, 74};
  Story expected;
  for (std::size_t k = 0; k < grid.size(); ++k) {
    program_->tap(grid[k] == ',' ? "comma" : grid[k] == '.' ? "period" : grid.substr(k, 1));
    expected.insert(expected.end(), {{0x90, notes[k], 127}, {0x80, notes[k], 0}});
  }
  EXPECT_EQ(storyFrom(0), expected);
}

// Twenty keys held and released in overlapping random order, sent in bursts the program reads together. Now
// and then a menu opens with keys held and takes their key-ups. No note may hang, and every press plays
// exactly once.
class NoteStormOnX : public KeyboardOnX {
  // No auto-repeat: a key held when a menu closes would repeat into the window.
  void SetUp() override { start(600000); }
};

TEST_F(NoteStormOnX, TwentyKeysInBursts) {
  const std::string keys = "1234567qwertyasdfzxc";
  const std::uint32_t seed = std::random_device{}();
  std::mt19937 rng(seed);
  std::vector<bool> held(keys.size());
  int presses = 0;
  std::size_t heard = 0;
  for (int burst = 1; burst <= 300; ++burst) {
    std::vector<std::pair<std::string, bool>> events;
    for (int i = 0; i < 10; ++i) {
      const auto k = std::uniform_int_distribution<std::size_t>(0, keys.size() - 1)(rng);
      events.push_back({keys.substr(k, 1), held[k] = !held[k]});
      presses += held[k];
    }
    program_->keys(events);
    heard += events.size();  // a Note On or a Note Off each
    // As a hand would, the next burst comes once this one has played (unless JACK lost a message).
    ASSERT_TRUE(
        WaitFor([&] { return receiver_->eventCount() >= heard || receiver_->xruns() > 0; }, kPatience))
        << "burst " << burst << " of seed " << seed << " played " << receiver_->eventCount() << " of "
        << heard;
    if (burst % 50 == 0) {  // the last burst too: no key stays down
      ASSERT_TRUE(program_->openMenu(burst % 3));
      for (std::size_t k = 0; k < keys.size(); ++k) {
        if (held[k]) program_->release(keys.substr(k, 1)), held[k] = false, ++heard;  // the menu's Note Off
      }
      ASSERT_TRUE(program_->closeMenu());
    }
  }
  const Story story = storyFrom(0);
  if (receiver_->xruns() == 0) {  // else JACK may have lost a message
    EXPECT_EQ(std::count_if(story.begin(), story.end(), [](const auto& m) { return m[0] == 0x90; }), presses)
        << "seed " << seed;
  }
}

}  // namespace
