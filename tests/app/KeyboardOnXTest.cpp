// The real program under an X server and a JACK server of the test's own,
// played with real X key events; a JACK receiver counts what arrives.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/JackMidiReceiver.h"
#include "tests/support/JackServer.h"
#include "tests/support/NoteStory.h"
#include "tests/support/PanelProgram.h"
#include "tests/support/XServer.h"

namespace {

using namespace std::chrono_literals;
using testing_support::JackMidiReceiver;
using testing_support::JackServer;
using testing_support::PanelProgram;
using testing_support::XServer;
using Bytes = std::vector<std::uint8_t>;

class KeyboardOnX : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!XServer::Installed()) GTEST_SKIP() << "Xvfb is not installed";
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
    // A short auto-repeat delay, so a held key repeats within the test.
    x_ = std::make_unique<XServer>(200, 30);
    ASSERT_TRUE(x_->ready());
    // Realtime scheduling keeps xruns away: JACK MIDI may lose what a sender
    // wrote for a spoiled cycle, and these tests count every message.
    jack_ = std::make_unique<JackServer>(JackServer::Options{.realtime = true});
    ASSERT_TRUE(jack_->ready());
    receiver_ = std::make_unique<JackMidiReceiver>();
    ASSERT_TRUE(receiver_->ready());
    program_ = std::make_unique<PanelProgram>(ZELMORA_PROGRAM, ::testing::TempDir() + "keyboard-on-x.log");
    ASSERT_TRUE(program_->ready()) << "the program showed no window";
    // The receiver is the only MIDI port: the second entry of "Midi Device".
    program_->pick(0, 1);
    ASSERT_TRUE(WaitFor([&] { return receiver_->connections() == 1; }, 5s)) << "the receiver's port did not open";
  }

  void TearDown() override {
    program_.reset();
    receiver_.reset();
    jack_.reset();
    x_.reset();
  }

  template <typename Condition>
  static bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  // Messages that arrived from `from` on, once the stream has gone quiet.
  std::vector<Bytes> messagesFrom(std::size_t from) {
    receiver_->waitForQuiet(300ms, 5s);
    std::vector<Bytes> out;
    const auto events = receiver_->events();
    for (std::size_t i = from; i < events.size(); ++i) out.push_back(events[i].message());
    return out;
  }

  static std::vector<Bytes> Story(const std::vector<Bytes>& messages) {
    return testing_support::NoteStory(messages);
  }

  std::unique_ptr<XServer> x_;
  std::unique_ptr<JackServer> jack_;
  std::unique_ptr<JackMidiReceiver> receiver_;
  std::unique_ptr<PanelProgram> program_;
};

TEST_F(KeyboardOnX, HeldKeyPlaysOnceThroughAutoRepeat) {
  const std::size_t start = receiver_->eventCount();
  program_->press("z");
  std::this_thread::sleep_for(800ms);  // about twenty auto-repeats
  ASSERT_TRUE(receiver_->sounding(0, 60));
  program_->release("z");
  EXPECT_EQ(Story(messagesFrom(start)), (std::vector<Bytes>{{0x90, 60, 127}, {0x80, 60, 0}}));
  EXPECT_EQ(receiver_->soundingCount(), 0);
}

TEST_F(KeyboardOnX, QuickRestrikePlaysAgain) {
  // A release and the next press of the same key a moment apart, read by the
  // program together: the toolkit takes such a pair for auto-repeat unless told
  // otherwise. It is a second note all the same.
  const unsigned z = program_->input().keycode("z");
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::size_t start = receiver_->eventCount();
    program_->press("z");
    ASSERT_TRUE(WaitFor([&] { return receiver_->sounding(0, 60); }, 2s));
    program_->input().keys({{z, false}, {z, true}});
    std::this_thread::sleep_for(100ms);
    program_->release("z");
    EXPECT_EQ(Story(messagesFrom(start)),
              (std::vector<Bytes>{{0x90, 60, 127}, {0x80, 60, 0}, {0x90, 60, 127}, {0x80, 60, 0}}))
        << "attempt " << attempt;
    EXPECT_EQ(receiver_->soundingCount(), 0);
  }
}

TEST_F(KeyboardOnX, ShiftChangesNoKey) {
  struct Case {
    const char* key;
    std::uint8_t note;
  };
  for (const Case& c : {Case{"z", 60}, Case{"comma", 72}}) {
    const std::size_t start = receiver_->eventCount();
    // Shift comes up first: on X11 the release then carries the unshifted symbol.
    program_->press("Shift_L");
    program_->press(c.key);
    program_->release("Shift_L");
    program_->release(c.key);
    EXPECT_EQ(Story(messagesFrom(start)),
              (std::vector<Bytes>{{0x90, c.note, 127}, {0x80, c.note, 0}}))
        << c.key;
    EXPECT_EQ(receiver_->soundingCount(), 0) << c.key;
  }
}

TEST_F(KeyboardOnX, OpeningAMenuReleasesAHeldKey) {
  const std::size_t start = receiver_->eventCount();
  program_->press("z");
  ASSERT_TRUE(WaitFor([&] { return receiver_->sounding(0, 60); }, 2s));
  ASSERT_TRUE(program_->openMenu(1)) << "no menu opened";
  EXPECT_TRUE(WaitFor([&] { return !receiver_->sounding(0, 60); }, 2s)) << "the note hangs while the menu is open";
  ASSERT_TRUE(program_->closeMenu());
  program_->release("z");
  EXPECT_EQ(Story(messagesFrom(start)), (std::vector<Bytes>{{0x90, 60, 127}, {0x80, 60, 0}}));
  EXPECT_EQ(receiver_->soundingCount(), 0);
}

}  // namespace
