// X key to MIDI: from injecting a real X key press (XTest, timed just after
// the server has it) to a JACK receiver's process callback seeing the Note On,
// through the real program under an X server and a JACK server of its own.
//
//   x_key_to_midi [--presses N] [--period FRAMES] [--rate HZ] [--json PATH]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/Figures.h"
#include "tests/support/JackMidiReceiver.h"
#include "tests/support/JackServer.h"
#include "tests/support/PanelProgram.h"
#include "tests/support/XServer.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
  int presses = 500, period = 64, rate = 48000;
  std::string json;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--presses") presses = std::atoi(argv[i + 1]);
    else if (flag == "--period") period = std::atoi(argv[i + 1]);
    else if (flag == "--rate") rate = std::atoi(argv[i + 1]);
    else if (flag == "--json") json = argv[i + 1];
  }
  if (!testing_support::XServer::Installed() || !testing_support::JackServer::Installed()) {
    std::fprintf(stderr, "x_key_to_midi: needs Xvfb and jackd\n");
    return 1;
  }
  testing_support::XServer x;
  testing_support::JackServer jack(testing_support::JackServer::Options{rate, period, true});
  if (!x.ready() || !jack.ready()) {
    std::fprintf(stderr, "x_key_to_midi: the X or JACK server did not start\n");
    return 1;
  }
  testing_support::JackMidiReceiver receiver;
  testing_support::PanelProgram program(ZELMORA_PROGRAM, "/dev/null");
  if (!receiver.ready() || !program.ready()) {
    std::fprintf(stderr, "x_key_to_midi: the receiver or the program did not start\n");
    return 1;
  }
  program.pick(0, 1);
  for (int i = 0; i < 500 && receiver.connections() != 1; ++i) std::this_thread::sleep_for(10ms);
  if (receiver.connections() != 1) {
    std::fprintf(stderr, "x_key_to_midi: the program did not open the receiver's port\n");
    return 1;
  }

  const std::vector<std::pair<const char*, std::uint8_t>> keys = {{"z", 60}, {"x", 62}, {"c", 64}, {"v", 65}};
  std::mt19937 random(11);
  const double periodMs = 1000.0 * period / rate;
  std::uniform_int_distribution<int> pause(0, static_cast<int>(2000 * periodMs));
  std::vector<double> latencies;
  int lost = 0, duplicated = 0;
  const std::uint32_t xrunsBefore = receiver.xruns();
  for (int n = -20; n < presses; ++n) {  // the first twenty warm up
    const std::size_t k = static_cast<std::size_t>(n + 20) % keys.size();
    const std::size_t start = receiver.eventCount();
    program.press(keys[k].first);
    const auto pressed = Clock::now();
    const long on = receiver.waitForMessage(start, 0x90, keys[k].second, 500ms);
    const std::size_t afterOn = receiver.eventCount();
    program.release(keys[k].first);
    const long off = receiver.waitForMessage(afterOn, 0x80, keys[k].second, 500ms);
    if (n < 0) continue;
    if (on < 0) {
      ++lost;
    } else {
      latencies.push_back(
          std::chrono::duration<double, std::milli>(receiver.event(static_cast<std::size_t>(on)).seen - pressed).count());
      // A second Note On for the same press, before its Note Off, would be a retrigger.
      const long again = receiver.findMessage(static_cast<std::size_t>(on) + 1, 0x90, keys[k].second);
      if (again >= 0 && (off < 0 || again < off)) ++duplicated;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
  }
  const std::uint32_t xruns = receiver.xruns() - xrunsBefore;
  const auto summary = bench::Summarize(latencies);
  const double p50 = summary.p50, p90 = summary.p90, p99 = summary.p99;

  std::printf("X key to MIDI: XTest key press to the JACK receiver seeing the Note On, real program\n");
  std::printf("JACK dummy driver, %d frames at %d Hz (period %.3f ms), %s; %u xruns\n\n", period, rate,
              periodMs, jack.options().realtime ? "realtime (-R)" : "no realtime", xruns);
  std::printf("| presses | p50 ms | p90 ms | p99 ms | lost | duplicated |\n|---:|---:|---:|---:|---:|---:|\n");
  std::printf("| %d | %.3f | %.3f | %.3f | %d | %d |\n", presses, p50, p90, p99, lost, duplicated);
  std::printf("\nTarget: p99 within one period plus 0.5 ms = %.3f ms.\n", periodMs + 0.5);
  if (!json.empty()) {
    std::ofstream out(json);
    out << "{\"benchmark\": \"x_key_to_midi\", \"what\": \"XTest key press to the JACK receiver seeing the Note On\","
        << " \"unit\": \"ms\", \"rate\": " << rate << ", \"period_frames\": " << period
        << ", \"period_ms\": " << periodMs << ", \"xruns\": " << xruns << ", \"presses\": " << presses
        << ", \"p50\": " << p50 << ", \"p90\": " << p90 << ", \"p99\": " << p99 << ", \"lost\": " << lost
        << ", \"duplicated\": " << duplicated << ", \"samples\": [";
    for (std::size_t i = 0; i < latencies.size(); ++i) out << (i ? "," : "") << latencies[i];
    out << "]}\n";
  }
  return 0;
}
