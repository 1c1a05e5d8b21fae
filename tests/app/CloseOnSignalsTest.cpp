// A signal closes the window once; the end-to-end tests hear what that closing sends.
#include <QtTest>
#include <QtWidgets>
#include <csignal>

#include "app/CloseOnSignals.h"

class CloseOnSignalsTest : public QObject {
  Q_OBJECT

 private slots:
  // After the first signal, a second has its default effect again: a closing that hangs can still be ended.
  void firstSignalClosesTheWindowSecondIsTheSystems() {
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
      QWidget window;
      window.show();
      const app::CloseOnSignals closer(window);
      std::raise(number);
      QTRY_VERIFY(!window.isVisible());
      struct sigaction now {};
      QVERIFY(sigaction(number, nullptr, &now) == 0 && now.sa_handler == SIG_DFL);
    }
  }
};

QTEST_MAIN(CloseOnSignalsTest)
#include "CloseOnSignalsTest.moc"
