// The computer keyboard through the real window: key preview, editing mode
// and keys that leave the window.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;

namespace {

struct Panel {
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form{midi, boxes, dialogs};

  Panel() {
    form.show();
    QApplication::setActiveWindow(&form);
    midi.sent.clear();
  }
  std::vector<std::uint32_t> sent() const { return midi.messagesTo(midi.openHandle); }
  // Where the platform delivers keys first: the focus widget, else the window.
  QWidget* focus() { return QApplication::focusWidget() ? QApplication::focusWidget() : &form; }
};

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private slots:
  void keysPlayWhicheverControlHasTheFocus_data();
  void keysPlayWhicheverControlHasTheFocus();
  void modifiersChangeNothing();
  void keypadPlaysNothing();
  void repeatedReleases_data();
  void repeatedReleases();
  void editingSendsKeysOnlyToTheBox();
  void openingAMenuReleasesHeldKeys();
  void losingTheWindowReleasesHeldKeys();
};

void KeyboardTest::keysPlayWhicheverControlHasTheFocus_data() {
  QTest::addColumn<int>("qtKey");
  QTest::addColumn<int>("index");
  QTest::addColumn<QString>("status");
  QTest::newRow("Z") << int(Qt::Key_Z) << 0 << "Key Z pressed (Switch28)";
  QTest::newRow("comma") << int(Qt::Key_Comma) << 12 << "Key (,) pressed (Switch35)";
  QTest::newRow("A") << int(Qt::Key_A) << 17 << "Key A pressed (Switch19)";
  QTest::newRow("9") << int(Qt::Key_9) << 62 << "Key 9 pressed (Switch09)";
}

void KeyboardTest::keysPlayWhicheverControlHasTheFocus() {
  QFETCH(int, qtKey);
  QFETCH(int, index);
  QFETCH(QString, status);
  Panel p;
  p.form.key(33)->setFocus();  // the focus on another switch
  const auto key = static_cast<Qt::Key>(qtKey);
  QTest::keyPress(p.form.key(33), key);
  QVERIFY(p.form.key(static_cast<std::int16_t>(index))->isChecked());
  QCOMPARE(p.form.lcd(1)->text(), status);
  QCOMPARE(p.form.lcd(2)->text(), QStringLiteral("Initialized..."));
  QTest::keyRelease(p.form.key(33), key);
  QVERIFY(!p.form.key(static_cast<std::int16_t>(index))->isChecked());
  QCOMPARE(p.form.lcd(2)->text(), QStringLiteral("Initialized..."));  // same text: no scroll
  const std::uint32_t note = static_cast<std::uint32_t>(60 + index) << 8;
  QCOMPARE(p.sent(), (std::vector<std::uint32_t>{0x007F0090 | note, 0x80 | note}));
}

void KeyboardTest::modifiersChangeNothing() {
  Panel p;
  QTest::keyPress(p.focus(), Qt::Key_Z, Qt::ShiftModifier);
  QTest::keyRelease(p.focus(), Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(p.sent(), (std::vector<std::uint32_t>{0x007F3C90, 0x00003C80}));
}

void KeyboardTest::keypadPlaysNothing() {
  Panel p;
  QTest::keyClick(p.focus(), Qt::Key_1, Qt::KeypadModifier);
  QTest::keyClick(p.focus(), Qt::Key_0);
  QTest::keyClick(p.focus(), Qt::Key_Semicolon);
  QVERIFY(p.midi.sent.empty());
  QCOMPARE(p.form.lcd(1)->text(), QStringLiteral("Initialized..."));
}

void KeyboardTest::repeatedReleases_data() {
  QTest::addColumn<bool>("releasesAreReal");
  QTest::addColumn<std::vector<std::uint32_t>>("sent");
  // Repeats come as release-and-press pairs: the note holds.
  QTest::newRow("pairs") << false << std::vector<std::uint32_t>{0x007F3C90};
  // The platform sends no release while a key is held: a release marked as
  // repeated is a quick re-strike, and the note plays again.
  QTest::newRow("presses only") << true << std::vector<std::uint32_t>{0x007F3C90, 0x00003C80, 0x007F3C90};
}

void KeyboardTest::repeatedReleases() {
  QFETCH(bool, releasesAreReal);
  QFETCH(std::vector<std::uint32_t>, sent);
  Panel p;
  p.form.setReleasesAreReal(releasesAreReal);
  QTest::keyPress(p.focus(), Qt::Key_Z);
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"), /*autorep=*/true);
  QApplication::sendEvent(p.focus(), &release);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"), /*autorep=*/true);
  QApplication::sendEvent(p.focus(), &press);
  QCOMPARE(p.sent(), sent);
  QVERIFY(p.form.key(0)->isChecked());
}

void KeyboardTest::editingSendsKeysOnlyToTheBox() {
  Panel p;
  p.form.panel().base_Click();
  QLineEdit* box = p.form.text(19);
  QVERIFY(box->isEnabled());
  box->setFocus();
  box->clear();
  QTest::keyClicks(box, QStringLiteral("zx"));
  QCOMPARE(box->text(), QStringLiteral("zx"));
  QVERIFY(p.midi.sent.empty());
  QCOMPARE(p.form.lcd(1)->text(), QStringLiteral("Edit/Save switches label"));

  p.form.panel().base_Click();
  QVERIFY(!box->isEnabled());
  QTest::keyPress(p.focus(), Qt::Key_Z);
  QCOMPARE(p.form.lcd(1)->text(), QStringLiteral("Key Z pressed (zx)"));
  QCOMPARE(p.sent(), std::vector<std::uint32_t>{0x007F3C90});
}

void KeyboardTest::openingAMenuReleasesHeldKeys() {
  Panel p;
  QTest::keyPress(p.focus(), Qt::Key_Z);
  QTest::keyPress(p.focus(), Qt::Key_X);
  auto* menu = p.form.menuBar()->findChild<QMenu*>(QStringLiteral("ChannelOption"));
  QVERIFY(menu);
  menu->popup(QPoint(0, 0));
  QTRY_VERIFY(menu->isVisible());
  QVERIFY(!p.form.key(0)->isChecked());
  QVERIFY(!p.form.key(2)->isChecked());
  QCOMPARE(p.sent(), (std::vector<std::uint32_t>{0x007F3C90, 0x007F3E90, 0x00003C80, 0x00003E80}));
  menu->hide();
}

void KeyboardTest::losingTheWindowReleasesHeldKeys() {
  Panel p;
  QTest::keyPress(p.focus(), Qt::Key_M);
  QVERIFY(p.form.key(11)->isChecked());
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QTRY_VERIFY(!p.form.key(11)->isChecked());
  QCOMPARE(p.sent(), (std::vector<std::uint32_t>{0x007F4790, 0x00004780}));
}

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
