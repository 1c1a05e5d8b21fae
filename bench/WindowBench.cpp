// How long the window takes to build (all controls, artwork rendered from SVG, menus, Form_Load over a MIDI
// double), and how much of it is the SVG rendering. Run it by hand: QT_QPA_PLATFORM=offscreen
// bench/window_bench
#include <QApplication>
#include <QElapsedTimer>

#include "app/Form1.h"
#include "assets/Artwork.h"
#include "bench/Figures.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/RecordingMidiOut.h"

namespace {

template <class Body>
bench::Percentiles Milliseconds(int runs, Body&& body) {
  std::vector<double> times;
  QElapsedTimer timer;
  for (int run = 0; run < runs; ++run) {
    timer.start();
    body();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  return bench::Summarize(times);
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  testing_support::RecordingMidiOut midi;
  testing_support::RecordingMessageBoxes boxes;
  testing_support::ScriptedFileDialogs dialogs;
  const auto first = Milliseconds(1, [&] { app::Form1 form(midi, boxes, dialogs); });
  const auto builds = Milliseconds(20, [&] { app::Form1 form(midi, boxes, dialogs); });
  const auto svg = Milliseconds(20, [] { assets::WindowIcon(), assets::Picture(1.0); });
  std::printf("window build: first %.1f ms, then p50 %.1f ms, of which SVG rendering p50 %.1f ms\n",
              first.p50, builds.p50, svg.p50);
  return 0;
}
