#include "midi/synth/SoundFont.h"

namespace midi {

const std::vector<std::string>& StandardSoundFontLocations() {
  static const std::vector<std::string> locations = {
      // Debian and Ubuntu: links kept by the alternatives system, then the packages' files
      "/usr/share/sounds/sf3/default-GM.sf3",
      "/usr/share/sounds/sf2/default-GM.sf2",
      "/usr/share/sounds/sf2/FluidR3_GM.sf2",
      "/usr/share/sounds/sf3/MuseScore_General.sf3",
      "/usr/share/sounds/sf2/TimGM6mb.sf2",
      // Fedora (fluid-soundfont-gm) and Arch (soundfont-fluid, freepats-general-midi)
      "/usr/share/soundfonts/default.sf2",
      "/usr/share/soundfonts/FluidR3_GM.sf2",
      "/usr/share/soundfonts/freepats-general-midi.sf2",
  };
  return locations;
}

std::string SoundFontInstallHint() {
  return std::string(
             "Install the Debian package fluid-soundfont-gm (Fedora: fluid-soundfont-gm, "
             "Arch: soundfont-fluid), or set ") +
         kSoundFontVariable + " to a SoundFont file (.sf2 or .sf3).";
}

SoundFontChoice FindSoundFont(const SoundFontSearch& search,
                              const std::function<bool(const std::string&)>& isSoundFont) {
  if (!search.variable.empty() && isSoundFont(search.variable)) return {search.variable, {}};
  if (!search.fluidDefault.empty() && isSoundFont(search.fluidDefault)) return {search.fluidDefault, {}};
  for (const auto& location : search.locations) {
    if (!location.empty() && isSoundFont(location)) return {location, {}};
  }
  std::string reason;
  // A mistyped variable is the likeliest cause when one is set: name it first.
  if (!search.variable.empty()) {
    reason = std::string(kSoundFontVariable) + " names \"" + search.variable +
             "\", which is not a SoundFont file. ";
  }
  reason += "No General MIDI SoundFont was found. " + SoundFontInstallHint();
  return {{}, reason};
}

}  // namespace midi
