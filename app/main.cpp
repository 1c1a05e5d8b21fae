#include <QApplication>
#include <QCommandLineParser>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <optional>

#include "app/AutoRepeat.h"
#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "midi/Platform.h"

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

// The MIDI service, whose first steps take longest: Form_Load lists the ports
// and opens the default destination, which opens JACK clients, and loads the
// SoundFont. Those two calls are made at once on a thread of their own, while
// the toolkit starts and the window is built; Form_Load's own calls take the
// answers. One thread, because libjack fails to open a client while another
// thread of the process opens or closes one. Every call waits for it.
class StartedEarly final : public midi::MidiOut {
 public:
  StartedEarly() {
    started_ = std::async(std::launch::async, [this] {
      midi_ = midi::CreatePlatformMidiOut();
      // The open first: the listing then borrows its JACK client instead of opening one.
      opened_ = midi_->open(midi::kDefaultDevice, handle_);
      count_ = midi_->deviceCount();
    });
  }
  ~StartedEarly() override {
    if (wait().opened_ == midi::rc::kOk) midi_->close(handle_);  // never asked for
  }
  std::int32_t deviceCount() override {
    return wait().count_ ? *std::exchange(count_, std::nullopt) : midi_->deviceCount();
  }
  std::int32_t open(std::int32_t id, midi::PortHandle& handle) override {
    if (id != midi::kDefaultDevice || !wait().opened_) return midi_->open(id, handle);
    handle = handle_;
    return *std::exchange(opened_, std::nullopt);
  }
  std::string productName(std::int32_t id) override { return wait().midi_->productName(id); }
  void send(midi::PortHandle handle, std::uint32_t message) override { wait().midi_->send(handle, message); }
  std::int32_t close(midi::PortHandle handle) override { return wait().midi_->close(handle); }
  std::string lastError() const override { return wait().midi_->lastError(); }

 private:
  const StartedEarly& wait() const {
    if (started_.valid()) started_.wait();
    return *this;
  }
  std::unique_ptr<midi::MidiOut> midi_;
  std::optional<std::int32_t> count_, opened_;  // the answers until Form_Load takes them
  midi::PortHandle handle_ = 0;
  std::future<void> started_;  // declared last, so destroyed first: its thread fills the members above
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
  StartedEarly midi;

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zelmora-switches"));
  QApplication::setApplicationDisplayName(QStringLiteral("Zelmora! Switches Module"));
  // Lets the desktop match the window to its launcher entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELMORA_APP_ID));
  const bool releasesAreReal = app::UseDetectableAutoRepeat();

  app::QtMessageBoxes messages;
  app::QtFileDialogs dialogs;
  app::Form1 window(midi, messages, dialogs);
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
