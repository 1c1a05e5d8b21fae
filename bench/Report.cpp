// Gathers the figures every benchmark wrote into one Markdown report with a
// table of the targets, and draws a latency histogram as a PNG beside it.
//
//   bench_report DIR      reads DIR/*.json and DIR/*.txt, writes DIR/REPORT.md and DIR/latency.png
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QSysInfo>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <optional>

namespace {

QJsonObject Load(const QDir& dir, const QString& name) {
  QFile file(dir.filePath(name + QStringLiteral(".json")));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(file.readAll()).object();
}

QString Ms(double value) { return QString::number(value, 'f', 3); }

struct Row {
  QString figure;
  QString p50, p90, p99;
  QString target;
  std::optional<bool> met;  // empty: not measured
};

QString Verdict(const std::optional<bool>& met) {
  if (!met) return QStringLiteral("not measured");
  return *met ? QStringLiteral("met") : QStringLiteral("**missed**");
}

std::vector<double> Samples(const QJsonArray& array) {
  std::vector<double> out;
  for (const auto& v : array) out.push_back(v.toDouble());
  return out;
}

// Histogram of the latency series, 0.1 ms bins, side by side.
bool DrawHistogram(const QString& path, const std::vector<std::pair<QString, std::vector<double>>>& series) {
  constexpr int kWidth = 900, kHeight = 420, kLeft = 60, kBottom = 50, kTop = 40, kRight = 20;
  constexpr double kBin = 0.1;
  double maxMs = 1;
  for (const auto& [name, values] : series) {
    for (double v : values) maxMs = std::max(maxMs, v);
  }
  maxMs = std::min(std::ceil(maxMs), 12.0);  // a rare outlier should not squash the rest
  const int bins = static_cast<int>(maxMs / kBin);
  std::vector<std::vector<int>> counts(series.size(), std::vector<int>(static_cast<std::size_t>(bins), 0));
  double peak = 1;
  for (std::size_t s = 0; s < series.size(); ++s) {
    const auto& values = series[s].second;
    for (double v : values) {
      const int bin = std::clamp(static_cast<int>(v / kBin), 0, bins - 1);
      counts[s][static_cast<std::size_t>(bin)]++;
    }
    for (int c : counts[s]) peak = std::max(peak, 100.0 * c / std::max<std::size_t>(values.size(), 1));
  }

  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF plot(kLeft, kTop, kWidth - kLeft - kRight, kHeight - kTop - kBottom);
  p.setPen(Qt::black);
  p.drawRect(plot);
  p.drawText(QRectF(0, 5, kWidth, 25), Qt::AlignCenter, QStringLiteral("Latency histogram (share of notes per 0.1 ms)"));
  for (int ms = 0; ms <= static_cast<int>(maxMs); ++ms) {
    const double x = plot.left() + plot.width() * ms / maxMs;
    p.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 4));
    p.drawText(QRectF(x - 20, plot.bottom() + 6, 40, 16), Qt::AlignCenter, QString::number(ms));
  }
  p.drawText(QRectF(plot.left(), plot.bottom() + 24, plot.width(), 18), Qt::AlignCenter, QStringLiteral("milliseconds"));
  for (int tick = 0; tick <= 4; ++tick) {
    const double share = peak * tick / 4;
    const double y = plot.bottom() - plot.height() * tick / 4;
    p.drawText(QRectF(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(share, 'f', 0) + "%");
  }
  static const QColor kColours[] = {QColor(30, 110, 200, 170), QColor(220, 90, 30, 170), QColor(40, 160, 60, 170)};
  const double barWidth = plot.width() / bins;
  for (std::size_t s = 0; s < series.size(); ++s) {
    const auto total = std::max<std::size_t>(series[s].second.size(), 1);
    p.setPen(Qt::NoPen);
    p.setBrush(kColours[s % 3]);
    for (int bin = 0; bin < bins; ++bin) {
      const double share = 100.0 * counts[s][static_cast<std::size_t>(bin)] / static_cast<double>(total);
      const double h = plot.height() * share / peak;
      p.drawRect(QRectF(plot.left() + bin * barWidth, plot.bottom() - h, barWidth, h));
    }
    p.drawRect(QRectF(plot.right() - 260, plot.top() + 10 + 20 * static_cast<double>(s), 14, 14));
    p.setPen(Qt::black);
    p.drawText(QPointF(plot.right() - 240, plot.top() + 22 + 20 * static_cast<double>(s)),
               series[s].first + QStringLiteral(" (%1 notes)").arg(series[s].second.size()));
  }
  p.end();
  return image.save(path);
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_report DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  const QJsonObject xKey = Load(dir, "x_key_to_midi"), keyMidi = Load(dir, "key_to_midi"),
                    sound = Load(dir, "key_to_sound"), startup = Load(dir, "startup"), idle = Load(dir, "idle");

  const double periodMs = keyMidi.value("period_ms").toDouble(xKey.value("period_ms").toDouble(64000.0 / 48000));
  std::vector<Row> rows;
  if (!xKey.isEmpty()) {
    const double target = periodMs + 0.5;
    rows.push_back({QStringLiteral("key→MIDI: X key press to the JACK receiver, real program"),
                    Ms(xKey["p50"].toDouble()), Ms(xKey["p90"].toDouble()), Ms(xKey["p99"].toDouble()),
                    QStringLiteral("p99 ≤ 1 period + 0.5 ms = %1 ms").arg(Ms(target)),
                    xKey["p99"].toDouble() <= target && xKey["lost"].toInt() == 0 && xKey["duplicated"].toInt() == 0});
  }
  for (const auto& r : keyMidi.value("results").toArray()) {
    const auto o = r.toObject();
    const double target = periodMs + 0.2;
    rows.push_back({QStringLiteral("key→MIDI: SwitchOn to the JACK receiver, ") + o["backend"].toString(),
                    Ms(o["p50"].toDouble()), Ms(o["p90"].toDouble()), Ms(o["p99"].toDouble()),
                    QStringLiteral("p99 ≤ 1 period + 0.2 ms = %1 ms").arg(Ms(target)),
                    o["p99"].toDouble() <= target && o["lost"].toInt() == 0 && o["duplicated"].toInt() == 0});
  }
  if (!sound.isEmpty()) {
    const double target = 2 * periodMs + 1;
    rows.push_back({QStringLiteral("key→sound: SwitchOn to the first audible sample, built-in synthesizer"),
                    Ms(sound["output_ms.p50"].toDouble()), Ms(sound["output_ms.p90"].toDouble()),
                    Ms(sound["output_ms.p99"].toDouble()),
                    QStringLiteral("p99 ≤ 2 periods + 1 ms = %1 ms").arg(Ms(target)),
                    sound["output_ms.p99"].toDouble() <= target});
  }
  if (!startup.isEmpty()) {
    rows.push_back({QStringLiteral("start-up: exec to the default destination open (ms)"),
                    QString::number(startup["opened_ms.p50"].toDouble(), 'f', 1),
                    QString::number(startup["opened_ms.p90"].toDouble(), 'f', 1),
                    QString::number(startup["opened_ms.max"].toDouble(), 'f', 1) + " (max)", QStringLiteral("—"), {}});
    rows.push_back({QStringLiteral("start-up: exec to the window shown, synthesizer open (ms)"),
                    QString::number(startup["exposed_ms.p50"].toDouble(), 'f', 1),
                    QString::number(startup["exposed_ms.p90"].toDouble(), 'f', 1),
                    QString::number(startup["exposed_ms.max"].toDouble(), 'f', 1) + " (max)",
                    QStringLiteral("p50 < 150 ms"), startup["exposed_ms.p50"].toDouble() < 150});
    rows.push_back({QStringLiteral("RSS after start-up, without JACK's shared memory (MB)"),
                    QString::number(startup["rss_without_jack_mb.p50"].toDouble(), 'f', 1),
                    QString::number(startup["rss_without_jack_mb.p90"].toDouble(), 'f', 1),
                    QString::number(startup["rss_without_jack_mb.max"].toDouble(), 'f', 1) + " (max)",
                    QStringLiteral("< 60 MB"), startup["rss_without_jack_mb.max"].toDouble() < 60});
  }
  for (const auto& r : idle.value("results").toArray()) {
    const auto o = r.toObject();
    const bool port = o["scenario"].toString().startsWith("MIDI port");
    rows.push_back({QStringLiteral("idle: ") + o["scenario"].toString() +
                        QStringLiteral(" — CPU %, wake-ups/s of all threads"),
                    QString::number(o["cpu_percent"].toDouble(), 'f', 2) + " %",
                    QString::number(o["wakeups_per_s"].toDouble(), 'f', 1) + "/s", QStringLiteral("—"),
                    port ? QStringLiteral("no wake-ups") : QStringLiteral("—"),
                    port ? std::optional<bool>(o["wakeups_per_s"].toDouble() < 1) : std::nullopt});
  }

  QFile out(dir.filePath("REPORT.md"));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 1;
  QTextStream md(&out);
  QString cpu = QSysInfo::currentCpuArchitecture();
  QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
  if (cpuinfo.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : cpuinfo.readAll().split('\n')) {
      if (line.startsWith("model name")) {
        cpu = QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        break;
      }
    }
  }
  md << "# Benchmark report\n\n";
  md << "- When: " << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << "\n";
  md << "- Machine: " << cpu << ", " << QThread::idealThreadCount() << " cores, " << QSysInfo::prettyProductName()
     << ", kernel " << QSysInfo::kernelVersion() << "\n";
  md << "- JACK: dummy driver, " << keyMidi.value("period_frames").toInt(64) << " frames at "
     << keyMidi.value("rate").toInt(48000) << " Hz (one period = " << Ms(periodMs) << " ms); "
     << "latency runs with realtime scheduling (`jackd -R`) where it could be had\n";
  md << "- Targets are comparisons, not pass marks: nothing here fails a build.\n\n";
  md << "| figure | p50 | p90 | p99 | target | |\n|---|---:|---:|---:|---|---|\n";
  for (const auto& r : rows) {
    md << "| " << r.figure << " | " << r.p50 << " | " << r.p90 << " | " << r.p99 << " | " << r.target << " | "
       << Verdict(r.met) << " |\n";
  }
  md << "\nFor the idle rows the p50 column holds the CPU share and the p90 column the wake-ups per second, "
        "summed over every thread of the process (per thread in the details below).\n";

  std::vector<std::pair<QString, std::vector<double>>> series;
  if (!xKey.isEmpty()) series.push_back({QStringLiteral("key→MIDI, X key press"), Samples(xKey["samples"].toArray())});
  if (!sound.isEmpty()) series.push_back({QStringLiteral("key→sound"), Samples(sound["output_samples_ms"].toArray())});
  if (!series.empty() && DrawHistogram(dir.filePath("latency.png"), series)) {
    md << "\n![Latency histogram](latency.png)\n";
  }

  md << "\n## Details\n\nEach benchmark's own output.\n";
  for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
    QFile text(dir.filePath(name));
    if (!text.open(QIODevice::ReadOnly)) continue;
    md << "\n### " << QFileInfo(name).completeBaseName() << "\n\n```\n" << QString::fromUtf8(text.readAll()).trimmed()
       << "\n```\n";
  }
  std::printf("%s\n", qPrintable(dir.filePath("REPORT.md")));
  return 0;
}
