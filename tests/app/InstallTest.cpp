// `cmake --install` puts the program, its launcher entry, its AppStream
// metadata and its icons where a desktop finds them, and they check out
// with the desktop's own validators.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kId = QStringLiteral("example.quorvane.ZelmoraSwitches");

struct Run {
  int exitCode = -1;
  QString output;
};

Run RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  Run run;
  if (!process.waitForFinished(60000)) {
    run.output = process.errorString();
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.output = QString::fromLocal8Bit(process.readAll());
  return run;
}

}  // namespace

class InstallTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void installsWhereDesktopsLook_data();
  void installsWhereDesktopsLook();
  void desktopEntryStartsTheProgramWithItsIcon();
  void validatorsAccept_data();
  void validatorsAccept();

 private:
  QTemporaryDir prefix_;
};

void InstallTest::initTestCase() {
  QVERIFY(prefix_.isValid());
  const Run install = RunTool(QStringLiteral(CMAKE_COMMAND),
                              {"--install", QStringLiteral(BUILD_DIR), "--prefix", prefix_.path()});
  QVERIFY2(install.exitCode == 0, qPrintable(install.output));
}

void InstallTest::installsWhereDesktopsLook_data() {
  QTest::addColumn<QString>("path");
  QTest::newRow("program") << "bin/zelmora-switches";
  QTest::newRow("launcher entry") << "share/applications/" + kId + ".desktop";
  QTest::newRow("AppStream metadata") << "share/metainfo/" + kId + ".metainfo.xml";
  QTest::newRow("scalable icon") << "share/icons/hicolor/scalable/apps/" + kId + ".svg";
  QTest::newRow("32x32 icon") << "share/icons/hicolor/32x32/apps/" + kId + ".png";
}

void InstallTest::installsWhereDesktopsLook() {
  QFETCH(QString, path);
  const QFileInfo file(prefix_.filePath(path));
  QVERIFY2(file.isFile(), qPrintable(file.filePath()));
  QVERIFY(file.size() > 0);
  if (path.startsWith(QLatin1String("bin/"))) QVERIFY(file.isExecutable());
  if (path.endsWith(QLatin1String(".png"))) QCOMPARE(QImage(file.filePath()).size(), QSize(32, 32));
  if (path.endsWith(QLatin1String(".svg"))) {
    QFile svg(file.filePath());
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QVERIFY(svg.readAll().contains("width=\"32\" height=\"32\""));
  }
}

void InstallTest::desktopEntryStartsTheProgramWithItsIcon() {
  QSettings entry(prefix_.filePath("share/applications/" + kId + ".desktop"), QSettings::IniFormat);
  entry.beginGroup(QStringLiteral("Desktop Entry"));
  QCOMPARE(entry.value("Type").toString(), QStringLiteral("Application"));
  QCOMPARE(entry.value("Name").toString(), QStringLiteral("Zelmora! Switches Module"));
  QVERIFY(QFileInfo(prefix_.filePath("bin/" + entry.value("Exec").toString())).isExecutable());
  QCOMPARE(entry.value("Icon").toString(), kId);

  QFile metainfo(prefix_.filePath("share/metainfo/" + kId + ".metainfo.xml"));
  QVERIFY(metainfo.open(QIODevice::ReadOnly));
  const QByteArray xml = metainfo.readAll();
  QVERIFY(xml.contains("<id>" + kId.toUtf8() + "</id>"));
  QVERIFY(xml.contains("<launchable type=\"desktop-id\">" + kId.toUtf8() + ".desktop</launchable>"));
  QVERIFY(xml.contains("<binary>zelmora-switches</binary>"));
}

void InstallTest::validatorsAccept_data() {
  QTest::addColumn<QString>("tool");
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QString>("file");
  QTest::newRow("desktop-file-validate") << "desktop-file-validate" << QStringList()
                                         << "share/applications/" + kId + ".desktop";
  QTest::newRow("appstreamcli") << "appstreamcli" << QStringList{"validate", "--no-net"}
                                << "share/metainfo/" + kId + ".metainfo.xml";
}

void InstallTest::validatorsAccept() {
  QFETCH(QString, tool);
  QFETCH(QStringList, arguments);
  QFETCH(QString, file);
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) QSKIP(qPrintable(tool + " is not installed"));
  const Run run = RunTool(program, arguments << prefix_.filePath(file));
  QVERIFY2(run.exitCode == 0, qPrintable(run.output));
}

QTEST_GUILESS_MAIN(InstallTest)
#include "InstallTest.moc"
