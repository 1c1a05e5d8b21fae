// The program as a desktop meets it: installed where a desktop looks, accepted by the desktop's own tools,
// answering --help and --version without a display.
#include <QImage>
#include <QtTest>

namespace {

const QString kEntry = QStringLiteral("share/applications/example.quorvane.ZelmoraSwitches.desktop");

// The exit code (-1 when it crashed or never ended) and all it wrote.
std::pair<int, QString> Run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  const bool ended = process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit;
  return {ended ? process.exitCode() : -1,
          ended ? QString::fromLocal8Bit(process.readAll()) : process.errorString()};
}

}  // namespace

class InstallTest : public QObject {
  Q_OBJECT
  QTemporaryDir prefix_;
  QString path(const QString& relative) const { return prefix_.filePath(relative); }

 private slots:
  void initTestCase() {
    const auto [code, output] = Run(CMAKE_COMMAND, {"--install", BUILD_DIR, "--prefix", prefix_.path()});
    QVERIFY2(code == 0, qPrintable(output));
    // The MIME database of this package alone, as the desktop's triggers build it.
    QCOMPARE(Run("update-mime-database", {path("share/mime")}).first, 0);
    QCOMPARE(Run("update-desktop-database", {path("share/applications")}).first, 0);
    qputenv("XDG_DATA_DIRS", path("share").toLocal8Bit());
    qputenv("XDG_DATA_HOME", path("home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", path("home").toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", path("home").toLocal8Bit());
    // A stand-in named like the program, first on the path: it notes the file it is handed.
    QFile standIn(path("stand-in/zelmora-switches"));
    QVERIFY(QDir().mkpath(path("stand-in")) && standIn.open(QIODevice::WriteOnly));
    standIn.write("#!/bin/sh\necho \"$@\" >\"$0.tmp\" && mv \"$0.tmp\" \"$0.handed\"\n");
    standIn.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    qputenv("PATH", path("stand-in").toLocal8Bit() + ":" + qgetenv("PATH"));
    // A program that wanted a display now would fail at once.
    qunsetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "xcb");
  }

  // Labels files are known by name and by header, and the desktop opens them with the program, handing it the
  // file.
  void desktopOpensLabelsFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("labels");
    QTest::newRow("by name") << "show.lbl" << QByteArray("Setlist\r\n") << true;
    QTest::newRow("by header") << "show" << QByteArray("Zelmora\r\nKick\r\n") << true;
    QTest::newRow("header after BOM") << "show.bak" << QByteArray("\xEF\xBB\xBFZelmora\r\n") << true;
    QTest::newRow("other header") << "notes" << QByteArray("Zelmorb\r\nKick\r\n") << false;
  }
  void desktopOpensLabelsFiles() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, labels);
    QFile file(path(name)), handed(path("stand-in/zelmora-switches.handed"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    const QString type = QMimeDatabase().mimeTypeForFile(file.fileName()).name();
    QVERIFY2((type == "application/x-zelmora-labels") == labels, qPrintable(type));
    if (!labels) return;
    handed.remove();
    QCOMPARE(Run("gio", {"open", file.fileName()}).first, 0);
    QTRY_VERIFY(handed.exists());
    QVERIFY(handed.open(QIODevice::ReadOnly));
    QCOMPARE(handed.readAll(), file.fileName().toLocal8Bit() + "\n");
  }

  // The launcher entry names an icon the desktop finds.
  void desktopShowsTheProgramsIcon() {
    const QString icon = QSettings(path(kEntry), QSettings::IniFormat).value("Desktop Entry/Icon").toString();
    QCOMPARE(QImage(path("share/icons/hicolor/32x32/apps/" + icon + ".png")).size(), QSize(32, 32));
  }

  void toolsAccept_data() {
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("output");  // part of it; every command succeeds
    const QString zelmora = path("bin/zelmora-switches");
    const std::tuple<const char*, QStringList, QString> runs[] = {
        {"launcher", {"desktop-file-validate", path(kEntry)}, ""},
        {"software centre", {"appstreamcli", "validate-tree", "--no-net", prefix_.path()}, ""},
        {"help", {zelmora, "--help"}, "[options] [FILE]"},
        {"version", {zelmora, "--version"}, "zelmora-switches " ZELMORA_VERSION},
        {"help after an option", {zelmora, "-style", "Fusion", "--help"}, "The toolkit's own options"}};
    for (const auto& [name, command, output] : runs) QTest::newRow(name) << command << output;
  }
  void toolsAccept() {
    QFETCH(QStringList, command);
    QFETCH(QString, output);
    const QString program = command.takeFirst();
    const auto [code, text] = Run(program, command);
    QVERIFY2(code == 0 && text.contains(output), qPrintable(program + ": " + text));
  }
};

QTEST_MAIN(InstallTest)
#include "InstallTest.moc"
