// The real window on a real X server (Xvfb): it opens with the focus on "C",
// draws its surface as laid out, and leaves a screenshot in the build tree
// (form1-on-xvfb.png) for a person to look at.
#include <QApplication>
#include <QFontInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QtTest>
#include <memory>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"
#include "tests/support/XServer.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;
using testing_support::XServer;

class Form1OnXTest : public QObject {
  Q_OBJECT

 public:
  // Why the tests cannot run, or empty when they can.
  explicit Form1OnXTest(QString unavailable) : unavailable_(std::move(unavailable)) {}

 private slots:
  void init();
  void opensWithTheFocusOnC();
  void screenshotShowsTheLayout();

 private:
  QString unavailable_;
};

void Form1OnXTest::init() {
  if (!unavailable_.isEmpty()) QSKIP(qPrintable(unavailable_));
  QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

void Form1OnXTest::opensWithTheFocusOnC() {
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  // No window manager runs here to activate a new window; ask as one would.
  form.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  QTRY_COMPARE(QApplication::focusWidget(), form.key(4));
}

void Form1OnXTest::screenshotShowsTheLayout() {
  RecordingMidiOut midi;
  midi.ports = {"Synth & Co"};
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  form.panel().ShowStatus("Key S pressed (Switch20)");
  form.panel().SwitchOn(19);  // "S" pressed: shown sunken
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QWidget* client = form.centralWidget();
  QCOMPARE(client->size(), QSize(802, 338));
  // The fonts as the X server's machine resolves them: fixed pitch.
  QVERIFY(QFontInfo(form.key(4)->font()).fixedPitch());
  QVERIFY(QFontInfo(form.text(1)->font()).fixedPitch());

  // What the X server shows, not what Qt would paint: read it back from the screen.
  QImage shot;
  QTRY_VERIFY((shot = form.screen()->grabWindow(form.winId()).toImage(),
               shot.size() == form.size() * form.devicePixelRatio() &&
                   shot.pixelColor(client->pos() + QPoint(16 + 6, 280 + 4)) == QColor(0, 255, 0)));
  const QString file = QStringLiteral(SCREENSHOT_DIR "/form1-on-xvfb.png");
  QVERIFY2(shot.save(file), qPrintable(file));
  qInfo("screenshot: %s", qPrintable(file));

  auto at = [&](int x, int y) { return shot.pixelColor(client->pos() + QPoint(x, y)).toRgb(); };
  QCOMPARE(at(16 + 6, 280 + 4), QColor(0, 255, 0));  // "Z": green face
  QCOMPARE(at(16, 280), QColor(255, 255, 255));      // raised
  QCOMPARE(at(104, 216), QColor(128, 128, 128));     // "S": sunken
  QCOMPARE(at(104 + 6, 216 + 4), QColor(0, 255, 0));
  QCOMPARE(at(8, 300), QColor(255, 255, 255));       // a frame
  QCOMPARE(at(400, 334), QColor(0, 0, 0));           // the surface
  QCOMPARE(at(544 + 205, 16 + 8), QColor(0, 0, 0));  // the status display's black
}

int main(int argc, char* argv[]) {
  // The X server must be up before the application connects to a display.
  QString unavailable;
  std::unique_ptr<XServer> server;
  if (!XServer::Installed()) {
    unavailable = QStringLiteral("Xvfb is not installed");
  } else {
    server = std::make_unique<XServer>();
    if (!server->ready()) {
      std::fprintf(stderr, "Xvfb did not start\n");
      return 1;
    }
  }
  QApplication application(argc, argv);
  Form1OnXTest test(unavailable);
  return QTest::qExec(&test, argc, argv);
}

#include "Form1OnXTest.moc"
