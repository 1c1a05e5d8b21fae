// How long the window takes to build (all controls, artwork rendered from
// SVG, menus, start-up), and how long one switch takes from a mouse press to
// its repainted face. Run it by hand: QT_QPA_PLATFORM=offscreen bench/window_bench
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/Form1.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long ResidentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  testing_support::RecordingMidiOut midi;
  testing_support::RecordingMessageBoxes boxes;
  testing_support::ScriptedFileDialogs dialogs;
  const long before = ResidentKb();

  std::vector<double> builds;
  QElapsedTimer timer;
  for (int run = 0; run < 21; ++run) {
    timer.start();
    app::Form1 form(midi, boxes, dialogs);
    builds.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  const double first = builds.front();

  app::Form1 form(midi, boxes, dialogs);
  form.show();
  QCoreApplication::processEvents();
  const long after = ResidentKb();
  app::SwitchButton* key = form.key(19);
  std::vector<double> presses;
  for (int run = 0; run < 200; ++run) {
    timer.start();
    QTest::mousePress(key, Qt::LeftButton);
    key->repaint();
    presses.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
    QTest::mouseRelease(key, Qt::LeftButton);
  }

  std::printf("window build: first %.1f ms, median of the next 20 %.1f ms\n", first,
              Median(std::vector<double>(builds.begin() + 1, builds.end())));
  std::printf("switch press to repainted face: median %.1f us over 200\n", Median(presses));
  std::printf("resident memory: %ld kB before the first window, %ld kB with one shown\n", before, after);
  return 0;
}
