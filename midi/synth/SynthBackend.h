#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "midi/Backend.h"

namespace midi {

class JackClient;

// The built-in General MIDI synthesizer (FluidSynth) as a destination. It plays
// through JACK when a server is running, else PulseAudio (which PipeWire
// serves), else ALSA, and never starts a JACK server. The SoundFont is looked
// for and loaded on a thread of its own, from construction on, and stays
// loaded across closes, so closing and reopening costs no reload; an open
// waits for that load, never reads the file itself. One port at a time; ports
// must go before the back-end.
class SynthBackend final : public Backend {
 public:
  struct Options {
    // Looked at after ZELMORA_SOUNDFONT and FluidSynth's default; the standard
    // locations when unset.
    std::optional<std::vector<std::string>> locations;
    // Stands in for FluidSynth's synth.default-soundfont when set.
    std::optional<std::string> fluidDefault;
    // Audio outputs to try, in order: "jack", or a FluidSynth audio driver name.
    std::vector<std::string> outputs = {"jack", "pulseaudio", "alsa"};
    // The program's JACK client, which "jack" plays through; none: no JACK.
    JackClient* jack = nullptr;
    // Starts loading the SoundFont at construction, so that the first open
    // finds it loaded, or nearly; else the first open starts it.
    bool preload = true;
    // Opens `jack` at construction, on a thread of its own, and makes the
    // outputs there, connected to the speakers: the server's round trips then
    // overlap the window's construction and the SoundFont's load, and the
    // first open takes the outputs as they are.
    bool connectAhead = false;
  };

  SynthBackend();
  explicit SynthBackend(Options options);
  ~SynthBackend() override;

  std::vector<PortInfo> listPorts() override;
  // Refusals: rc::kError when no SoundFont is found or it does not load,
  // rc::kNoDevice when no audio output opens, rc::kAllocated when the
  // synthesizer is open already, rc::kNoMemory. The reason says what is
  // missing and how to get it.
  OpenResult openPort(const PortInfo& port) override;
  // Plays through JACK again, or refuses: never through another output.
  OpenResult reopenPort(const PortInfo& port) override;

  // How often a SoundFont has been loaded since construction.
  int soundFontLoads() const;
  // The loaded SoundFont's path; empty before the first successful load.
  std::string soundFont() const;
  // The output playing now ("jack", "pulseaudio", ...); empty while closed.
  std::string output() const;
  // The JACK client's name while playing through JACK, else empty.
  std::string jackClientName() const;

  class Synthesizer;

 private:
  OpenResult open(bool jackOnly);
  std::unique_ptr<Synthesizer> synth_;
};

std::unique_ptr<Backend> CreateSynthBackend();

}  // namespace midi
