#pragma once

#include <functional>
#include <string>
#include <vector>

namespace midi {

// The environment variable that names a SoundFont file of the user's own
// choice; it wins over every other place.
inline constexpr char kSoundFontVariable[] = "ZELMORA_SOUNDFONT";

// Where the synthesizer looks for its General MIDI SoundFont.
struct SoundFontSearch {
  std::string variable;                // value of ZELMORA_SOUNDFONT; empty when unset
  std::string fluidDefault;            // FluidSynth's synth.default-soundfont; may be empty
  std::vector<std::string> locations;  // looked at last, in this order
};

struct SoundFontChoice {
  std::string path;    // the file to load; empty when none was found
  std::string reason;  // when none was found: what is missing and how to get it, for the user
};

// The first file that `isSoundFont` accepts, in this order: the variable, FluidSynth's
// default, the locations. Empty entries are skipped.
SoundFontChoice FindSoundFont(const SoundFontSearch& search,
                              const std::function<bool(const std::string&)>& isSoundFont);

// The General MIDI SoundFonts that Debian and Ubuntu, Fedora and Arch install, the
// distributions' own default links first.
const std::vector<std::string>& StandardSoundFontLocations();

// What to tell a user who has no SoundFont: the packages that bring one.
std::string SoundFontInstallHint();

}  // namespace midi
