#include "midi/synth/SoundFont.h"

#include <fluidsynth.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string SoundFontAdvice(const std::vector<std::string>& locations) {
  for (const auto& location : locations) {
    struct stat status {};
    if (!location.empty() && stat(location.c_str(), &status) == 0) {
      return std::string("Set ") + kSoundFontVariable + " to another SoundFont file (.sf2 or .sf3).";
    }
  }
  return std::string(
             "Install the Debian package fluid-soundfont-gm (Fedora: fluid-soundfont-gm, Arch: "
             "soundfont-fluid), "
             "or set ") +
         kSoundFontVariable + " to a SoundFont file (.sf2 or .sf3).";
}

std::string SoundFontProblem(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return errno == ENOENT ? "does not exist" : std::string("cannot be read (") + std::strerror(errno) + ")";
  }
  if (S_ISDIR(status.st_mode)) return "is a folder";
  if (access(path.c_str(), R_OK) != 0) return std::string("cannot be read (") + std::strerror(errno) + ")";
  if (status.st_size == 0) return "is empty";
  return fluid_is_soundfont(path.c_str()) != 0 ? std::string() : "is not a SoundFont file";
}

SoundFontChoice FindSoundFont(const SoundFontSearch& search, const SoundFontCheck& problemOf) {
  SoundFontChoice choice;
  if (!search.variable.empty()) {
    const std::string problem = problemOf(search.variable);
    if (problem.empty()) return {search.variable, {}, {}};
    choice.warning = std::string(kSoundFontVariable) + " names \"" + search.variable + "\", which " + problem;
  }
  std::vector<std::string> candidates = search.locations;
  candidates.insert(candidates.begin(), search.fluidDefault);
  for (const auto& candidate : candidates) {
    if (!candidate.empty() && problemOf(candidate).empty()) {
      choice.path = candidate;
      return choice;
    }
  }
  // A mistyped variable is the likeliest cause when one is set: name it first.
  if (!choice.warning.empty()) choice.reason = choice.warning + ". ";
  choice.reason += "No General MIDI SoundFont was found. " + SoundFontAdvice(search.locations);
  return choice;
}

}  // namespace midi
