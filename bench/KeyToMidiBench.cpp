// Key to MIDI: from a key press until a JACK receiver's process callback sees
// the Note On, on a JACK server of the benchmark's own: from the panel's
// SwitchOn through engine::Panel, the port service and the program's own JACK
// back-end; and from a real X key press (XTest, timed once the X server has
// it) through the real program, under an X server of its own.
//
//   key_to_midi_bench [--notes N] [--presses N] [--rate HZ] [--period FRAMES] [--json PATH]
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

// Index of the receiver's first event from `from` on with this status and key, within `timeout`, or -1.
long Find(const testing_support::JackListener& receiver, std::size_t from, std::uint8_t status,
          std::uint8_t key, std::chrono::milliseconds timeout = {}) {
  long found = -1;
  testing_support::WaitFor(
      [&] {
        for (std::size_t i = from; i < receiver.eventCount() && found < 0; ++i)
          if (receiver.event(i).bytes[0] == status && receiver.event(i).bytes[1] == key) found = i;
        return found >= 0;
      },
      timeout);
  return found;
}

// Plays the notes in turn, `count` times after twenty to warm up, through
// `key(i, down)` for kNotes[i], which returns the moment of the press, and
// times each Note On. A random pause after each lets the presses land anywhere in a cycle.
template <class Key>
void Measure(const std::string& name, int count, double periodMs, testing_support::JackListener& receiver,
             bench::Figures& figures, Key&& key) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pause(0, static_cast<int>(2000 * periodMs));  // microseconds
  std::vector<double> latencies;
  int faults = 0;
  for (int n = -20; n < count; ++n) {
    const int i = (n + 20) % 4;
    const std::uint8_t note = kNotes[i];
    const std::size_t start = receiver.eventCount();
    const Clock::time_point pressed = key(i, true);
    const long on = Find(receiver, start, 0x90, note, 500ms);
    const std::size_t afterOn = receiver.eventCount();
    key(i, false);
    const long off = Find(receiver, afterOn, 0x80, note, 500ms);
    // A second Note On for the same press, before its Note Off, is a retrigger.
    const long again = on < 0 ? -1 : Find(receiver, static_cast<std::size_t>(on) + 1, 0x90, note);
    if (n >= 0 && (on < 0 || (again >= 0 && (off < 0 || again < off)))) ++faults;
    if (n >= 0 && on >= 0) {
      const auto seen = receiver.event(static_cast<std::size_t>(on)).seen;
      latencies.push_back(std::chrono::duration<double, std::milli>(seen - pressed).count());
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
  }
  const auto p = bench::Summarize(latencies);
  std::printf("%-9s %6zu notes: p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms; %d lost or doubled\n",
              name.c_str(), p.count, p.p50, p.p90, p.p99, p.max, faults);
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
    std::vector<std::unique_ptr<midi::Backend>> ports;
    ports.push_back(midi::CreateJackBackend(false));
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
