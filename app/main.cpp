#include <QApplication>
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

}  // namespace

int main(int argc, char* argv[]) {
  // A JACK client must never start a server of its own: that stalls for
  // seconds when none is set up. Set before any library makes a client.
  setenv("JACK_NO_START_SERVER", "1", 1);
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
  return QApplication::exec();
}
