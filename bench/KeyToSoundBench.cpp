// Key to sound: SwitchOn to the note's first sample at the built-in synthesizer's JACK output, for notes 60
// and 110 (above the piano's samples). The capture client runs after the synthesizer in the same cycle, so
// its process call's clock bounds when the sample was rendered (JACK's frame-time estimate runs early on a
// loaded machine); the sample reaches the output a period plus its offset in the buffer later.
#include <atomic>
#include <chrono>
#include <cmath>
#include <optional>
#include <random>
#include <thread>

#include "bench/Figures.h"
#include "engine/Panel.h"
#include "midi/PortService.h"
#include "midi/jack/JackClient.h"
#include "midi/synth/SynthBackend.h"
#include "tests/support/FakePanelView.h"
#include "tests/support/JackListener.h"

namespace {

using namespace std::chrono_literals;

// The first sample above -80 dBFS is the note's start: far above the synthesizer's silence, and at the start
// of the waveform (at -60 dBFS a piano sample's own rise adds about a millisecond).
constexpr float kThreshold = 1e-4f;

// The first sample above kThreshold since `found` was cleared: its place in its period, and the time then.
struct Onset {
  std::atomic<bool> found{true};
  jack_nframes_t offset = 0;
  jack_time_t seen = 0;  // written before `found` is set
  void watch(const float* samples, jack_nframes_t frames) {
    const jack_time_t now = jack_get_time();
    for (jack_nframes_t i = 0; !found && i < frames; ++i) {
      if (std::fabs(samples[i]) > kThreshold) {
        offset = i;
        seen = now;
        found = true;
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  const bench::Options options(
      argc, argv, {{"notes", "300"}, {"rate", "48000"}, {"period", "64"}, {"realtime", "1"}, {"json", ""}});
  const int rate = options.number("rate"), period = options.number("period");
  testing_support::JackServer server(options.number("realtime") != 0, period, rate);
  Onset onset;
  testing_support::JackListener capture(
      "zelmora-bench-capture", "midi_in",
      [&](const float* samples, jack_nframes_t n) { onset.watch(samples, n); });
  // Whether what was playing has died away well below the onset threshold.
  const auto quiet = [&] { return capture.waitForLevel(false, kThreshold / 10, 256, 3 * 48000); };
  midi::JackClient jack(midi::kClientName);
  auto backend =
      std::make_unique<midi::SynthBackend>(midi::SynthBackend::Options{{}, {}, {"jack"}, &jack, true});
  midi::SynthBackend& synth = *backend;
  midi::PortService service(std::move(backend), {});
  testing_support::FakePanelView view;
  engine::Panel panel(service, view);
  view.panel = &panel;
  panel.Form_Load();
  if (!server.ready() || !view.messages.empty() || capture.connectFrom(midi::kClientName) != 2 || !quiet()) {
    std::fprintf(stderr, "no sound reaches the capture client: %s\n", service.lastError().c_str());
    return 1;
  }

  const double periodMs = 1000.0 * period / rate;
  // One note: when its first sample reached the output, or nothing when it stayed silent. A system reset
  // afterwards cuts the release, and the reverberation dies away before the next note.
  const auto play = [&](std::int16_t index) -> std::optional<double> {
    onset.found = false;
    const jack_time_t pressed = jack_get_time();
    panel.SwitchOn(index);
    const bool heard = testing_support::WaitFor([&] { return onset.found.load(); }, 300ms);
    panel.SwitchOff(index);
    service.send(panel.state().portHandle, 0xFF);
    if (!quiet() || !heard) return std::nullopt;
    const auto seenUs = static_cast<double>(static_cast<std::int64_t>(onset.seen - pressed));
    return seenUs / 1000.0 + periodMs + 1000.0 * onset.offset / rate;
  };

  // Presses fall anywhere in a period, as a player's do. A note silent at its first press is reported so and
  // not timed.
  bench::Figures figures("key_to_sound");
  figures.add("period_ms", periodMs);
  std::printf("SwitchOn to the note's first sample at the output, built-in synthesizer over JACK\n");
  std::printf("dummy driver, %d frames at %d Hz (%.3f ms), %s; SoundFont %s\n", period, rate, periodMs,
              server.realtime() ? "realtime" : "no realtime", synth.soundFont().c_str());
  std::mt19937 random(4);
  std::uniform_int_distribution<int> phase(0, static_cast<int>(periodMs * 1000));
  for (const int note : {60, 110}) {
    const auto index = static_cast<std::int16_t>(note - 60);
    std::vector<double> heard;
    int silent = 0;
    for (int n = 0; n < options.number("notes") && !(n == 1 && heard.empty()); ++n) {
      std::this_thread::sleep_for(std::chrono::microseconds(phase(random)));
      const auto ms = play(index);
      ms ? heard.push_back(*ms) : void(++silent);
    }
    const auto h = bench::Summarize(heard);
    const std::string name = "note" + std::to_string(note);
    std::printf("note %d: %zu timed, %d silent; p50 %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms\n", note,
                h.count, silent, h.p50, h.p90, h.p99, h.max);
    figures.add(name + "_ms", h);
    figures.add(name + "_silent", silent);
    figures.addSamples(name + "_samples_ms", heard);
  }
  panel.Form_Unload();
  return figures.write(options.text("json")) ? 0 : 1;
}
