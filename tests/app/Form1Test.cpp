#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void startsWithItsDefaults();
  void everyMouseButtonPlays_data();
  void everyMouseButtonPlays();
  void refusedOpenShowsTheMessage();
  void velocityBarRunsFrom127AtTheTop();
  void channelMenuMovesOneCheckMark();
  void closingReleasesAndClosesThePort();
};

void Form1Test::startsWithItsDefaults() {
  RecordingMidiOut midi;
  midi.ports = {"Alpha", "Beta"};
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);

  QCOMPARE(form.lcd(1)->text(), QStringLiteral("Initialized..."));
  QCOMPARE(form.lcd(2)->text(), QString());
  QCOMPARE(form.device().at(0)->text(), QStringLiteral("MIDI Mapper"));
  QVERIFY(form.device().at(0)->isChecked());
  QCOMPARE(form.device().at(2)->text(), QStringLiteral("Beta"));
  QVERIFY(form.device().at(2)->isVisible());
  QVERIFY(!form.device().at(3)->isVisible());
  QVERIFY(!form.device().at(3)->isEnabled());
  QVERIFY(form.chan().at(0)->isChecked());
  QCOMPARE(form.vol()->value(), 127);
  QCOMPARE(form.panel().state().velocity, 127);
  QCOMPARE(form.text(19)->text(), QStringLiteral("Switch28"));
  QVERIFY(!form.text(19)->isEnabled());
  QVERIFY(boxes.texts.isEmpty());
}

void Form1Test::everyMouseButtonPlays_data() {
  QTest::addColumn<Qt::MouseButton>("button");
  QTest::addColumn<int>("index");
  QTest::newRow("left") << Qt::LeftButton << 0;
  QTest::newRow("right") << Qt::RightButton << 62;
  QTest::newRow("middle") << Qt::MiddleButton << 17;
  QTest::newRow("back") << Qt::BackButton << 12;
}

void Form1Test::everyMouseButtonPlays() {
  QFETCH(Qt::MouseButton, button);
  QFETCH(int, index);
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  midi.sent.clear();
  auto* key = form.key(static_cast<std::int16_t>(index));
  QVERIFY(key);

  QTest::mousePress(key, button);
  QVERIFY(key->isChecked());
  QTest::mouseRelease(key, button);
  QVERIFY(!key->isChecked());
  const auto note = static_cast<std::uint32_t>(60 + index) << 8;
  QCOMPARE(midi.messagesTo(midi.openHandle), (std::vector<std::uint32_t>{0x007F0090 | note, 0x80 | note}));
}

void Form1Test::refusedOpenShowsTheMessage() {
  RecordingMidiOut midi;
  midi.openResults[-1] = 4;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  QCOMPARE(boxes.texts, QStringList{QStringLiteral("Couldn't open midi out, rc = 4")});
  QCOMPARE(form.lcd(1)->text(), QStringLiteral("Initialized..."));
}

void Form1Test::velocityBarRunsFrom127AtTheTop() {
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  form.vol()->setValue(100);
  form.vol()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  QCOMPARE(form.panel().state().velocity, 101);
  form.vol()->triggerAction(QAbstractSlider::SliderToMaximum);
  QCOMPARE(form.panel().state().velocity, 127);
  form.vol()->setValue(0);
  QCOMPARE(form.panel().state().velocity, 0);
  form.panel().SwitchOn(0);
  QCOMPARE(form.panel().state().lastMessage, 0x00003C90);
}

void Form1Test::channelMenuMovesOneCheckMark() {
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  form.chan().at(15)->trigger();
  QCOMPARE(form.panel().state().channel, 15);
  int checked = 0;
  for (QAction* entry : form.chan()) checked += entry->isChecked();
  QCOMPARE(checked, 1);
  QVERIFY(form.chan().at(15)->isChecked());
  form.chan().at(15)->trigger();  // again: stays checked
  QVERIFY(form.chan().at(15)->isChecked());
}

void Form1Test::closingReleasesAndClosesThePort() {
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  {
    ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
    QTest::mousePress(form.key(0), Qt::LeftButton);
    form.close();
    QVERIFY(!form.key(0)->isChecked());
  }
  QCOMPARE(midi.openHandle, 0);
  QCOMPARE(midi.sent.back().message, 0x00003C80u);
  // Destroying the window after closing it closes nothing twice.
  QCOMPARE(std::count_if(midi.calls.begin(), midi.calls.end(),
                         [](const auto& c) { return c.kind == RecordingMidiOut::Call::kClose; }),
           2);
}

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
