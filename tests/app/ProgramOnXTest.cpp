// The real program under an X server of the test's own, started as a user starts it (with a labels file, with
// the toolkit's options, with a command line it cannot take, without the services it plays through) and ended
// from outside while it plays.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <optional>

#include "tests/support/JackListener.h"
#include "tests/support/PanelProgram.h"

namespace {

using namespace std::chrono_literals;
using namespace testing_support;
using Story = std::vector<std::vector<std::uint8_t>>;

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// The toolkit's own options work as in any Qt program: the window shows, and nothing is said about them. A
// labels file named after them is loaded once the window shows, whatever the letters of its name in a UTF-8
// locale: the Labels menu then saves what the file held. Without a JACK server or a sound card the program
// says why in its message box, not in lines from its libraries on the terminal, and starts no server.
struct CommandLine {
  QStringList options;
  const char* labelsFile;  // or none
  bool services = true;
};
class StartsWith : public ::testing::TestWithParam<CommandLine> {};

TEST_P(StartsWith, TheWindowAndTheLabelsFileQuietly) {
  if (!Installed("Xvfb") || !Installed("jackd")) GTEST_SKIP() << "Xvfb or jackd is not installed";
  const auto [options, labelsFile, services] = GetParam();
  XServer x;
  std::optional<JackServer> jack;
  std::optional<JackStartTrap> trap;
  services ? (void)jack.emplace(true) : (void)trap.emplace();
  ASSERT_TRUE(x.ready() && (!services || jack->ready()));
  qputenv("LC_ALL", "C.UTF-8");
  qputenv("LSAN_OPTIONS", qgetenv("LSAN_OPTIONS") + ":print_suppressions=0");
  QTemporaryDir folder(QDir::tempPath() + "/zelmora-labels-XXXXXX");  // a name the test can type
  std::string labels = "Zelmora\r\n";
  for (int box = 1; box <= 36; ++box) labels += "Box " + std::to_string(box) + "\r\n";
  const QString given = folder.filePath(QString::fromUtf8(labelsFile)), saved = folder.filePath("saved.lbl");
  if (labelsFile) std::ofstream(given.toStdString(), std::ios::binary) << labels;
  const std::string log = ::testing::TempDir() + "starts-with-" + std::to_string(getpid()) + ".log";
  PanelProgram program(ZELMORA_PROGRAM, log, labelsFile ? options + QStringList{given} : options,
                       folder.path());
  ASSERT_TRUE(services ? program.ready() : program.answerDialog("")) << "no window, or no refusal before it";
  if (labelsFile) {
    ASSERT_TRUE(program.pick(2, 2)) << "no \"Save Labels to file\"";
    // The name alone, as the dialog opens where the program was started: a path typed at machine speed
    // outruns the dialog's listing of its folder, whose completion list then takes the Enter.
    ASSERT_TRUE(program.answerDialog("saved.lbl")) << "no save dialog";
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(saved); }, 5s)) << "nothing saved";
    EXPECT_EQ(Contents(saved.toStdString()), labels);
  }
  EXPECT_EQ(program.quit(), 0);
  EXPECT_EQ(Contents(log), "");
  EXPECT_FALSE(trap && trap->sprung()) << "the program tried to start a JACK server";
}

// -reverse is a word, not -r -e -v (the version) and so on.
INSTANTIATE_TEST_SUITE_P(
    ProgramOnX, StartsWith,
    ::testing::Values(CommandLine{{"-style", "Fusion"}, "given.lbl"}, CommandLine{{"-reverse"}, nullptr},
                      CommandLine{{}, nullptr, false},
                      CommandLine{{"-qwindowgeometry", "+40+30", "-style=Fusion"}, "Größe.lbl"}));

// A command line the program cannot take ends it with status 2 and one line that says why.
TEST(ProgramOnX, RefusesACommandLineItCannotTake) {
  qputenv("QT_QPA_PLATFORM", "offscreen");  // the command line is read once the toolkit has a screen
  const std::pair<QStringList, QByteArray> cases[] = {
      {{"--bogus", "a.lbl"}, "Unknown option 'bogus'."},
      {{"-style", "Fusion", "a.lbl", "b.lbl"}, "Name one labels file at most."}};
  for (const auto& [arguments, reason] : cases) {
    QProcess process;
    process.start(ZELMORA_PROGRAM, arguments);
    const bool ended = process.waitForFinished(15000) && process.exitStatus() == QProcess::NormalExit;
    EXPECT_EQ(ended ? process.exitCode() : -1, 2);
    EXPECT_EQ(process.readAllStandardError(),
              "zelmora-switches: " + reason + " Try 'zelmora-switches --help' for more information.\n");
  }
}

// The program playing on a JACK receiver's port, with Z held.
class HoldingANote : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Installed("Xvfb") || !Installed("jackd")) GTEST_SKIP() << "Xvfb or jackd is not installed";
    ASSERT_TRUE(x_.ready() && jack_.ready() && receiver_.ready());
    ASSERT_TRUE(program_.ready()) << "the program showed no window";
    ASSERT_TRUE(program_.pick(0, 1));  // the receiver, the only MIDI port
    ASSERT_TRUE(receiver_.waitForConnection(5s)) << "the receiver's port did not open";
    program_.press("z");
    ASSERT_TRUE(WaitFor([&] { return receiver_.eventCount() == 1; }, 5s)) << "Z played nothing";
  }
  // What the receiver heard by the time the program had ended: Z's Note On, then its Note Off.
  void expectNoteOffBeforeTheEnd() { EXPECT_EQ(receiver_.story(), (Story{{0x90, 60, 127}, {0x80, 60, 0}})); }

  XServer x_;
  JackServer jack_{true, 1024};  // long periods: a dummy driver made late by timer jitter loses messages
  JackListener receiver_;
  PanelProgram program_{ZELMORA_PROGRAM, ::testing::TempDir() + "holding-a-note.log"};
};

// SIGTERM (a session's end), SIGINT (Ctrl+C) and SIGHUP (the terminal closed) close the window as its close
// button does: the held note ends before the program does, with status 0. The start-up benchmark times it.
class Signal : public HoldingANote, public ::testing::WithParamInterface<int> {};

TEST_P(Signal, EndsTheHeldNoteThenTheProgram) {
  EXPECT_EQ(program_.end(GetParam()), 0);
  expectNoteOffBeforeTheEnd();
}

INSTANTIATE_TEST_SUITE_P(ProgramOnX, Signal, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

// The X server going away ends the program inside the toolkit, past the window's closing: the held note
// still ends first.
TEST_F(HoldingANote, LostDisplayEndsTheHeldNote) {
  x_.stop();
  EXPECT_NE(program_.end(0), -1) << "the program crashed or did not end";
  expectNoteOffBeforeTheEnd();
}

}  // namespace
