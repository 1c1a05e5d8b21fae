#include <QApplication>
#include <QCommandLineParser>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "app/AutoRepeat.h"
#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "midi/Platform.h"
#include "midi/synth/SynthBackend.h"

namespace {

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// For the start-up benchmark (ZELMORA_STARTUP_PROBE=1): one line on standard
// output once the window has been exposed and painted, with the monotonic
// clock then and when the default destination had been opened.
class StartupProbe final : public QObject {
 public:
  StartupProbe(long long openedNs, int openResult) : openedNs_(openedNs), openResult_(openResult) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && !reported_) {
      reported_ = true;
      watched->removeEventFilter(this);
      // Queued: the window paints while it handles this very event.
      QMetaObject::invokeMethod(
          this,
          [this] {
            std::printf("zelmora-startup opened_ns=%lld exposed_ns=%lld open_rc=%d\n", openedNs_,
                        MonotonicNs(), openResult_);
            std::fflush(stdout);
          },
          Qt::QueuedConnection);
    }
    return false;
  }

 private:
  long long openedNs_;
  int openResult_;
  bool reported_ = false;
};

// The labels file named on the command line, or none. Ends the program after
// --help and --version (0) and after a command line it cannot take (2), before
// the toolkit starts, so that none of them needs a display.
QString LabelsFileArgument(int& argc, char* argv[]) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("A MIDI control surface of 36 labelled switches."));
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("A labels file (*.lbl) to load once started."),
                               QStringLiteral("[FILE]"));
  // Not addHelpOption(): its --help-all offers the toolkit's options, which this parser refuses.
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Displays this help."));
  parser.addOption(help);
  const QCommandLineOption version = parser.addVersionOption();
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (!parser.parse(arguments) || parser.positionalArguments().size() > 1) {
    const QString error =
        parser.errorText().isEmpty() ? QStringLiteral("Name one labels file at most.") : parser.errorText();
    std::fprintf(stderr, "zelmora-switches: %s\nTry 'zelmora-switches --help' for more information.\n",
                 qPrintable(error));
    std::exit(2);
  }
  if (parser.isSet(help) || parser.isSet(version)) {
    QCoreApplication core(argc, argv);  // names the program in the usage line
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELMORA_VERSION));
    if (parser.isSet(help)) parser.showHelp(0);  // both print and exit
    parser.showVersion();
  }
  return parser.positionalArguments().value(0);
}

}  // namespace

int main(int argc, char* argv[]) {
  // A JACK client must never start a server of its own: that stalls for
  // seconds when none is set up. Set before any library makes a client.
  setenv("JACK_NO_START_SERVER", "1", 1);
  // First: a command line that ends the program must not start the synthesizer.
  const QString labelsFile = LabelsFileArgument(argc, argv);
  // Form_Load opens the synthesizer: let it load while the toolkit starts.
  midi::StartSynthEarly();

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zelmora-switches"));
  QApplication::setApplicationDisplayName(QStringLiteral("Zelmora! Switches Module"));
  // Lets the desktop match the window to its launcher entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELMORA_APP_ID));
  const bool releasesAreReal = app::UseDetectableAutoRepeat();

  auto midi = midi::CreatePlatformMidiOut();
  app::QtMessageBoxes messages;
  app::QtFileDialogs dialogs;
  app::Form1 window(*midi, messages, dialogs);
  window.setReleasesAreReal(releasesAreReal);
  std::optional<StartupProbe> probe;
  if (std::getenv("ZELMORA_STARTUP_PROBE") != nullptr) {
    probe.emplace(MonotonicNs(), window.panel().state().lastResult);
  }
  window.show();
  if (probe) window.windowHandle()->installEventFilter(&*probe);
  // Start-up has run with the window built; queued, so that a refused file's
  // box opens over the window shown.
  if (!labelsFile.isEmpty()) {
    QMetaObject::invokeMethod(
        &window, [&] { window.loadLabelsFrom(labelsFile); }, Qt::QueuedConnection);
  }
  return QApplication::exec();
}
