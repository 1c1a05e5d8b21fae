// The real window on a real X server (Xvfb): it opens with the focus on "C",
// draws its surface as laid out, and leaves a screenshot in the build tree
// (form1-on-xvfb.png) for a person to look at.
#include <QApplication>
#include <QFontInfo>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/Servers.h"

class Form1OnXTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheFocusOnCAndDrawsTheLayout() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    testing_support::RecordingMidiOut midi;
    testing_support::RecordingMessageBoxes boxes;
    testing_support::ScriptedFileDialogs dialogs;
    app::Form1 form(midi, boxes, dialogs);
    form.panel().ShowStatus("Key S pressed (Switch20)");
    form.panel().SwitchOn(19);  // "S" pressed: shown sunken
    form.show();
    // No window manager runs here to activate a new window; ask as one would.
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTRY_COMPARE(QApplication::focusWidget(), form.key(4));
    // The fonts as the X server's machine resolves them: fixed pitch.
    QVERIFY(QFontInfo(form.key(4)->font()).fixedPitch() && QFontInfo(form.text(1)->font()).fixedPitch());
    // What the X server shows, not what Qt would paint: read it back from the screen.
    QImage shot;
    auto at = [&](int x, int y) {
      return shot.pixelColor(form.centralWidget()->pos() + QPoint(x, y)).toRgb();
    };
    QTRY_VERIFY((shot = form.screen()->grabWindow(form.winId()).toImage(), at(16 + 6, 280 + 4) == Qt::green));
    QVERIFY(shot.save(QStringLiteral(SCREENSHOT_DIR "/form1-on-xvfb.png")));
    QCOMPARE(at(16, 280), QColor(Qt::white));            // "Z": raised
    QCOMPARE(at(104, 216), QColor(128, 128, 128));       // "S": sunken
    QCOMPARE(at(104 + 6, 216 + 4), QColor(Qt::green));   // with its green face
    QCOMPARE(at(8, 300), QColor(Qt::white));             // a frame
    QCOMPARE(at(400, 334), QColor(Qt::black));           // the surface
    QCOMPARE(at(544 + 205, 16 + 8), QColor(Qt::black));  // the status display
  }
};

int main(int argc, char* argv[]) {
  // The X server must be up before the application connects to a display.
  if (!testing_support::Installed("Xvfb")) return std::puts("SKIP: Xvfb is not installed"), 0;
  testing_support::XServer server;
  if (!server.ready()) return std::puts("Xvfb did not start"), 1;
  QApplication application(argc, argv);
  Form1OnXTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "Form1OnXTest.moc"
