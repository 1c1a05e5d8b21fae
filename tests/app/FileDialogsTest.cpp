#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "app/FileDialogs.h"

namespace {

// Runs `step` once a modal widget of type T is on top, the way a user would
// answer it. Polls on the event loop; gives up after ten seconds by closing
// every modal widget, so a dialog that never closes fails the test instead of
// hanging it. The timer belongs to `owner`.
template <class T>
void WhenModal(QObject* owner, std::function<void(T*)> step) {
  auto* timer = new QTimer(owner);
  QElapsedTimer clock;
  clock.start();
  QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, step] {
    if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      step(widget);
    } else if (clock.hasExpired(10000)) {
      timer->stop();
      while (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    }
  });
  timer->start(5);
}

void Type(QFileDialog* dialog, const QString& folder, const QString& name) {
  dialog->setDirectory(folder);
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(edit);
  edit->setText(name);
}

// The Save or Open button: QFileDialog checks the name (and may ask) first.
void Accept(QFileDialog* dialog) { static_cast<QDialog*>(dialog)->accept(); }

void Answer(QMessageBox* box, QMessageBox::StandardButton button) {
  QAbstractButton* answer = box->button(button);
  QVERIFY(answer);
  answer->click();
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

}  // namespace

class FileDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void saveOffersLabelsFilesAndAddsTheExtension_data();
  void saveOffersLabelsFilesAndAddsTheExtension();
  void saveAsksBeforeReplacing_data();
  void saveAsksBeforeReplacing();
  void openOffersLabelsFiles();
  void extensionAddedAfterTheDialog_data();
  void extensionAddedAfterTheDialog();
};

void FileDialogsTest::saveOffersLabelsFilesAndAddsTheExtension_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("chosen");
  QTest::newRow("no_extension") << QStringLiteral("show") << QStringLiteral("show.lbl");
  QTest::newRow("lbl") << QStringLiteral("show.lbl") << QStringLiteral("show.lbl");
  QTest::newRow("other_extension") << QStringLiteral("show.txt") << QStringLiteral("show.txt");
}

void FileDialogsTest::saveOffersLabelsFilesAndAddsTheExtension() {
  QFETCH(QString, typed);
  QFETCH(QString, chosen);
  QTemporaryDir folder;
  QObject context;
  QStringList filters;
  WhenModal<QFileDialog>(&context, [&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    Type(dialog, folder.path(), typed);
    Accept(dialog);
  });
  app::QtFileDialogs dialogs;
  QCOMPARE(dialogs.saveName(nullptr), folder.filePath(chosen));
  QCOMPARE(filters.size(), 1);
  QVERIFY2(filters.at(0).contains(QStringLiteral("*.lbl")), qPrintable(filters.join(';')));
}

void FileDialogsTest::saveAsksBeforeReplacing_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<bool>("replace");
  QTest::newRow("typed_whole_name_yes") << QStringLiteral("show.lbl") << true;
  QTest::newRow("typed_whole_name_no") << QStringLiteral("show.lbl") << false;
  // The name the dialog completes is the one it asks about.
  QTest::newRow("completed_name_yes") << QStringLiteral("show") << true;
  QTest::newRow("completed_name_no") << QStringLiteral("show") << false;
}

void FileDialogsTest::saveAsksBeforeReplacing() {
  QFETCH(QString, typed);
  QFETCH(bool, replace);
  QTemporaryDir folder;
  const QString existing = folder.filePath(QStringLiteral("show.lbl"));
  Put(existing, "old");
  QObject context;
  QString question;
  WhenModal<QFileDialog>(&context, [&](QFileDialog* dialog) {
    Type(dialog, folder.path(), typed);
    WhenModal<QMessageBox>(&context, [&](QMessageBox* box) {
      question = box->text();
      Answer(box, replace ? QMessageBox::Yes : QMessageBox::No);
      // Said no: the dialog stays open for another name; the user gives up.
      if (!replace) WhenModal<QFileDialog>(&context, [](QFileDialog* again) { again->reject(); });
    });
    Accept(dialog);
  });
  app::QtFileDialogs dialogs;
  const QString name = dialogs.saveName(nullptr);

  QVERIFY2(question.contains(QStringLiteral("show.lbl")), qPrintable(question));
  QCOMPARE(name, replace ? existing : QString());
  QFile file(existing);
  QVERIFY(file.open(QIODevice::ReadOnly));
  QCOMPARE(file.readAll(), QByteArray("old"));
}

void FileDialogsTest::openOffersLabelsFiles() {
  QTemporaryDir folder;
  const QString existing = folder.filePath(QStringLiteral("set.lbl"));
  Put(existing, "Zelmora\r\n");
  QObject context;
  QStringList filters;
  WhenModal<QFileDialog>(&context, [&](QFileDialog* dialog) {
    filters = dialog->nameFilters();
    Type(dialog, folder.path(), QStringLiteral("set.lbl"));
    Accept(dialog);
  });
  app::QtFileDialogs dialogs;
  QCOMPARE(dialogs.openName(nullptr), existing);
  QVERIFY(!filters.isEmpty());
  QVERIFY2(filters.at(0).contains(QStringLiteral("*.lbl")), qPrintable(filters.join(';')));
}

void FileDialogsTest::extensionAddedAfterTheDialog_data() {
  QTest::addColumn<QString>("chosen");
  QTest::addColumn<bool>("exists");
  QTest::addColumn<bool>("replace");
  QTest::addColumn<QString>("result");
  QTest::newRow("new_name") << QStringLiteral("show") << false << false << QStringLiteral("show.lbl");
  QTest::newRow("trailing_dot") << QStringLiteral("show.") << false << false << QStringLiteral("show.lbl");
  QTest::newRow("has_extension") << QStringLiteral("show.txt") << true << false << QStringLiteral("show.txt");
  QTest::newRow("existing_replaced") << QStringLiteral("show") << true << true << QStringLiteral("show.lbl");
  QTest::newRow("existing_kept") << QStringLiteral("show") << true << false << QString();
}

// Some native dialogs ignore the default extension; the name they return gets
// it afterwards, and the user is asked about that name too.
void FileDialogsTest::extensionAddedAfterTheDialog() {
  QFETCH(QString, chosen);
  QFETCH(bool, exists);
  QFETCH(bool, replace);
  QFETCH(QString, result);
  QTemporaryDir folder;
  if (exists) Put(folder.filePath(QStringLiteral("show.lbl")), "old");
  QObject context;
  int asked = 0;
  WhenModal<QMessageBox>(&context, [&](QMessageBox* box) {
    ++asked;
    Answer(box, replace ? QMessageBox::Yes : QMessageBox::No);
  });
  const QString name = app::WithLabelsExtension(folder.filePath(chosen), nullptr);
  QCOMPARE(name, result.isEmpty() ? QString() : folder.filePath(result));
  QCOMPARE(asked, exists && chosen == QStringLiteral("show") ? 1 : 0);
}

QTEST_MAIN(FileDialogsTest)
#include "FileDialogsTest.moc"
