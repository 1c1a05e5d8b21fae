// Which SoundFont the synthesizer picks, and what it tells a user who has none.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "midi/synth/SoundFont.h"

namespace {

using midi::FindSoundFont;
using midi::SoundFontSearch;

struct SearchCase {
  const char* name;
  SoundFontSearch search;
  std::set<std::string> soundFonts;  // the files that are SoundFonts; nothing else is
  std::string expected;              // empty: none found
  std::vector<std::string> reasonHas;
};

const std::vector<std::string> kLocations = {"/debian/default-GM.sf3", "/fedora/default.sf2", "/arch/FluidR3_GM.sf2"};

const SearchCase kCases[] = {
    {"VariableWinsOverEverything", {"/home/me/piano.sf2", "/fluid/default.sf2", kLocations},
     {"/home/me/piano.sf2", "/fluid/default.sf2", "/debian/default-GM.sf3"}, "/home/me/piano.sf2", {}},
    {"FluidDefaultBeforeLocations", {"", "/fluid/default.sf2", kLocations},
     {"/fluid/default.sf2", "/debian/default-GM.sf3"}, "/fluid/default.sf2", {}},
    {"BrokenVariableFallsBackToFluidDefault", {"/home/me/typo.sf2", "/fluid/default.sf2", kLocations},
     {"/fluid/default.sf2"}, "/fluid/default.sf2", {}},
    {"LocationsInOrder", {"", "/fluid/missing.sf3", kLocations},
     {"/fedora/default.sf2", "/arch/FluidR3_GM.sf2"}, "/fedora/default.sf2", {}},
    {"LastLocation", {"", "", kLocations}, {"/arch/FluidR3_GM.sf2"}, "/arch/FluidR3_GM.sf2", {}},
    {"EmptyEntriesAreNoFiles", {"", "", {"", "/x.sf2"}}, {"", "/x.sf2"}, "/x.sf2", {}},
    {"NothingAnywhere", {"", "/fluid/default.sf2", kLocations}, {}, "",
     {"No General MIDI SoundFont was found", "fluid-soundfont-gm", "soundfont-fluid", "ZELMORA_SOUNDFONT"}},
    {"NothingAndTheVariableNamedANonSoundFont", {"/home/me/notes.txt", "", {}}, {}, "",
     {"ZELMORA_SOUNDFONT names \"/home/me/notes.txt\", which is not a SoundFont file",
      "Install the Debian package fluid-soundfont-gm"}},
};

class SoundFontSearchTest : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SoundFontSearchTest, PicksTheFirstUsableFile) {
  const SearchCase& c = GetParam();
  std::vector<std::string> asked;
  const auto choice = FindSoundFont(c.search, [&](const std::string& path) {
    asked.push_back(path);
    return c.soundFonts.count(path) != 0;
  });
  EXPECT_EQ(choice.path, c.expected);
  if (c.expected.empty()) {
    for (const auto& part : c.reasonHas) EXPECT_NE(choice.reason.find(part), std::string::npos) << part;
  } else {
    EXPECT_EQ(choice.reason, "");
    // The search stops at the first hit: a missing SoundFont later in the list costs nothing.
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Table, SoundFontSearchTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
