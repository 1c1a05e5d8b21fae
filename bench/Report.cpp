// Gathers the figures every benchmark wrote into one Markdown report, each figure beside its target, with a
// latency histogram drawn as a PNG: `bench_report DIR` reads DIR/*.json and DIR/*.txt, writes DIR/REPORT.md
// and DIR/latency.png.
#include <QDateTime>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <optional>

namespace {

QJsonObject figures;  // every benchmark's figures, as "benchmark.name"
QTextStream* md;

double Get(const QString& name) { return figures.value(name).toDouble(); }
QString Fixed(double value, int decimals) { return QString::number(value, 'f', decimals); }

void Row(const QString& figure, const QStringList& values, const QString& target, std::optional<bool> met) {
  const char* verdict = !met ? "" : *met ? "met" : "**missed**";
  *md << "| " << figure << " | " << values.join(" | ") << " | " << target << " | " << verdict << " |\n";
}
// The percentiles NAME.p50, NAME.p90 and NAME.p99 (else NAME.max), when measured.
void Percentiles(const QString& figure, const QString& name, int decimals, const QString& target = {},
                 std::optional<bool> met = {}) {
  QStringList values;
  for (const char* p : {".p50", ".p90", ".p99"}) values << Fixed(Get(name + p), decimals);
  if (figures.contains(name + ".p50")) Row(figure, values, target, met);
}

// Share of each series' samples per 0.1 ms bin from 0 to 10 ms, the top at 50 %.
void DrawHistogram(const QString& path, const QStringList& series) {
  QImage image(900, 420, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  const QRectF plot(40, 40, 840, 340);
  p.drawRect(plot);
  p.drawText(QRectF(0, 5, 900, 25), Qt::AlignCenter,
             QStringLiteral("Latency: share of notes per 0.1 ms (0 to 10 ms)"));
  for (int ms = 0; ms <= 10; ++ms)
    p.drawText(QPointF(plot.left() + 84 * ms - 4, plot.bottom() + 20), QString::number(ms));
  const QColor colours[] = {QColor(30, 110, 200, 170), QColor(220, 90, 30, 170), QColor(40, 160, 60, 170)};
  for (int s = 0; s < series.size(); ++s) {
    const QJsonArray samples = figures.value(series[s]).toArray();
    std::vector<double> share(100, 0);
    for (const auto& v : samples)
      share[std::clamp(static_cast<int>(v.toDouble() * 10), 0, 99)] += 1.0 / samples.size();
    p.setPen(Qt::NoPen);
    p.setBrush(colours[s]);
    for (int bin = 0; bin < 100; ++bin) {
      const double h = plot.height() * std::min(share[bin] * 2, 1.0);
      p.drawRect(QRectF(plot.left() + bin * 8.4, plot.bottom() - h, 8.4, h));
    }
    p.drawRect(QRectF(plot.right() - 320, plot.top() + 10 + 20 * s, 14, 14));
    p.setPen(Qt::black);
    p.drawText(QPointF(plot.right() - 300, plot.top() + 22 + 20 * s),
               series[s] + " (" + QString::number(samples.size()) + ")");
  }
  image.save(path);
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QDir dir(QString::fromLocal8Bit(argc == 2 ? argv[1] : "bench/report"));
  for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
    QFile file(dir.filePath(name));
    const QJsonObject object =
        file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    for (auto it = object.begin(); it != object.end(); ++it)
      figures.insert(object["benchmark"].toString() + "." + it.key(), *it);
  }
  QFile out(dir.filePath("REPORT.md"));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  QTextStream stream(&out);
  md = &stream;
  const double period =
      figures.contains("key_to_midi.period_ms") ? Get("key_to_midi.period_ms") : 64000.0 / 48000;
  stream << "# Benchmark report\n\n- When: " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
         << "\n- Machine: " << QSysInfo::currentCpuArchitecture() << ", " << QThread::idealThreadCount()
         << " cores, " << QSysInfo::prettyProductName()
         << "\n- JACK: dummy driver with realtime scheduling (`jackd -R`), one period = " << Fixed(period, 3)
         << " ms; start-up under a session bus\n- Targets are comparisons, not pass marks.\n\n"
         << "| figure | p50 | p90 | p99 (or max) | target | |\n|---|---:|---:|---:|---|---|\n";

  const auto within = [&](const QString& name, double p99) {
    return Get(name + ".p99") <= p99 && Get(name.chopped(3) + "_lost_or_duplicated") == 0;
  };
  Percentiles("key→MIDI: X key press to the JACK receiver, real program (ms)", "key_to_midi.x_key_ms", 3,
              "p99 ≤ 1 period + 0.5 ms, none lost", within("key_to_midi.x_key_ms", period + 0.5));
  Percentiles("key→MIDI: SwitchOn to the JACK receiver (ms)", "key_to_midi.switch_on_ms", 3,
              "p99 ≤ 1 period + 0.2 ms, none lost", within("key_to_midi.switch_on_ms", period + 0.2));
  for (const QString note : {"60", "110"}) {
    const QString name = "key_to_sound.note" + note;
    Percentiles("key→sound: SwitchOn to note " + note + "'s first sample at the output (ms)", name + "_ms", 3,
                "p99 ≤ 2 periods + 1 ms, never silent",
                Get(name + "_ms.p99") <= 2 * period + 1 && Get(name + "_silent") == 0);
  }
  const double notes = Get("key_to_sound.note110_ms.p50") - Get("key_to_sound.note60_ms.p50");
  if (Get("key_to_sound.note110_ms.count") > 0)
    Row("key→sound: note 110 minus note 60, p50 (ms)", {Fixed(notes, 3), "", ""}, "within 1 period",
        std::abs(notes) <= period);
  for (const QString subject : {"program", "empty_window", "baseline"}) {  // baseline: a second build, if run
    Percentiles("start-up: exec to the window shown (mapped, painted whole), " + subject + " (ms)",
                "startup." + subject + ".shown_ms", 1);
    const QString rss = "startup." + subject + ".rss_without_jack_mb";
    Percentiles("RSS without JACK's shared memory, " + subject + " (MB)", rss, 1, "≤ 55 MB",
                Get(rss + ".max") <= 55);
  }
  Percentiles("start-up: exec to the synthesizer's output connected (ms)",
              "startup.program.audio_connected_ms", 1, "before the window is mapped, every launch",
              Get("startup.program.audio_after_mapped.max") == 0);
  const double above = Get("startup.program.shown_ms.p50") - Get("startup.empty_window.shown_ms.p50");
  if (figures.contains("startup.empty_window.shown_ms.p50"))
    Row("start-up: the program above the empty window, p50 (ms)", {Fixed(above, 1), "", ""}, "≤ 40 ms",
        above <= 40);
  Percentiles("SIGTERM to the program's end, its notes released and its port closed (ms)",
              "startup.program.sigterm_to_exit_ms", 1, "p99 ≤ 300 ms",
              Get("startup.program.sigterm_to_exit_ms.p99") <= 300);
  if (figures.contains("idle.synth_cpu_percent")) {
    const double extra = Get("idle.synth_cpu_percent") - Get("idle.reference_cpu_percent");
    Row("idle, CPU % of a core: the synthesizer open; a JACK client that only clears its buffers; the "
        "difference",
        {Fixed(Get("idle.synth_cpu_percent"), 2), Fixed(Get("idle.reference_cpu_percent"), 2),
         Fixed(extra, 2)},
        "difference ≤ 0.2", extra <= 0.2);
  }
  DrawHistogram(
      dir.filePath("latency.png"),
      {"key_to_midi.x_key_samples_ms", "key_to_sound.note60_samples_ms", "key_to_sound.note110_samples_ms"});
  stream << "\n![Latency histogram](latency.png)\n\n## Details\n\nEach benchmark's own output; the idle runs "
            "per thread.\n";
  for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
    QFile text(dir.filePath(name));
    if (text.open(QIODevice::ReadOnly))
      stream << "\n### " << name.chopped(4) << "\n\n```\n" << text.readAll().trimmed() << "\n```\n";
  }
  std::printf("%s\n", qPrintable(out.fileName()));
  return 0;
}
