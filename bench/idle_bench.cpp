// Idle cost of the panel: CPU time and wake-ups per second of each of the
// program's threads over an idle stretch, with the built-in synthesizer open
// and with a plain MIDI port open. Runs the real window and MIDI service in
// this process, against a JACK server and a MIDI receiver of its own.
//
//   idle_bench [--seconds N] [--json FILE]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstdio>
#include <map>
#include <unistd.h>

#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "midi/Platform.h"
#include "tests/support/JackServer.h"

namespace {

// A box that only reports: a benchmark must never wait for a user.
class PrintingMessageBoxes final : public app::MessageBoxes {
 public:
  void show(QWidget*, const QString& text, const QString& details) override {
    std::fprintf(stderr, "message: %s (%s)\n", qPrintable(text), qPrintable(details));
  }
};

class NoDialogs final : public app::FileDialogs {
 public:
  QString openName(QWidget*) override { return {}; }
  QString saveName(QWidget*) override { return {}; }
};

struct ThreadSample {
  QString name;
  double cpuSeconds = 0;
  long long switches = 0;  // voluntary + involuntary context switches: each is a wake-up or more
};

std::map<QString, ThreadSample> SampleThreads() {
  std::map<QString, ThreadSample> threads;
  const long ticks = sysconf(_SC_CLK_TCK);
  for (const QString& tid : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    ThreadSample sample;
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QString line = QString::fromLatin1(stat.readAll());
    const auto open = line.indexOf('('), close = line.lastIndexOf(')');
    sample.name = line.mid(open + 1, close - open - 1) + QStringLiteral(" [%1]").arg(tid);
    const QStringList fields = line.mid(close + 2).split(' ');
    // Fields after the name: state is 0, utime is 11, stime is 12.
    sample.cpuSeconds = (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(ticks);
    QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
    if (status.open(QIODevice::ReadOnly)) {
      for (const QByteArray& l : status.readAll().split('\n')) {
        if (l.startsWith("voluntary_ctxt_switches:") || l.startsWith("nonvoluntary_ctxt_switches:")) {
          sample.switches += l.split(':').value(1).trimmed().toLongLong();
        }
      }
    }
    threads[tid] = sample;
  }
  return threads;
}

QJsonObject MeasureIdle(const QString& scenario, int seconds) {
  const auto before = SampleThreads();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  const auto after = SampleThreads();

  double cpu = 0, wakeups = 0;
  QJsonArray perThread;
  std::printf("\n%s, idle for %d s\n| thread | CPU %% | wake-ups/s |\n|---|---:|---:|\n", qPrintable(scenario),
              seconds);
  for (const auto& [tid, end] : after) {
    const auto start = before.find(tid);
    const double c = end.cpuSeconds - (start != before.end() ? start->second.cpuSeconds : 0);
    const double w = static_cast<double>(end.switches - (start != before.end() ? start->second.switches : 0));
    cpu += c;
    wakeups += w;
    std::printf("| %s | %.2f | %.1f |\n", qPrintable(end.name), 100 * c / seconds, w / seconds);
    perThread.append(QJsonObject{{"thread", end.name}, {"cpu_percent", 100 * c / seconds},
                                 {"wakeups_per_s", w / seconds}});
  }
  std::printf("| all | %.2f | %.1f |\n", 100 * cpu / seconds, wakeups / seconds);
  return {{"scenario", scenario}, {"seconds", seconds}, {"cpu_percent", 100 * cpu / seconds},
          {"wakeups_per_s", wakeups / seconds}, {"threads", perThread}};
}

}  // namespace

int main(int argc, char* argv[]) {
  int seconds = 10;
  QString json;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--seconds") seconds = std::atoi(argv[i + 1]);
    if (flag == "--json") json = QString::fromLocal8Bit(argv[i + 1]);
  }
  if (!testing_support::JackServer::Installed()) {
    std::fprintf(stderr, "idle_bench: jackd is not installed\n");
    return 1;
  }
  testing_support::JackServer jack;
  if (!jack.ready()) {
    std::fprintf(stderr, "idle_bench: the JACK server did not start\n");
    return 1;
  }
  // A receiver in a process of its own, so its wake-ups are not counted as ours.
  QProcess receiver;
  testing_support::Start(receiver, "jack_midi_dump", {});
  usleep(300000);

  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication application(argc, argv);
  auto midi = midi::CreatePlatformMidiOut();
  PrintingMessageBoxes boxes;
  NoDialogs dialogs;
  app::Form1 form(*midi, boxes, dialogs);
  form.show();

  QJsonArray results;
  results.append(MeasureIdle(QStringLiteral("default destination (built-in synthesizer) open"), seconds));

  int port = -1;
  for (int id = 0; id < form.panel().state().deviceCount; ++id) {
    if (midi->productName(id).find("midi_dump") != std::string::npos ||
        midi->productName(id).find("input") != std::string::npos) {
      port = id;
      break;
    }
  }
  if (port >= 0) {
    form.panel().device_Click(static_cast<std::int16_t>(port + 1));
    results.append(MeasureIdle(QStringLiteral("MIDI port open: ") + QString::fromStdString(midi->productName(port)),
                               seconds));
  } else {
    std::fprintf(stderr, "idle_bench: the receiver's port is not listed\n");
  }

  if (!json.isEmpty()) {
    QFile out(json);
    if (out.open(QIODevice::WriteOnly)) {
      out.write(QJsonDocument(QJsonObject{{"benchmark", "idle"}, {"results", results}}).toJson());
    }
  }
  form.close();
  return 0;
}
