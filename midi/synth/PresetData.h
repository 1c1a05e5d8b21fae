#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace midi {

// A preset of a SoundFont: its MIDI bank (128 holds the drum kits) and program.
struct PresetNumber {
  int bank = 0;
  int program = 0;
  auto operator<=>(const PresetNumber&) const = default;
};

inline constexpr int kDrumBank = 128;

// The preset data (a "pdta" list without its list header) cut to the presets
// `keep` names, less the zones whose key range ends below `lowestKey` (0..127:
// the lowest key the caller plays), with the instruments and sample headers
// the zones left name, renumbered; nothing when the data is malformed or holds
// none of those presets. `found` gets the presets the data holds. A pure
// function of the bytes.
//
// A melodic preset (any bank but the drum kits') is made to sound on every
// key: in the preset and in its instruments, the zones left that hold the lowest
// key of their velocity range reach down to key 0, those that hold the
// highest reach up to 127 (both zones of a stereo pair alike). FluidSynth then
// plays a key beyond the instrument's samples from the nearest one, at the
// key's pitch. A drum kit keeps its silent keys.
std::optional<std::vector<std::uint8_t>> CutPresetData(const std::vector<std::uint8_t>& pdta,
                                                       const std::set<PresetNumber>& keep, int lowestKey,
                                                       std::set<PresetNumber>& found);

// The name of the first sample that a header of `pdta` (preset data as
// CutPresetData gives it) places beyond `sampleBytes` bytes of sample data;
// empty when every sample lies inside.
std::string SampleBeyond(const std::vector<std::uint8_t>& pdta, std::uint64_t sampleBytes);

}  // namespace midi
