// Idle cost: the CPU share and wake-ups of each of this process's threads over an idle stretch, with a
// reference JACK client that only clears its two output buffers, then with the window and its default
// destination (the built-in synthesizer) open.
#include <jack/jack.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstring>

#include "app/Form1.h"
#include "bench/Figures.h"
#include "midi/Platform.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/Servers.h"

namespace {

// Each thread's CPU time in seconds and its time slices on a CPU, each a wake-up.
std::map<QString, std::pair<double, double>> SampleThreads() {
  std::map<QString, std::pair<double, double>> threads;
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile name(tasks.filePath(tid + "/comm")), schedstat(tasks.filePath(tid + "/schedstat"));
    if (!name.open(QIODevice::ReadOnly) || !schedstat.open(QIODevice::ReadOnly)) continue;
    const QList<QByteArray> fields = schedstat.readAll().split(' ');  // on CPU (ns), waiting (ns), slices
    threads[name.readAll().trimmed() + " [" + tid + "]"] = {fields.value(0).toDouble() / 1e9,
                                                            fields.value(2).toDouble()};
  }
  return threads;
}

// Idles `seconds` in the event loop; prints each thread's share. Returns the whole process's CPU share, in
// percent of one core.
double MeasureIdle(const char* scenario, int seconds) {
  const auto before = SampleThreads();
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  double cpu = 0, wakeups = 0;
  std::printf("\n%s, idle %d s\n| thread | CPU %% of a core | wake-ups/s |\n|---|---:|---:|\n", scenario,
              seconds);
  for (const auto& [thread, end] : SampleThreads()) {
    const auto start = before.count(thread) ? before.at(thread) : std::pair<double, double>{};
    const double c = 100 * (end.first - start.first) / seconds, w = (end.second - start.second) / seconds;
    std::printf("| %s | %.2f | %.1f |\n", qPrintable(thread), c, w);
    cpu += c;
    wakeups += w;
  }
  std::printf("| all | %.2f | %.1f |\n", cpu, wakeups);
  return cpu;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options options(argc, argv, {{"seconds", "10"}, {"json", ""}});
  const int seconds = options.number("seconds");
  testing_support::JackServer jack(true);
  if (!jack.ready()) return 1;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  bench::Figures figures("idle");

  jack_client_t* reference = jack_client_open("zelmora-bench-reference", JackNoStartServer, nullptr);
  if (reference == nullptr) return 1;
  static std::array<jack_port_t*, 2> outputs;
  for (std::size_t i = 0; i < outputs.size(); ++i)
    outputs[i] =
        jack_port_register(reference, i ? "right" : "left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  const auto clear = [](jack_nframes_t frames, void*) {
    for (jack_port_t* port : outputs)
      std::memset(jack_port_get_buffer(port, frames), 0, frames * sizeof(float));
    return 0;
  };
  jack_set_process_callback(reference, clear, nullptr);
  jack_activate(reference);
  figures.add("reference_cpu_percent", MeasureIdle("a JACK client that only clears its buffers", seconds));
  jack_client_close(reference);

  auto midi = midi::CreatePlatformMidiOut();
  testing_support::RecordingMessageBoxes boxes;
  testing_support::ScriptedFileDialogs dialogs;
  app::Form1 form(*midi, boxes, dialogs);
  form.show();
  if (!boxes.texts.empty()) std::fprintf(stderr, "%s\n", qPrintable(boxes.texts.join('\n')));
  figures.add("synth_cpu_percent", MeasureIdle("the window, the built-in synthesizer open", seconds));

  form.close();
  return figures.write(options.text("json")) ? 0 : 1;
}
