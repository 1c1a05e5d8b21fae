// Key to MIDI: from a key press until a JACK receiver's process callback sees the Note On, on a JACK server
// of the benchmark's own: from SwitchOn through the panel, the port service and the JACK back-end; and from a
// real X key press (XTest) through the real program, under an X server of its own.
#include <chrono>
#include <random>
#include <thread>

#include "bench/Figures.h"
#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/jack/JackBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackListener.h"
#include "tests/support/PanelProgram.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr std::uint8_t kNotes[] = {60, 62, 64, 65};
constexpr const char* kKeys[] = {"z", "x", "c", "v"};

// Plays the notes in turn, `count` times after twenty to warm up, through `key(i, down)` for kNotes[i], which
// returns the moment of the press, and times the Note On of each press played right. A random pause after
// each lets the presses land anywhere in a cycle.
template <class Key>
void Measure(const std::string& name, int count, double periodMs, testing_support::JackListener& receiver,
             bench::Figures& figures, Key&& key) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pause(0, static_cast<int>(2000 * periodMs));  // microseconds
  std::vector<double> latencies;
  int faults = 0, spoiled = 0;
  std::uint32_t xruns = receiver.xruns();
  Clock::time_point repaired;  // an xrun's repair ends: the queue sends its second one 50 ms on
  for (int n = -20; n < count; ++n) {
    const int i = (n + 20) % 4;
    const std::size_t start = receiver.eventCount();
    const Clock::time_point pressed = key(i, true);
    testing_support::WaitFor([&] { return receiver.eventCount() > start; }, 500ms);
    key(i, false);
    testing_support::WaitFor([&] { return receiver.eventCount() > start + 1; }, 500ms);
    // A press plays its Note On, then its Note Off, and nothing else: else a message was lost or doubled.
    std::vector<std::vector<std::uint8_t>> heard;
    for (std::size_t e = start; e < receiver.eventCount(); ++e) heard.push_back(receiver.event(e).message());
    const bool played = heard == decltype(heard){{0x90, kNotes[i], 127}, {0x80, kNotes[i], 0}};
    if (receiver.xruns() != xruns) xruns = receiver.xruns(), repaired = Clock::now() + 100ms;
    if (n >= 0 && !played) ++(Clock::now() < repaired ? spoiled : faults);
    if (n >= 0 && played) {
      const auto latency = receiver.event(start).seen - pressed;
      latencies.push_back(std::chrono::duration<double, std::milli>(latency).count());
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
  }
  const auto p = bench::Summarize(latencies);
  std::printf(
      "%-9s %6zu notes: p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms; %d lost or doubled, %d more "
      "beside an xrun\n",
      name.c_str(), p.count, p.p50, p.p90, p.p99, p.max, faults, spoiled);
  figures.add(name + "_ms", p);
  figures.add(name + "_lost_or_duplicated", faults);
  figures.addSamples(name + "_samples_ms", latencies);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options options(
      argc, argv, {{"notes", "1000"}, {"presses", "500"}, {"rate", "48000"}, {"period", "64"}, {"json", ""}});
  const int rate = options.number("rate"), period = options.number("period");
  const double periodMs = 1000.0 * period / rate;
  testing_support::XServer x;
  // Realtime scheduling removes most xruns, which measure the scheduler, not the program.
  testing_support::JackServer server(true, period, rate);
  testing_support::JackListener receiver("zelmora-bench-receiver", "midi_in");
  if (!x.ready() || !server.ready() || !receiver.ready()) {
    std::fprintf(stderr, "the X server, the JACK server or the receiver did not start\n");
    return 1;
  }
  bench::Figures figures("key_to_midi");
  figures.add("period_ms", periodMs);
  std::printf(
      "Key press to the JACK receiver seeing the Note On; dummy driver, %d frames at %d Hz (%.3f ms), %s\n",
      period, rate, periodMs, server.realtime() ? "realtime" : "no realtime");
  {
    midi::JackClient jack(midi::kClientName);
    std::vector<std::unique_ptr<midi::Backend>> ports;
    ports.push_back(midi::CreateJackBackend(jack, false));
    midi::PortService service(nullptr, std::move(ports));
    testing_support::FakePanelView view;
    engine::Panel panel(service, view);
    view.panel = &panel;
    panel.Form_Load();
    panel.device_Click(1);  // the receiver's port, the only one
    if (!receiver.waitForConnection(2s)) return 1;
    Measure("switch_on", options.number("notes"), periodMs, receiver, figures, [&](int i, bool down) {
      const auto pressed = Clock::now();
      down ? panel.SwitchOn(kNotes[i] - 60) : panel.SwitchOff(kNotes[i] - 60);
      return pressed;
    });
    panel.Form_Unload();
  }
  testing_support::PanelProgram program(ZELMORA_PROGRAM, "/dev/null");
  if (!program.ready()) return 1;
  program.pick(0, 1);
  if (!receiver.waitForConnection(5s)) return 1;
  Measure("x_key", options.number("presses"), periodMs, receiver, figures, [&](int i, bool down) {
    down ? program.press(kKeys[i]) : program.release(kKeys[i]);
    return Clock::now();
  });
  return figures.write(options.text("json")) ? 0 : 1;
}
