// Key to sound: from the panel's SwitchOn to the first sample of the note in
// the built-in synthesizer's JACK output, over a JACK server of its own (dummy
// driver). The capture client runs after the synthesizer in the same cycle;
// the moment its process call begins bounds when the sample was rendered. A
// cycle's buffer plays during the period after it, so the sample reaches the
// output one period plus its offset in the buffer later. The cycle's start is
// taken from the clock, not from JACK's frame-time estimate: on a loaded
// machine the dummy driver falls behind its schedule and that estimate runs
// early by tens of milliseconds.
//
//   key_to_sound_bench [--notes N] [--period FRAMES] [--rate HZ] [--realtime] [--threshold-db DB] [--json PATH]
#include <jack/jack.h>

#include <chrono>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "bench/Figures.h"
#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/AudioCapture.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackServer.h"

namespace {

using namespace std::chrono_literals;

struct Arguments {
  int notes = 300;
  int period = 64;
  int rate = 48000;
  bool realtime = false;
  // The first sample above this level is the note's start. -80 dBFS lies far
  // above the synthesizer's silence and catches the start of the waveform;
  // at -60 dBFS a piano sample's own rise adds about a millisecond.
  double thresholdDb = -80;
  std::string json;
};

bool Parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--notes" && hasValue) {
      args.notes = std::atoi(argv[++i]);
    } else if (arg == "--period" && hasValue) {
      args.period = std::atoi(argv[++i]);
    } else if (arg == "--rate" && hasValue) {
      args.rate = std::atoi(argv[++i]);
    } else if (arg == "--json" && hasValue) {
      args.json = argv[++i];
    } else if (arg == "--threshold-db" && hasValue) {
      args.thresholdDb = std::atof(argv[++i]);
    } else if (arg == "--realtime") {
      args.realtime = true;
    } else {
      return false;
    }
  }
  return args.notes > 0 && args.period > 0 && args.rate > 0 && args.thresholdDb < 0;
}

// Waits until what was playing has died away well below the onset threshold.
bool Quiet(testing_support::AudioCapture& capture, float threshold) {
  const auto deadline = std::chrono::steady_clock::now() + 3s;
  while (std::chrono::steady_clock::now() < deadline) {
    const auto level = capture.measure(capture.period() * 4);
    if (!level) return false;
    if (level->peak < threshold / 10) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::fprintf(stderr,
                 "usage: %s [--notes N] [--period FRAMES] [--rate HZ] [--realtime] [--threshold-db DB] [--json PATH]\n", argv[0]);
    return 2;
  }
  if (!testing_support::JackServer::Installed()) {
    std::fprintf(stderr, "jackd is not installed\n");
    return 2;
  }
  testing_support::JackServer server({args.rate, args.period, args.realtime});
  if (!server.ready()) {
    std::fprintf(stderr, "the JACK server did not start\n");
    return 1;
  }
  testing_support::AudioCapture capture("zelmora-bench-capture");

  midi::SynthBackend::Options options;
  options.outputs = {"jack"};
  auto backend = std::make_unique<midi::SynthBackend>(options);
  midi::SynthBackend& synth = *backend;
  midi::PortService service(std::move(backend), {});
  testing_support::FakePanelView view;
  engine::Panel panel(service, view);
  view.panel = &panel;
  panel.Form_Load();
  if (!view.messages.empty()) {
    std::fprintf(stderr, "%s: %s\n", view.messages[0].c_str(), service.lastError().c_str());
    return 1;
  }
  if (!capture.ready() || capture.connectFrom(synth.jackClientName()) != 2) {
    std::fprintf(stderr, "the capture client could not listen to the synthesizer\n");
    return 1;
  }

  const double periodMs = 1000.0 * args.period / args.rate;
  const float threshold = static_cast<float>(std::pow(10.0, args.thresholdDb / 20.0));
  const midi::PortHandle port = panel.state().portHandle;
  // One note: its onset, or nothing when it stayed silent. A system reset
  // afterwards cuts the release and the reverberation, so the next note
  // starts from digital silence.
  const auto play = [&](std::int16_t index) -> std::optional<testing_support::AudioCapture::Onset> {
    capture.armOnset(threshold);
    panel.SwitchOn(index);
    auto onset = capture.waitForOnset(300ms);
    panel.SwitchOff(index);
    service.send(port, 0xFF);
    return onset;
  };
  if (!Quiet(capture, threshold)) {
    std::fprintf(stderr, "the synthesizer is not silent\n");
    return 1;
  }

  // A SoundFont's instruments need not cover every key: keys it leaves silent
  // cannot be timed. This pass also warms the synthesizer up.
  std::vector<std::int16_t> audible;
  std::string silentNotes;
  for (auto index : engine::SwitchIndices()) {
    if (play(index)) {
      audible.push_back(index);
    } else {
      silentNotes += (silentNotes.empty() ? "" : " ") + std::to_string(60 + index);
    }
    if (!Quiet(capture, threshold)) return 1;
  }
  if (audible.empty()) {
    std::fprintf(stderr, "no switch makes a sound\n");
    return 1;
  }

  // Presses fall anywhere in a period, as a player's do.
  std::mt19937 random(4);
  std::uniform_int_distribution<int> phase(0, static_cast<int>(periodMs * 1000));
  std::vector<double> seen;
  std::vector<double> heard;
  int missed = 0;
  for (int n = 0; n < args.notes; ++n) {
    const std::int16_t index = audible[static_cast<std::size_t>(n) % audible.size()];
    if (!Quiet(capture, threshold)) {
      std::fprintf(stderr, "the synthesizer did not fall silent\n");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(phase(random)));
    const jack_time_t pressed = jack_get_time();
    const auto onset = play(index);
    if (!onset) {
      ++missed;
      continue;
    }
    const double seenMs = static_cast<double>(static_cast<std::int64_t>(onset->seen - pressed)) / 1000.0;
    seen.push_back(seenMs);
    heard.push_back(seenMs + periodMs + 1000.0 * onset->offset / args.rate);
  }
  panel.Form_Unload();

  const auto r = bench::Summarize(seen);
  const auto h = bench::Summarize(heard);
  const double target = 2 * periodMs + 1;
  std::printf("Key to sound: built-in synthesizer over JACK (dummy driver%s), %d Hz, %d-frame period = %.3f ms\n",
              args.realtime ? ", realtime" : ", no realtime", args.rate, args.period, periodMs);
  std::printf("onset: first sample above %.0f dBFS; %d notes timed, %d missed; SoundFont %s\n",
              args.thresholdDb, static_cast<int>(h.count), missed, synth.soundFont().c_str());
  if (!silentNotes.empty()) std::printf("notes this SoundFont leaves silent (not timed): %s\n", silentNotes.c_str());
  std::printf("\n%-34s %8s %8s %8s %8s\n", "ms from SwitchOn to", "p50", "p90", "p99", "max");
  std::printf("%-34s %8.3f %8.3f %8.3f %8.3f\n", "the capture cycle that carried it", r.p50, r.p90, r.p99, r.max);
  std::printf("%-34s %8.3f %8.3f %8.3f %8.3f\n", "the sample at the output", h.p50, h.p90, h.p99, h.max);
  std::printf("\ntarget: p99 at the output <= 2 periods + 1 ms = %.3f ms: %s\n", target,
              h.p99 <= target && missed == 0 ? "met" : "missed");

  if (!args.json.empty()) {
    bench::Figures figures("key_to_sound");
    figures.add("rate_hz", args.rate);
    figures.add("period_frames", args.period);
    figures.add("period_ms", periodMs);
    figures.add("realtime", args.realtime ? 1 : 0);
    figures.add("missed", missed);
    figures.add("threshold_dbfs", args.thresholdDb);
    figures.add("silent_notes", silentNotes);
    figures.add("capture_cycle_ms", r);
    figures.add("output_ms", h);
    figures.addSamples("output_samples_ms", heard);
    figures.add("target_p99_ms", target);
    if (!figures.write(args.json)) {
      std::fprintf(stderr, "could not write %s\n", args.json.c_str());
      return 1;
    }
  }
  return 0;
}
