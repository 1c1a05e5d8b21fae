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
  // When the variable names no SoundFont: what is wrong with its file, in one
  // line, whether or not another was found.
  std::string warning;
};

// Why the file at a path is no SoundFont, for the user ("does not exist");
// empty when it is one.
using SoundFontCheck = std::function<std::string(const std::string& path)>;

// The first file that `problemOf` finds nothing wrong with, in this order: the
// variable, FluidSynth's default, the locations. Empty entries are skipped.
SoundFontChoice FindSoundFont(const SoundFontSearch& search, const SoundFontCheck& problemOf);

// The check FindSoundFont is given in the program: missing, empty, unreadable, or not a SoundFont.
std::string SoundFontProblem(const std::string& path);

// The General MIDI SoundFonts that Debian and Ubuntu, Fedora and Arch install, the
// distributions' own default links first.
const std::vector<std::string>& StandardSoundFontLocations();

// What to tell a user whose SoundFont is missing or does not load: the
// packages that bring one when none of `locations` is there, else another file.
std::string SoundFontAdvice(const std::vector<std::string>& locations);

}  // namespace midi
