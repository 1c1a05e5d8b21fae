// The program as a desktop meets it: installed where a desktop looks, accepted by the desktop's own tools,
// answering --help, --version and a mistaken command line without a display.
#include <QImage>
#include <QtTest>

namespace {

const QString kId = QStringLiteral("example.quorvane.ZelmoraSwitches");
const QString kEntry = "share/applications/" + kId + ".desktop";
const QString kMetainfo = "share/metainfo/" + kId + ".metainfo.xml";

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
    qputenv("XDG_DATA_DIRS", path("share").toLocal8Bit());
    // A program that wanted a display now would fail at once.
    qunsetenv("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "xcb");
  }

  // Labels files are known by name and by header; the launcher entry opens them, with the program's icon.
  void desktopKnowsLabelsFiles() {
    const std::tuple<QString, QByteArray, bool> files[] = {{"show.lbl", "Setlist\r\n", true},
                                                           {"show", "Zelmora\r\nKick\r\n", true},
                                                           {"show.bak", "\xEF\xBB\xBFZelmora\r\n", true},
                                                           {"notes", "Zelmorb\r\nKick\r\n", false}};
    for (const auto& [name, content, labels] : files) {
      const QString type = QMimeDatabase().mimeTypeForFileNameAndData(name, content).name();
      QVERIFY2((type == "application/x-zelmora-labels") == labels, qPrintable(name + ": " + type));
    }
    const std::pair<QString, QByteArray> lines[] = {
        {kEntry, "\nExec=zelmora-switches %f\n"},
        {kEntry, "\nMimeType=application/x-zelmora-labels;\n"},
        {kEntry, "\nIcon=" + kId.toUtf8() + "\n"},
        {kMetainfo, "<launchable type=\"desktop-id\">" + kId.toUtf8() + ".desktop</launchable>"},
        {kMetainfo, "<mediatype>application/x-zelmora-labels</mediatype>"}};
    for (const auto& [name, line] : lines) {
      QFile file(path(name));
      QVERIFY2(file.open(QIODevice::ReadOnly) && file.readAll().contains(line), line.constData());
    }
    QCOMPARE(QImage(path("share/icons/hicolor/32x32/apps/" + kId + ".png")).size(), QSize(32, 32));
  }

  void toolsAccept() {
    const QString zelmora = path("bin/zelmora-switches");
    const std::tuple<QStringList, int, QString> runs[] = {
        {{"desktop-file-validate", path(kEntry)}, 0, ""},
        {{"appstreamcli", "validate", "--no-net", path(kMetainfo)}, 0, ""},
        {{zelmora, "--help"}, 0, "[options] [FILE]"},
        {{zelmora, "--version"}, 0, "zelmora-switches " ZELMORA_VERSION},
        {{zelmora, "--bogus", "a.lbl"}, 2, "option 'bogus'"}};
    for (auto [command, exitCode, output] : runs) {
      const QString program = command.takeFirst();
      const auto [code, text] = Run(program, command);
      QVERIFY2(code == exitCode && text.contains(output), qPrintable(program + ": " + text));
    }
  }
};

QTEST_MAIN(InstallTest)
#include "InstallTest.moc"
