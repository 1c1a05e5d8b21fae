// Start-up: exec to the window exposed and painted, for the real program with its default destination (the
// built-in synthesizer) open and for an empty QMainWindow with a menu bar at its size, the floor of any Qt
// Widgets program, in turn, under an X server and `jackd -R -d dummy` of its own (and the caller's session
// bus); then the RSS of each without JACK's shared memory, and the JACK clients the program opened and closed
// meanwhile.
#include <jack/jack.h>

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QThread>
#include <QWindow>
#include <atomic>
#include <chrono>

#include "bench/Figures.h"
#include "tests/support/Servers.h"

namespace {

// CLOCK_MONOTONIC, as the program's probe reads it.
long long MonotonicNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// The reference (--empty-window 1), reporting as the program's probe does once the window has been exposed
// and painted.
int EmptyWindow(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.menuBar()->addMenu(QStringLiteral("Midi Device"));
  window.resize(802, 338);
  window.show();
  while (!window.windowHandle()->isExposed()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QCoreApplication::processEvents();
  std::printf("zelmora-startup opened_ns=0 exposed_ns=%lld\n", MonotonicNs());
  std::fflush(stdout);
  return QApplication::exec();
}

// Resident memory without the JACK server's shared memory, in MB.
double ResidentMb(qint64 pid) {
  QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
  double kb = 0;
  bool jack = false;
  for (const QByteArray& line :
       smaps.open(QIODevice::ReadOnly) ? smaps.readAll().split('\n') : QByteArrayList()) {
    if (line.startsWith("Rss:") && !jack) kb += line.mid(4).trimmed().split(' ').front().toDouble();
    if (!line.left(line.indexOf(' ')).endsWith(':'))
      jack = line.contains(" /dev/shm/jack");  // a mapping's header
  }
  return kb / 1024;
}

// Counts JACK clients as the server registers and unregisters them.
std::atomic<int> clientsOpened{0}, clientsClosed{0};
void CountClient(const char*, int registered, void*) { (registered ? clientsOpened : clientsClosed)++; }

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--empty-window") return EmptyWindow(argc, argv);
  const bench::Options options(argc, argv, {{"runs", "20"}, {"program", ZELMORA_PROGRAM}, {"json", ""}});
  QCoreApplication application(argc, argv);
  testing_support::XServer x;
  testing_support::JackServer jack(true);
  jack_client_t* watcher = jack_client_open("zelmora-bench-watcher", JackNoStartServer, nullptr);
  if (!x.ready() || !jack.ready() || !watcher) {
    std::fprintf(stderr, "the X or the JACK server did not start\n");
    return 1;
  }
  jack_set_client_registration_callback(watcher, &CountClient, nullptr);
  jack_activate(watcher);

  const std::pair<std::string, QStringList> subjects[] = {
      {"program", {QString::fromStdString(options.text("program"))}},
      {"empty_window", {QString::fromLocal8Bit(argv[0]), "--empty-window", "1"}}};
  std::map<std::string, std::vector<double>> samples;  // "subject.figure"
  qputenv("ZELMORA_STARTUP_PROBE", "1");
  for (int run = 0; run < options.number("runs"); ++run) {
    for (const auto& [name, command] : subjects) {
      QProcess process;
      process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
      clientsOpened = clientsClosed = 0;
      const long long started = MonotonicNs();
      process.start(command.front(), command.mid(1));
      long long opened = 0, exposed = 0;
      while (exposed == 0 && process.waitForReadyRead(15000))
        std::sscanf(process.readLine().constData(), "zelmora-startup opened_ns=%lld exposed_ns=%lld", &opened,
                    &exposed);
      if (exposed == 0) {
        std::fprintf(stderr, "%s reported no start-up\n", name.c_str());
        return 1;
      }
      samples[name + ".exposed_ms"].push_back(static_cast<double>(exposed - started) / 1e6);
      if (opened != 0) samples[name + ".opened_ms"].push_back(static_cast<double>(opened - started) / 1e6);
      QThread::msleep(500);  // memory once settled: the piano's samples load just after the window shows
      samples[name + ".rss_without_jack_mb"].push_back(ResidentMb(process.processId()));
      samples[name + ".jack_clients_opened"].push_back(clientsOpened);
      samples[name + ".jack_clients_closed"].push_back(clientsClosed);
      process.terminate();
      process.waitForFinished(5000);
      QThread::msleep(200);  // the server's news of the clients that leave with it
    }
  }
  jack_client_close(watcher);

  bench::Figures figures("startup");
  std::printf(
      "exec to the window exposed and painted; %d launches each, session bus, jackd -R -d dummy -p 64\n",
      options.number("runs"));
  for (const auto& [name, values] : samples) {
    const auto p = bench::Summarize(values);
    std::printf("%-34s p50 %7.1f  p90 %7.1f  max %7.1f\n", name.c_str(), p.p50, p.p90, p.max);
    figures.add(name, p);
  }
  return figures.write(options.text("json")) ? 0 : 1;
}
