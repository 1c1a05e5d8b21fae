#include <QApplication>
#include <cstdlib>

#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "midi/Platform.h"

int main(int argc, char* argv[]) {
  // A JACK client must never start a server of its own: that stalls for
  // seconds when none is set up. Set before any library makes a client.
  setenv("JACK_NO_START_SERVER", "1", 1);

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zelmora-switches"));
  QApplication::setApplicationDisplayName(QStringLiteral("Zelmora! Switches Module"));
  // Lets the desktop match the window to its launcher entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(ZELMORA_APP_ID));

  auto midi = midi::CreatePlatformMidiOut();
  app::QtMessageBoxes messages;
  app::QtFileDialogs dialogs;
  app::Form1 window(*midi, messages, dialogs);
  window.show();
  return QApplication::exec();
}
