// Key to MIDI: how long from SwitchOn until a JACK receiver's process
// callback sees the Note On, through engine::Panel, the port service and a
// JACK back-end, for RtMidi's JACK output and the program's own, in one run
// against one server, notes alternating between the two.
//
//   key_to_midi [--notes N] [--rate HZ] [--period FRAMES] [--no-realtime] [--json PATH]
//
// Prints a Markdown table; --json also writes the figures to PATH.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/Figures.h"
#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/JackServer.h"
#include "tests/support/SilentBackend.h"

namespace {

using Clock = std::chrono::steady_clock;
using testing_support::FakePanelView;
using testing_support::JackMidiReceiver;
using testing_support::JackServer;
using testing_support::SilentBackend;

constexpr const char* kReceiverClient = "zelmora-bench-receiver";
constexpr auto kTimeout = std::chrono::milliseconds(200);

struct Options {
  int notes = 1000;
  int rate = 48000;
  int period = 64;
  bool realtime = true;
  std::string json;
};


// One back-end with the panel in front of it, playing into the receiver.
struct Contender {
  std::string name;
  std::unique_ptr<midi::PortService> service;
  FakePanelView view;
  std::unique_ptr<engine::Panel> panel;
  std::vector<double> latencies;  // milliseconds
  int lost = 0;
  int duplicated = 0;

  Contender(std::string label, std::unique_ptr<midi::Backend> backend) : name(std::move(label)) {
    std::vector<std::unique_ptr<midi::Backend>> backends;
    backends.push_back(std::move(backend));
    service = std::make_unique<midi::PortService>(std::make_unique<SilentBackend>(), std::move(backends));
    panel = std::make_unique<engine::Panel>(*service, view);
    view.panel = panel.get();
  }

  bool open() {
    panel->Form_Load();
    for (const auto& [index, caption] : view.deviceEntries) {
      if (caption.rfind(kReceiverClient, 0) == 0) {
        panel->device_Click(static_cast<std::int16_t>(index));
        return panel->state().lastResult == midi::rc::kOk;
      }
    }
    return false;
  }
};

// Plays one note on `who` and measures its Note On.
void PlayOne(Contender& who, JackMidiReceiver& receiver, std::int16_t index, bool measure) {
  const auto note = static_cast<std::uint8_t>(60 + index);
  const std::size_t start = receiver.eventCount();
  const auto pressed = Clock::now();
  who.panel->SwitchOn(index);
  const long on = receiver.waitForMessage(start, 0x90, note, kTimeout);
  if (measure) {
    if (on < 0) {
      ++who.lost;
    } else {
      const auto seen = receiver.event(static_cast<std::size_t>(on)).seen;
      who.latencies.push_back(std::chrono::duration<double, std::milli>(seen - pressed).count());
    }
  }
  const std::size_t afterOn = receiver.eventCount();
  who.panel->SwitchOff(index);
  receiver.waitForMessage(afterOn, 0x80, note, kTimeout);
  // A doubled Note On arrives with or right after the first one.
  if (measure && on >= 0 && receiver.findMessage(static_cast<std::size_t>(on) + 1, 0x90, note) >= 0) {
    ++who.duplicated;
  }
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--notes" && hasValue) {
      options.notes = std::atoi(argv[++i]);
    } else if (arg == "--rate" && hasValue) {
      options.rate = std::atoi(argv[++i]);
    } else if (arg == "--period" && hasValue) {
      options.period = std::atoi(argv[++i]);
    } else if (arg == "--no-realtime") {
      options.realtime = false;
    } else if (arg == "--json" && hasValue) {
      options.json = argv[++i];
    } else {
      return false;
    }
  }
  return options.notes > 0 && options.rate > 0 && options.period > 0;
}

void WriteJson(const Options& options, bool realtime, double periodMs, std::uint32_t xruns,
               const std::vector<std::unique_ptr<Contender>>& contenders) {
  std::ofstream out(options.json);
  out << "{\n  \"benchmark\": \"key_to_midi\",\n"
      << "  \"what\": \"SwitchOn to the JACK receiver's process callback seeing the Note On\",\n"
      << "  \"unit\": \"ms\",\n  \"rate\": " << options.rate << ",\n  \"period_frames\": " << options.period
      << ",\n  \"period_ms\": " << periodMs << ",\n  \"realtime\": " << (realtime ? "true" : "false")
      << ",\n  \"xruns\": " << xruns << ",\n  \"results\": [\n";
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    const auto& c = *contenders[i];
    const auto p = bench::Summarize(c.latencies);
    out << "    {\"backend\": \"" << c.name << "\", \"notes\": " << c.latencies.size() + static_cast<std::size_t>(c.lost)
        << ", \"p50\": " << p.p50 << ", \"p90\": " << p.p90 << ", \"p99\": " << p.p99 << ", \"max\": " << p.max
        << ", \"lost\": " << c.lost << ", \"duplicated\": " << c.duplicated << "}"
        << (i + 1 < contenders.size() ? ",\n" : "\n");
  }
  out << "  ]\n}\n";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--notes N] [--rate HZ] [--period FRAMES] [--no-realtime] [--json PATH]\n", argv[0]);
    return 2;
  }
  if (!JackServer::Installed()) {
    std::fprintf(stderr, "key_to_midi: jackd is not installed\n");
    return 1;
  }
  // Realtime scheduling removes most xruns, which would otherwise measure the
  // machine's scheduler rather than the back-ends.
  auto server = std::make_unique<JackServer>(JackServer::Options{options.rate, options.period, options.realtime});
  // The server falls back to no realtime scheduling where it is refused.
  const bool realtime = server->options().realtime;
  if (!server->ready()) {
    std::fprintf(stderr, "key_to_midi: jackd did not start\n");
    return 1;
  }
  JackMidiReceiver receiver(kReceiverClient, "midi_in");
  if (!receiver.ready()) {
    std::fprintf(stderr, "key_to_midi: the receiver did not start\n");
    return 1;
  }

  std::vector<std::unique_ptr<Contender>> contenders;
  contenders.push_back(std::make_unique<Contender>("own JACK", midi::CreateJackBackend(false)));
  for (auto& c : contenders) {
    if (!c->open()) {
      std::fprintf(stderr, "key_to_midi: %s could not open the receiver: %s\n", c->name.c_str(),
                   c->service->lastError().c_str());
      return 1;
    }
  }

  // Presses land anywhere in a cycle: a random pause after each note.
  std::mt19937 random(7);
  const double periodMs = 1000.0 * options.period / options.rate;
  std::uniform_int_distribution<int> pause(0, static_cast<int>(2000 * periodMs));  // microseconds
  const auto& switches = engine::SwitchIndices();
  for (int warmUp = 0; warmUp < 20; ++warmUp) {
    for (auto& c : contenders) PlayOne(*c, receiver, switches[0], false);
  }
  const std::uint32_t xrunsBefore = receiver.xruns();
  for (int n = 0; n < options.notes; ++n) {
    for (auto& c : contenders) {
      PlayOne(*c, receiver, switches[static_cast<std::size_t>(n) % switches.size()], true);
      std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
    }
  }
  const std::uint32_t xruns = receiver.xruns() - xrunsBefore;

  std::printf("Key to MIDI: SwitchOn to the receiver's process callback seeing the Note On\n");
  std::printf("JACK dummy driver, %d frames at %d Hz (period %.3f ms), %s; %u xruns during the run\n\n",
              options.period, options.rate, periodMs, realtime ? "realtime (-R)" : "no realtime", xruns);
  std::printf("| back-end | notes | p50 ms | p90 ms | p99 ms | max ms | lost | duplicated |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const auto& c : contenders) {
    const auto p = bench::Summarize(c->latencies);
    std::printf("| %s | %zu | %.3f | %.3f | %.3f | %.3f | %d | %d |\n", c->name.c_str(),
                c->latencies.size() + static_cast<std::size_t>(c->lost), p.p50, p.p90, p.p99, p.max, c->lost,
                c->duplicated);
  }
  std::printf("\nTarget: p99 within one period plus 0.2 ms = %.3f ms, nothing lost or duplicated.\n", periodMs + 0.2);
  if (!options.json.empty()) WriteJson(options, realtime, periodMs, xruns, contenders);

  for (auto& c : contenders) c->panel->Form_Unload();
  return 0;
}
