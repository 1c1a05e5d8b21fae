// Start-up: from exec of the real program, under an X server and a JACK
// server of the benchmark's own, to its window exposed and painted with the
// default destination (the built-in synthesizer) open; and the program's
// resident memory then, without the JACK server's shared memory that every
// JACK client maps. The program reports its moments itself when
// ZELMORA_STARTUP_PROBE is set.
//
//   startup_bench [--runs N] [--program PATH] [--json PATH]
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "bench/Figures.h"
#include "tests/support/JackServer.h"
#include "tests/support/XServer.h"

namespace {

using namespace std::chrono_literals;

struct Arguments {
  int runs = 20;
  std::string program = ZELMORA_PROGRAM;
  std::string json;
};

bool Parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--runs" && hasValue) {
      args.runs = std::atoi(argv[++i]);
    } else if (arg == "--program" && hasValue) {
      args.program = argv[++i];
    } else if (arg == "--json" && hasValue) {
      args.json = argv[++i];
    } else {
      return false;
    }
  }
  return args.runs > 0;
}

long long MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

struct Report {
  long long openedNs = 0;
  long long exposedNs = 0;
  int openResult = -1;
};

// The program's one line, once it has written it.
std::optional<Report> WaitForReport(const std::string& log, QProcess& child) {
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (std::chrono::steady_clock::now() < deadline && !child.waitForFinished(0)) {
    std::ifstream in(log);
    std::string line;
    while (std::getline(in, line)) {
      Report report;
      if (std::sscanf(line.c_str(), "zelmora-startup opened_ns=%lld exposed_ns=%lld open_rc=%d", &report.openedNs,
                      &report.exposedNs, &report.openResult) == 3) {
        return report;
      }
    }
    std::this_thread::sleep_for(1ms);
  }
  return std::nullopt;
}

struct Memory {
  double residentMb = 0;     // everything
  double jackSharedMb = 0;   // of it, the JACK server's shared memory
};

Memory ResidentMemory(pid_t pid) {
  std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
  Memory memory;
  std::string line;
  bool jack = false;
  while (std::getline(smaps, line)) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first == "Rss:") {
      double kb = 0;
      fields >> kb;
      memory.residentMb += kb / 1024;
      if (jack) memory.jackSharedMb += kb / 1024;
    } else if (first.find('-') != std::string::npos && first.back() != ':') {
      // A mapping's header: address perms offset device inode [path]
      std::string perms, offset, device, inode, path;
      fields >> perms >> offset >> device >> inode >> path;
      jack = path.rfind("/dev/shm/jack", 0) == 0;
    }
  }
  return memory;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::fprintf(stderr, "usage: %s [--runs N] [--program PATH] [--json PATH]\n", argv[0]);
    return 2;
  }
  if (!testing_support::XServer::Installed() || !testing_support::JackServer::Installed()) {
    std::fprintf(stderr, "Xvfb and jackd must be installed\n");
    return 2;
  }
  testing_support::XServer x;
  testing_support::JackServer jack;
  if (!x.ready() || !jack.ready()) {
    std::fprintf(stderr, "the X or the JACK server did not start\n");
    return 1;
  }
  const std::string scratch = "/tmp/zelmora-startup-" + std::to_string(getpid());
  mkdir(scratch.c_str(), 0700);
  const QString runtime = QString::fromStdString(scratch);

  std::vector<double> opened;
  std::vector<double> exposed;
  std::vector<double> resident;
  std::vector<double> withJack;
  int refused = 0;
  for (int run = 0; run < args.runs; ++run) {
    const std::string log = scratch + "/run" + std::to_string(run) + ".log";
    const long long started = MonotonicNs();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ZELMORA_STARTUP_PROBE", "1");
    environment.insert("XDG_RUNTIME_DIR", runtime);
    child.setProcessEnvironment(environment);
    child.setStandardOutputFile(QString::fromStdString(log));
    testing_support::Start(child, QString::fromStdString(args.program), {}, QProcess::nullDevice(), true);
    const auto report = WaitForReport(log, child);
    if (!report) {
      std::fprintf(stderr, "run %d: the program reported no start-up (see %s)\n", run, log.c_str());
      return 1;
    }
    const Memory memory = ResidentMemory(static_cast<pid_t>(child.processId()));
    testing_support::Stop(child);
    std::remove(log.c_str());
    if (report->openResult != 0) ++refused;
    opened.push_back(static_cast<double>(report->openedNs - started) / 1e6);
    exposed.push_back(static_cast<double>(report->exposedNs - started) / 1e6);
    resident.push_back(memory.residentMb - memory.jackSharedMb);
    withJack.push_back(memory.residentMb);
  }
  rmdir(scratch.c_str());

  const auto o = bench::Summarize(opened);
  const auto e = bench::Summarize(exposed);
  const auto m = bench::Summarize(resident);
  const auto j = bench::Summarize(withJack);
  std::printf("Start-up of %s under Xvfb, default destination the built-in synthesizer over JACK (dummy)\n",
              args.program.c_str());
  std::printf("%d runs (the first one %.1f ms to the window), %d refused opens\n\n", args.runs, exposed.front(),
              refused);
  std::printf("%-46s %8s %8s %8s\n", "from exec", "p50", "p90", "max");
  std::printf("%-46s %8.1f %8.1f %8.1f\n", "to the default destination open (ms)", o.p50, o.p90, o.max);
  std::printf("%-46s %8.1f %8.1f %8.1f\n", "to the window exposed and painted (ms)", e.p50, e.p90, e.max);
  std::printf("%-46s %8.1f %8.1f %8.1f\n", "RSS then, without JACK shared memory (MB)", m.p50, m.p90, m.max);
  std::printf("%-46s %8.1f %8.1f %8.1f\n", "RSS then, all of it (MB)", j.p50, j.p90, j.max);
  std::printf("\ntargets: p50 start-up < 250 ms: %s; RSS < 80 MB: %s\n", e.p50 < 250 ? "met" : "missed",
              m.max < 80 ? "met" : "missed");

  if (!args.json.empty()) {
    bench::Figures figures("startup");
    figures.add("runs", args.runs);
    figures.add("refused_opens", refused);
    figures.add("first_run_exposed_ms", exposed.front());
    figures.add("opened_ms", o);
    figures.add("exposed_ms", e);
    figures.add("rss_without_jack_mb", m);
    figures.add("rss_mb", j);
    if (!figures.write(args.json)) {
      std::fprintf(stderr, "could not write %s\n", args.json.c_str());
      return 1;
    }
  }
  return refused == 0 ? 0 : 1;
}
