#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/AutoRepeat.h"
#include "app/CloseOnSignals.h"
#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "midi/Platform.h"

namespace {

// The program's own options. The toolkit takes its own (-style, -platform,
// -reverse, ...) out of the application's arguments first.
class CommandLine {
 public:
  CommandLine() {
    parser_.setApplicationDescription(
        QStringLiteral("A MIDI control surface of 36 labelled switches.\nThe toolkit's own options "
                       "(-style, -platform, -reverse, -qwindowgeometry, ...) are accepted too."));
    parser_.addPositionalArgument(QStringLiteral("FILE"),
                                  QStringLiteral("A labels file (*.lbl) to load once started."),
                                  QStringLiteral("[FILE]"));
    // A single dash starts a word, as in the toolkit's options: "-reverse" is
    // not -r -e -v -e -r -s -e, which would ask for the version.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption(): its --help-all lists the toolkit's options, which
    // only an application made for a display knows.
    parser_.addOption(help_);
    parser_.addOption(version_);
  }

  // Answers --help and --version, anywhere on the command line, and ends the
  // program (0). Called first: neither needs a display, so neither waits for
  // the toolkit, which could not start without one.
  void answerHelpOrVersion(int& argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    parser_.parse(arguments);  // the toolkit's options are unknown here: what they mean is asked later
    if (!parser_.isSet(help_) && !parser_.isSet(version_)) return;
    QCoreApplication core(argc, argv);  // names the program in the usage line
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELMORA_VERSION));
    if (parser_.isSet(help_)) parser_.showHelp(0);  // both print and exit
    parser_.showVersion();
  }

  // The labels file named in what the toolkit left of the command line, or
  // none; nothing when the command line cannot be taken, which is then said
  // in one line.
  std::optional<QString> labelsFile(const QStringList& arguments) {
    if (!parser_.parse(arguments) || parser_.positionalArguments().size() > 1) {
      const QString error = parser_.errorText().isEmpty() ? QStringLiteral("Name one labels file at most.")
                                                          : parser_.errorText();
      std::fprintf(stderr, "zelmora-switches: %s Try 'zelmora-switches --help' for more information.\n",
                   qPrintable(error));
      return std::nullopt;
    }
    return parser_.positionalArguments().value(0);
  }

 private:
  QCommandLineParser parser_;
  const QCommandLineOption help_{{QStringLiteral("h"), QStringLiteral("help")},
                                 QStringLiteral("Displays this help.")};
  const QCommandLineOption version_{{QStringLiteral("v"), QStringLiteral("version")},
                                    QStringLiteral("Displays version information.")};
};

// Qt's X11 platform ends the program with exit(1) when the X server goes away
// (a lost connection, a logout that kills the server): main never returns, and
// no destructor of its objects runs. exit() still runs the functions given to
// std::atexit, the C library's one hook for the program's end; this one gives
// the held switches their Note Offs on the open port and closes it, as closing
// the window would. Qt calls exit() on the window's thread, between events.
// main points it at its window while the window lives; registered once the
// window is built, it runs before the library objects made earlier are torn
// down.
app::Form1* windowAtExit = nullptr;
void ReleaseHeldSwitchesAtExit() {
  if (windowAtExit != nullptr) windowAtExit->panel().Form_Unload();
}

}  // namespace

int main(int argc, char* argv[]) {
  CommandLine commandLine;
  commandLine.answerHelpOrVersion(argc, argv);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zelmora-switches"));
  QApplication::setApplicationDisplayName(QStringLiteral("Zelmora! Switches Module"));
  // Lets the desktop match the window to its launcher entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELMORA_APP_ID));
  const std::optional<QString> labelsFile = commandLine.labelsFile(QApplication::arguments());
  if (!labelsFile) return 2;
  const bool releasesAreReal = app::UseDetectableAutoRepeat();

  // Its SoundFont starts loading on a thread of its own now, while the window
  // is built; Form_Load's open waits for it, so that a refusal is told before
  // the window shows.
  const std::unique_ptr<midi::MidiOut> midi = midi::CreatePlatformMidiOut();
  app::QtMessageBoxes messages;
  app::QtFileDialogs dialogs;
  app::Form1 window(*midi, messages, dialogs);
  window.setReleasesAreReal(releasesAreReal);
  const app::CloseOnSignals closeOnSignals(window);
  windowAtExit = &window;
  std::atexit(&ReleaseHeldSwitchesAtExit);
  window.show();
  // Start-up has run with the window built; queued, so that a refused file's
  // box opens over the window shown.
  if (!labelsFile->isEmpty()) {
    QMetaObject::invokeMethod(
        &window, [&] { window.loadLabelsFrom(*labelsFile); }, Qt::QueuedConnection);
  }
  const int status = QApplication::exec();
  windowAtExit = nullptr;
  return status;
}
