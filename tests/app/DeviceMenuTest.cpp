// The device menu lists every port the platform reports. The window's
// layout has entries for ten; a machine with a JACK server and a few
// programs easily has more, and a port left out of the menu cannot be played.
#include <QAction>
#include <QtTest>

#include "app/Form1.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;

class DeviceMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void listsEveryPort_data();
  void listsEveryPort();
};

void DeviceMenuTest::listsEveryPort_data() {
  QTest::addColumn<int>("ports");
  QTest::newRow("none") << 0;
  QTest::newRow("two") << 2;
  QTest::newRow("ten, as many as the layout has") << 10;
  QTest::newRow("twelve") << 12;
}

void DeviceMenuTest::listsEveryPort() {
  QFETCH(int, ports);
  RecordingMidiOut midi;
  for (int id = 0; id < ports; ++id) midi.ports.push_back("Port " + std::to_string(id));
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);

  const auto& entries = form.device();
  QVERIFY(entries.size() >= static_cast<std::size_t>(ports) + 1);
  QVERIFY(entries.size() >= 11);
  QCOMPARE(entries[0]->text(), QStringLiteral("MIDI Mapper"));
  for (std::size_t index = 1; index < entries.size(); ++index) {
    const bool listed = index <= static_cast<std::size_t>(ports);
    QCOMPARE(entries[index]->isVisible(), listed);
    QCOMPARE(entries[index]->isEnabled(), listed);
    if (listed) QCOMPARE(entries[index]->text(), QStringLiteral("Port %1").arg(index - 1));
  }
  if (ports == 0) return;

  // The last port plays like any other: its entry opens its id and takes the check mark.
  QAction* last = entries[static_cast<std::size_t>(ports)];
  last->trigger();
  QCOMPARE(midi.openDevice, ports - 1);
  QCOMPARE(form.panel().state().deviceId, ports - 1);
  QVERIFY(last->isChecked());
  QVERIFY(!entries[0]->isChecked());
  QVERIFY(boxes.texts.isEmpty());
}

QTEST_MAIN(DeviceMenuTest)
#include "DeviceMenuTest.moc"
