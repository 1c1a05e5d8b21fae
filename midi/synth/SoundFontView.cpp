#include "midi/synth/SoundFontView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace midi {
namespace {

// The preset data of a General MIDI set is 200 KB; a larger one is no
// SoundFont this reads, and FluidSynth may judge it.
constexpr std::uint32_t kMostPresetData = 16u << 20;

std::uint32_t U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t U32(const std::uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int b = 0; b < 4; ++b) p[b] = static_cast<std::uint8_t>(v >> (8 * b));
}

bool ReadAt(int fd, std::uint64_t offset, void* buffer, std::size_t count) {
  auto* to = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = pread(fd, to, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    offset += static_cast<std::uint64_t>(got);
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

std::unique_ptr<SoundFontView> SoundFontView::Open(const std::string& path,
                                                   const std::set<PresetNumber>& keep, int lowestKey) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a pipe must not hang the load
  if (fd < 0) return nullptr;
  std::unique_ptr<SoundFontView> view(new SoundFontView(fd));
  struct stat status {};
  if (fstat(fd, &status) != 0) return nullptr;
  const auto fileSize = static_cast<std::uint64_t>(status.st_size);
  if (keep.empty() || !view->cutTo(keep, lowestKey, fileSize)) {
    view->cut_.clear();
    view->pieces_ = {{0, fileSize, 0, true}};
    view->size_ = fileSize;
  }
  return view;
}

SoundFontView::~SoundFontView() { close(fd_); }

bool SoundFontView::cutTo(const std::set<PresetNumber>& keep, int lowestKey, std::uint64_t fileSize) {
  std::uint8_t riff[12];
  if (!ReadAt(fd_, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "sfbk", 4) != 0) {
    return false;
  }
  const std::uint64_t end = std::min<std::uint64_t>(8 + std::uint64_t{U32(riff + 4)}, fileSize);
  // The file's lists (INFO, sdta, pdta) in their order; only the preset data is replaced.
  std::uint64_t listAt = 0, listEnd = 0, sampleBytes = 0;
  std::vector<std::uint8_t> pdta;
  for (std::uint64_t at = 12; at + 12 <= end;) {
    std::uint8_t list[20] = {};
    if (!ReadAt(fd_, at, list, std::min<std::uint64_t>(sizeof list, end - at))) return false;
    const std::uint32_t bytes = U32(list + 4);
    if (std::memcmp(list, "LIST", 4) == 0 && std::memcmp(list + 8, "sdtasmpl", 8) == 0 && at + 20 <= end) {
      sampleBytes = std::min<std::uint64_t>(U32(list + 16), end - at - 20);  // a file cut short has less
    }
    if (std::memcmp(list, "LIST", 4) == 0 && std::memcmp(list + 8, "pdta", 4) == 0) {
      if (listEnd != 0 || bytes < 4 || bytes > kMostPresetData || at + 8 + bytes > end) return false;
      pdta.resize(bytes - 4);
      if (!ReadAt(fd_, at + 12, pdta.data(), pdta.size())) return false;
      listAt = at;
      listEnd = at + 8 + bytes + (bytes & 1);
    }
    at += 8 + std::uint64_t{bytes} + (bytes & 1);
  }
  std::set<PresetNumber> found;
  auto presetData = CutPresetData(pdta, keep, lowestKey, found);
  if (!presetData) return false;
  if (const std::string beyond = SampleBeyond(*presetData, sampleBytes); !beyond.empty()) {
    damage_ = "the sample \"" + beyond + "\" lies past the end of the sample data";
  }

  cut_.assign(riff, riff + 12);
  cut_.insert(cut_.end(), {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'p', 'd', 't', 'a'});
  Put32(&cut_[16], static_cast<std::uint32_t>(presetData->size() + 4));
  cut_.insert(cut_.end(), presetData->begin(), presetData->end());
  const std::uint64_t after = std::min(listEnd, end);
  pieces_ = {{0, 12, 0, false},
             {12, listAt - 12, 12, true},
             {listAt, cut_.size() - 12, 12, false},
             {listAt + cut_.size() - 12, end - after, after, true}};
  size_ = pieces_.back().start + pieces_.back().length;
  Put32(&cut_[4], static_cast<std::uint32_t>(size_ - 8));
  return true;
}

bool SoundFontView::read(std::uint64_t offset, void* buffer, std::size_t count) const {
  if (offset > size_ || count > size_ - offset) return false;
  auto* to = static_cast<std::uint8_t*>(buffer);
  for (const Piece& piece : pieces_) {
    if (count == 0) break;
    if (offset >= piece.start + piece.length) continue;
    const std::uint64_t within = offset - piece.start;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.length - within));
    if (piece.fromFile) {
      if (!ReadAt(fd_, piece.source + within, to, n)) return false;
    } else {
      std::memcpy(to, cut_.data() + piece.source + within, n);
    }
    to += n;
    offset += n;
    count -= n;
  }
  return count == 0;
}

}  // namespace midi
