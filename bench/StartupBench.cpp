// Start-up seen from outside the process: exec to the window mapped, then painted whole, as the X server
// reports them (XDamage reports each drawing into another client's window; the toolkit sets no background,
// so the first drawing to cover the window is its first full paint). The program, with the built-in
// synthesizer open, and an empty QMainWindow with a menu bar at its size, launched in turn (with --baseline,
// a second build too) under an X server and `jackd -R -d dummy` of its own and the caller's session bus.
// Then each one's RSS without JACK's shared memory, and how long SIGTERM takes to end it.
#include <jack/jack.h>
#include <poll.h>

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <chrono>

#include "bench/Figures.h"
#include "tests/support/Servers.h"

// After the toolkit's headers: Xlib defines Bool, Status and the like as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

namespace {

long long MonotonicNs() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// The reference (--empty-window 1): the program's window without its content.
int EmptyWindow(int argc, char** argv) {
  QApplication application(argc, argv);
  QMainWindow window;
  window.menuBar()->addMenu(QStringLiteral("Midi Device"));
  window.resize(802, 357);
  window.show();
  return QApplication::exec();
}

struct Shown {
  long long startedNs = 0, mappedNs = 0, paintedNs = 0;
};

// Starts `command` and follows, as an X client with the root's SubstructureNotify, the first window it maps
// (not a popup, more than a pixel) until it is painted whole, for at most 15 s.
Shown Launch(Display* display, int damageEvent, QProcess& process, const QStringList& command) {
  XSync(display, True);  // what earlier launches left
  Shown shown{MonotonicNs()};
  process.start(command.front(), command.mid(1));
  Window window = 0;
  Region painted = XCreateRegion();
  XWindowAttributes a{};  // of the window followed, once found
  std::vector<Damage> damages;
  pollfd fd{ConnectionNumber(display), POLLIN, 0};
  while (shown.paintedNs == 0 && (XPending(display) || poll(&fd, 1, 15000) > 0)) {
    XEvent e;
    XNextEvent(display, &e);
    if (e.type == CreateNotify) {  // before it is mapped, so that its first drawing is seen
      damages.push_back(XDamageCreate(display, e.xcreatewindow.window, XDamageReportRawRectangles));
    } else if (e.type == MapNotify && window == 0 && !e.xmap.override_redirect &&
               XGetWindowAttributes(display, e.xmap.window, &a) && a.width > 1) {
      window = e.xmap.window;
      shown.mappedNs = MonotonicNs();
    } else if (e.type == damageEvent + XDamageNotify && window != 0) {
      auto& damage = reinterpret_cast<XDamageNotifyEvent&>(e);
      if (damage.drawable == window) XUnionRectWithRegion(&damage.area, painted, painted);
      if (XRectInRegion(painted, 0, 0, a.width, a.height) == RectangleIn) shown.paintedNs = MonotonicNs();
    }
  }
  for (const Damage damage : damages) XDamageDestroy(display, damage);
  XDestroyRegion(painted);
  return shown;
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

std::atomic<long long> connectedNs{0};  // when the first JACK connection was made
void NoteFirstConnection(jack_port_id_t, jack_port_id_t, int connected, void*) {
  long long none = 0;
  if (connected) connectedNs.compare_exchange_strong(none, MonotonicNs());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--empty-window") return EmptyWindow(argc, argv);
  const bench::Options options(
      argc, argv, {{"runs", "20"}, {"program", ZELMORA_PROGRAM}, {"baseline", ""}, {"json", ""}});
  QCoreApplication application(argc, argv);
  testing_support::XServer x;
  testing_support::JackServer jack(true);
  Display* display = x.ready() ? XOpenDisplay(nullptr) : nullptr;
  int damageEvent = 0, damageError = 0;
  jack_client_t* watcher = jack_client_open("zelmora-bench-watcher", JackNoStartServer, nullptr);
  if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError) || !jack.ready() || !watcher) {
    std::fprintf(stderr, "the X or the JACK server did not start, or X has no DAMAGE extension\n");
    return 1;
  }
  jack_set_port_connect_callback(watcher, &NoteFirstConnection, nullptr);
  jack_activate(watcher);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  // Windows come and go while we look at them: a request about one just gone is no reason to exit.
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });

  std::vector<std::pair<std::string, QStringList>> subjects = {
      {"program", {QString::fromStdString(options.text("program"))}},
      {"empty_window", {QString::fromLocal8Bit(argv[0]), "--empty-window", "1"}}};
  if (!options.text("baseline").empty())
    subjects.push_back({"baseline", {QString::fromStdString(options.text("baseline"))}});
  std::map<std::string, std::vector<double>> samples;  // "subject.figure"
  const auto ms = [](long long from, long long to) { return static_cast<double>(to - from) / 1e6; };
  for (int run = 0; run < options.number("runs"); ++run) {
    for (const auto& [name, command] : subjects) {
      QProcess process;
      process.setProcessChannelMode(QProcess::ForwardedChannels);
      connectedNs = 0;
      const Shown shown = Launch(display, damageEvent, process, command);
      if (shown.paintedNs == 0) {
        std::fprintf(stderr, "%s showed no window\n", name.c_str());
        return 1;
      }
      samples[name + ".mapped_ms"].push_back(ms(shown.startedNs, shown.mappedNs));
      samples[name + ".shown_ms"].push_back(ms(shown.startedNs, shown.paintedNs));
      // The synthesizer plays from the first frame shown (the empty window has none: 1 there).
      if (connectedNs != 0) samples[name + ".audio_connected_ms"].push_back(ms(shown.startedNs, connectedNs));
      samples[name + ".audio_after_mapped"].push_back(connectedNs == 0 || connectedNs > shown.mappedNs);
      QThread::msleep(500);  // the figure is the memory half a second on: the piano loads once shown
      samples[name + ".rss_without_jack_mb"].push_back(ResidentMb(process.processId()));
      const long long terminated = MonotonicNs();
      process.terminate();
      process.waitForFinished(5000);
      samples[name + ".sigterm_to_exit_ms"].push_back(ms(terminated, MonotonicNs()));
    }
  }
  jack_client_close(watcher);
  XCloseDisplay(display);

  bench::Figures figures("startup");
  std::printf("exec to the window painted whole, %d launches each, jackd -R -p 64\n", options.number("runs"));
  for (const auto& [name, values] : samples) {
    const auto p = bench::Summarize(values);
    std::printf("%-34s p50 %7.1f  p90 %7.1f  max %7.1f\n", name.c_str(), p.p50, p.p90, p.max);
    figures.add(name, p);
  }
  return figures.write(options.text("json")) ? 0 : 1;
}
