// Feeds arbitrary preset data to the SoundFont cutter, after two bytes that
// name a preset to keep besides the piano and the standard drum kit. Besides
// the sanitizers' checks, it holds the cut to its promises: it keeps exactly
// the presets asked for that the data holds, and cutting the cut again gives
// back the same bytes, so no zone, generator or sample header went astray.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <vector>

#include "midi/synth/SoundFontView.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::set<midi::PresetNumber> keep = {{0, 0}, {128, 0}, {data[0], data[1]}};
  const std::vector<std::uint8_t> pdta(data + 2, data + size);
  std::set<midi::PresetNumber> found, kept;
  const auto cut = midi::CutPresetData(pdta, keep, found);
  if (!cut) return 0;
  const auto again = midi::CutPresetData(*cut, keep, kept);
  if (!again || *again != *cut) std::abort();
  for (const auto& preset : keep) {
    if (found.contains(preset) != kept.contains(preset)) std::abort();
  }
  if (kept.size() > keep.size()) std::abort();
  return 0;
}
