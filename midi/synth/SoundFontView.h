#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "midi/synth/PresetData.h"

namespace midi {

// A SoundFont 2 or 3 file as the synthesizer is to read it: the file byte for
// byte, except that its preset data holds only the presets asked for, less
// their zones that play only keys below `lowestKey`, with the instruments and
// sample headers the rest name (see CutPresetData). The sample data keeps its
// place, so the headers' offsets stay true and a reader reads only the samples
// of those zones. FluidSynth builds about 3 KB of structures for every zone of
// every preset in a file: 11 MB and most of the load time for the General MIDI
// set, of which the panel plays one or two instruments.
//
// A file that cannot be read as a SoundFont, or that lacks the preset, is seen
// whole, as it is: FluidSynth then says what is wrong with it, or loads it all.
class SoundFontView {
 public:
  // nullptr when the file cannot be opened; `errno` says why. With `keep`
  // empty, or when no preset of it is in the file, the view is the whole file.
  static std::unique_ptr<SoundFontView> Open(const std::string& path, const std::set<PresetNumber>& keep,
                                             int lowestKey);
  ~SoundFontView();
  SoundFontView(const SoundFontView&) = delete;
  SoundFontView& operator=(const SoundFontView&) = delete;

  std::uint64_t size() const { return size_; }
  // Whether the view is the file as it is.
  bool whole() const { return cut_.empty(); }
  // Why the cut view is unfit to play, for the user ("the sample ... lies
  // past the end of the sample data"); empty when it is fit, or whole.
  const std::string& damage() const { return damage_; }
  // Copies `count` bytes from `offset` on: false when they pass the end or the file fails.
  bool read(std::uint64_t offset, void* buffer, std::size_t count) const;

 private:
  explicit SoundFontView(int fd) : fd_(fd) {}
  bool cutTo(const std::set<PresetNumber>& keep, int lowestKey, std::uint64_t fileSize);

  // A stretch of the view: from the file at `source`, else from `cut_` at `source`.
  struct Piece {
    std::uint64_t start, length, source;
    bool fromFile;
  };
  int fd_;
  std::uint64_t size_ = 0;
  std::vector<Piece> pieces_;
  std::vector<std::uint8_t> cut_;  // the new RIFF header, then the new preset data
  std::string damage_;
};

}  // namespace midi
