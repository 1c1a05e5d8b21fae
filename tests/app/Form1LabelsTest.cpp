#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "switch_labels/LabelsCodec.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;

namespace {

const QString kNotALabelsFile = QStringLiteral("This file is not a valid 'Labels' file!");
const QString kEditStatus = QStringLiteral("Edit/Save switches label");

// A window with recording doubles, as the program would build it.
struct Window {
  RecordingMidiOut midi;
  RecordingMessageBoxes messages;
  ScriptedFileDialogs dialogs;
  app::Form1 form{midi, messages, dialogs};

  void run(const char* entry) {
    QAction* action = form.findChild<QAction*>(QString::fromLatin1(entry));
    QVERIFY2(action, entry);
    action->trigger();
  }
  QStringList labels() const {
    QStringList out;
    for (int box = 1; box <= 36; ++box) out << form.text(box)->text();
    return out;
  }
  void setLabels(const QStringList& labels) {
    for (int box = 1; box <= 36; ++box) form.text(box)->setText(labels.at(box - 1));
  }
  int enabledBoxes() const {
    int count = 0;
    for (int box = 1; box <= 36; ++box) count += form.text(box)->isEnabled();
    return count;
  }
};

QStringList OpeningLabels() {
  QStringList labels;
  for (int n = 1; n <= 18; ++n) labels << QStringLiteral("Switch%1").arg(n, 2, 10, QLatin1Char('0'));
  for (int n = 28; n <= 36; ++n) labels << QStringLiteral("Switch%1").arg(n);
  for (int n = 27; n >= 19; --n) labels << QStringLiteral("Switch%1").arg(n);
  return labels;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray FileOf(const QStringList& labels, const QByteArray& header = "Zelmora") {
  QByteArray bytes = header + "\r\n";
  for (const QString& label : labels) bytes += label.toUtf8() + "\r\n";
  return bytes;
}

}  // namespace

class Form1LabelsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void saveWritesTheOpeningLabelsOverAnOldFile();
  void savedLabelsLoadBackUnchanged_data();
  void savedLabelsLoadBackUnchanged();
  void noNameTouchesNothing_data();
  void noNameTouchesNothing();
  void refusedFileChangesNoLabel_data();
  void refusedFileChangesNoLabel();
  void failedSaveIsReported();
  void pastedLineBreakKeepsEveryOtherLabel();
  void loadingKeepsTheMode_data();
  void loadingKeepsTheMode();
  void editingModeRunsAsWritten();
  void typedKeysGoToTheBoxAndPlayNothing();
  void mousePlaysWhileEditing();

 private:
  std::unique_ptr<QTemporaryDir> folder_;
  QString path(const QString& name) const { return folder_->filePath(name); }
};

void Form1LabelsTest::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  QVERIFY(folder_->isValid());
}

void Form1LabelsTest::saveWritesTheOpeningLabelsOverAnOldFile() {
  Window w;
  const QString file = path(QStringLiteral("show.lbl"));
  Put(file, QByteArray(3000, 'o'));
  w.dialogs.saveAnswers << file;
  w.run("LBLSave");

  QCOMPARE(w.dialogs.saves, 1);
  QCOMPARE(Contents(file),
           QByteArray("Zelmora\r\n"
                      "Switch01\r\nSwitch02\r\nSwitch03\r\nSwitch04\r\nSwitch05\r\nSwitch06\r\n"
                      "Switch07\r\nSwitch08\r\nSwitch09\r\nSwitch10\r\nSwitch11\r\nSwitch12\r\n"
                      "Switch13\r\nSwitch14\r\nSwitch15\r\nSwitch16\r\nSwitch17\r\nSwitch18\r\n"
                      "Switch28\r\nSwitch29\r\nSwitch30\r\nSwitch31\r\nSwitch32\r\nSwitch33\r\n"
                      "Switch34\r\nSwitch35\r\nSwitch36\r\n"
                      "Switch27\r\nSwitch26\r\nSwitch25\r\nSwitch24\r\nSwitch23\r\nSwitch22\r\n"
                      "Switch21\r\nSwitch20\r\nSwitch19\r\n"));
  QVERIFY(w.messages.texts.isEmpty());
  QCOMPARE(w.labels(), OpeningLabels());
  QCOMPARE(QDir(folder_->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
           QStringList{QStringLiteral("show.lbl")});
}

void Form1LabelsTest::savedLabelsLoadBackUnchanged_data() {
  QTest::addColumn<QStringList>("labels");
  QStringList comma = OpeningLabels();
  // As first written, this comma moved every later label one box on.
  comma[4] = QStringLiteral("Kick, Snare");
  QTest::newRow("comma_in_Text5") << comma;
  QStringList tricky = OpeningLabels();
  tricky[0] = QStringLiteral("\"Intro\"");
  tricky[1] = QStringLiteral(" lead");
  tricky[2] = QStringLiteral("trail ");
  tricky[3] = QString();
  tricky[4] = QStringLiteral("say \"hi\"");
  tricky[5] = QStringLiteral("a,b,\"c\"");
  tricky[35] = QStringLiteral("   ");
  QTest::newRow("quotes_blanks_empty") << tricky;
  QStringList unicode = OpeningLabels();
  unicode[0] = QStringLiteral("Café");
  unicode[1] = QString::fromUtf8("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
  unicode[2] = QString::fromUtf8("\xF0\x9F\x8E\xB9 Piano");
  unicode[3] = QStringLiteral("€ ‚ “x”");
  QTest::newRow("non_ascii") << unicode;
  QStringList longer = OpeningLabels();
  // Longer than a user may type into a box: still set whole.
  longer[18] = QStringLiteral("A label much longer than nine characters");
  QTest::newRow("longer_than_nine") << longer;
}

void Form1LabelsTest::savedLabelsLoadBackUnchanged() {
  QFETCH(QStringList, labels);
  Window w;
  const QString file = path(QStringLiteral("round.lbl"));
  w.setLabels(labels);
  w.dialogs.saveAnswers << file;
  w.run("LBLSave");
  w.setLabels(QStringList(36, QStringLiteral("x")));
  w.dialogs.openAnswers << file;
  w.run("LBLload");

  QCOMPARE(w.messages.texts, QStringList());
  QCOMPARE(w.labels(), labels);
  QCOMPARE(w.dialogs.opens, 1);
}

void Form1LabelsTest::noNameTouchesNothing_data() {
  QTest::addColumn<QString>("entry");
  QTest::newRow("load") << QStringLiteral("LBLload");
  QTest::newRow("save") << QStringLiteral("LBLSave");
}

void Form1LabelsTest::noNameTouchesNothing() {
  QFETCH(QString, entry);
  Window w;
  w.form.panel().SwitchOn(0);  // its key is held as the dialog opens
  w.run(entry.toLatin1().constData());

  QCOMPARE(w.dialogs.opens + w.dialogs.saves, 1);
  QCOMPARE(w.labels(), OpeningLabels());
  QVERIFY(w.messages.texts.isEmpty());
  QVERIFY(QDir(folder_->path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  // The dialog takes the keyboard: the held key's release would never come.
  QVERIFY(!w.form.panel().isOn(0));
  QCOMPARE(w.midi.sent.back().message, 0x00003C80u);
}

void Form1LabelsTest::refusedFileChangesNoLabel_data() {
  QTest::addColumn<QByteArray>("content");  // "<missing>" and "<folder>" name no file
  QTest::addColumn<QString>("message");
  QTest::addColumn<bool>("hasDetails");
  const QStringList other(36, QStringLiteral("other"));
  QTest::newRow("other_header") << FileOf(other, "Labels") << kNotALabelsFile << false;
  QTest::newRow("header_in_capitals") << FileOf(other, "ZELMORA") << kNotALabelsFile << false;
  QTest::newRow("not_text") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << kNotALabelsFile << false;
  QTest::newRow("too_short") << QByteArray("Zelmora\r\nA\r\nB\r\n")
                             << QString::fromStdString(switch_labels::Message(switch_labels::LabelsError::kTooShort))
                             << true;
  QByteArray large = FileOf(other);
  while (large.size() <= (1 << 21)) large += QByteArray(1000, 'p') + "\r\n";
  QTest::newRow("two_MiB") << large
                           << QString::fromStdString(switch_labels::Message(switch_labels::LabelsError::kTooLarge))
                           << true;
  QTest::newRow("missing") << QByteArray("<missing>")
                           << QString::fromStdString(switch_labels::Message(switch_labels::LabelsError::kCannotOpen))
                           << true;
  QTest::newRow("folder") << QByteArray("<folder>")
                          << QString::fromStdString(switch_labels::Message(switch_labels::LabelsError::kCannotRead))
                          << true;
}

void Form1LabelsTest::refusedFileChangesNoLabel() {
  QFETCH(QByteArray, content);
  QFETCH(QString, message);
  QFETCH(bool, hasDetails);
  Window w;
  const QString file = path(QStringLiteral("in.lbl"));
  if (content == "<folder>") {
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("in.lbl")));
  } else if (content != "<missing>") {
    Put(file, content);
  }
  w.dialogs.openAnswers << file;
  w.run("LBLload");

  QCOMPARE(w.messages.texts, QStringList{message});
  QCOMPARE(!w.messages.details.at(0).isEmpty(), hasDetails);
  if (hasDetails) QVERIFY2(w.messages.details.at(0).contains(file), qPrintable(w.messages.details.at(0)));
  QCOMPARE(w.labels(), OpeningLabels());
}

void Form1LabelsTest::failedSaveIsReported() {
  Window w;
  Put(path(QStringLiteral("plain")), "x");
  const QString file = path(QStringLiteral("plain/show.lbl"));  // a folder that is a file
  w.dialogs.saveAnswers << file;
  w.run("LBLSave");

  QCOMPARE(w.messages.texts,
           QStringList{QString::fromStdString(switch_labels::Message(switch_labels::LabelsError::kCannotWrite))});
  QVERIFY2(w.messages.details.at(0).contains(file), qPrintable(w.messages.details.at(0)));
  QCOMPARE(Contents(path(QStringLiteral("plain"))), QByteArray("x"));
  QCOMPARE(w.labels(), OpeningLabels());
}

// A box takes a pasted line break. Written as it is, it would make two lines
// of the file and move every later label one box on at the next load.
void Form1LabelsTest::pastedLineBreakKeepsEveryOtherLabel() {
  Window w;
  w.run("base");
  QLineEdit* box = w.form.text(7);
  box->clear();
  QApplication::clipboard()->setText(QStringLiteral("Two\nlines"));
  box->paste();
  QCOMPARE(box->text(), QStringLiteral("Two\nlines"));
  const QString file = path(QStringLiteral("pasted.lbl"));
  w.dialogs.saveAnswers << file;
  w.run("LBLSave");
  w.dialogs.openAnswers << file;
  w.run("LBLload");

  QStringList expected = OpeningLabels();
  expected[6] = QStringLiteral("Two lines");
  QCOMPARE(w.labels(), expected);
  QCOMPARE(Contents(file).count("\r\n"), 37);
  QVERIFY(w.messages.texts.isEmpty());
}

void Form1LabelsTest::loadingKeepsTheMode_data() {
  QTest::addColumn<bool>("editing");
  QTest::newRow("locked") << false;
  QTest::newRow("editing") << true;
}

void Form1LabelsTest::loadingKeepsTheMode() {
  QFETCH(bool, editing);
  Window w;
  if (editing) w.run("base");
  const QString file = path(QStringLiteral("set.lbl"));
  const QStringList loaded(36, QStringLiteral("Loaded"));
  Put(file, FileOf(loaded));
  w.dialogs.openAnswers << file;
  w.run("LBLload");

  QCOMPARE(w.labels(), loaded);
  QCOMPARE(w.enabledBoxes(), editing ? 36 : 0);
  QCOMPARE(w.form.panel().keyPreview(), !editing);
}

void Form1LabelsTest::editingModeRunsAsWritten() {
  Window w;
  w.midi.sent.clear();
  QAction* base = w.form.findChild<QAction*>(QStringLiteral("base"));
  QVERIFY(base);
  QCOMPARE(w.enabledBoxes(), 0);
  QVERIFY(w.form.panel().keyPreview());

  // First run, right after start-up: everything editable, key preview off.
  w.run("base");
  QCOMPARE(w.enabledBoxes(), 36);
  QVERIFY(!w.form.panel().keyPreview());
  QCOMPARE(w.form.lcd(1)->text(), kEditStatus);
  QCOMPARE(w.form.lcd(2)->text(), QStringLiteral("Initialized..."));
  QCOMPARE(w.form.panel().state().statusText, kEditStatus.toStdString());

  QLineEdit* box = w.form.text(3);
  QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(box, QStringLiteral("Bass"));
  QCOMPARE(box->text(), QStringLiteral("Bass"));

  // Second run: locked again; the status lines do not move.
  w.run("base");
  QCOMPARE(w.enabledBoxes(), 0);
  QVERIFY(w.form.panel().keyPreview());
  QCOMPARE(w.form.lcd(1)->text(), kEditStatus);
  QCOMPARE(w.form.lcd(2)->text(), QStringLiteral("Initialized..."));
  QCOMPARE(w.form.lcd(3)->text(), QString());
  QCOMPARE(box->text(), QStringLiteral("Bass"));

  // Third run: editable again, with the texts as they were left.
  w.run("base");
  QCOMPARE(w.enabledBoxes(), 36);
  QVERIFY(!w.form.panel().keyPreview());
  QStringList expected = OpeningLabels();
  expected[2] = QStringLiteral("Bass");
  QCOMPARE(w.labels(), expected);

  // Nothing else happened: no note, no caption changed, the entry as it was.
  QVERIFY(w.midi.sent.empty());
  QCOMPARE(w.form.key(52)->text(), QStringLiteral("3"));
  QCOMPARE(base->text(), QStringLiteral("Edit / Save Labels"));
  QVERIFY(!base->isChecked());
  QVERIFY(w.messages.texts.isEmpty());
}

void Form1LabelsTest::typedKeysGoToTheBoxAndPlayNothing() {
  Window w;
  w.form.show();
  QVERIFY(QTest::qWaitForWindowActive(&w.form));
  w.run("base");
  QLineEdit* box = w.form.text(19);  // the label of Z's switch
  box->setFocus();
  QTRY_VERIFY(box->hasFocus());
  w.midi.sent.clear();

  QTest::keyClick(box, Qt::Key_Z);
  QCOMPARE(box->text(), QStringLiteral("Switch28z"));
  QVERIFY(w.midi.sent.empty());
  QCOMPARE(w.form.lcd(1)->text(), kEditStatus);

  // Locked again, the same key plays and the status shows the typed label.
  w.run("base");
  QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : &w.form;
  QTest::keyPress(target, Qt::Key_Z);
  QCOMPARE(w.midi.messagesTo(w.midi.openHandle), std::vector<std::uint32_t>{0x007F3C90u});
  QCOMPARE(w.form.lcd(1)->text(), QStringLiteral("Key Z pressed (Switch28z)"));
  QTest::keyRelease(target, Qt::Key_Z);
  QCOMPARE(w.midi.messagesTo(w.midi.openHandle), (std::vector<std::uint32_t>{0x007F3C90u, 0x00003C80u}));
}

void Form1LabelsTest::mousePlaysWhileEditing() {
  Window w;
  w.run("base");
  w.midi.sent.clear();
  QTest::mousePress(w.form.key(0), Qt::LeftButton);
  QTest::mouseRelease(w.form.key(0), Qt::LeftButton);
  QCOMPARE(w.midi.messagesTo(w.midi.openHandle), (std::vector<std::uint32_t>{0x007F3C90u, 0x00003C80u}));
}

QTEST_MAIN(Form1LabelsTest)
#include "Form1LabelsTest.moc"
