#include "midi/synth/SoundFontView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <map>

namespace midi {
namespace {

// The preset data's tables, in the order the SoundFont 2 file format
// gives them, with the size of one record. Each ends in a terminal record.
enum Table { kPhdr, kPbag, kPmod, kPgen, kInst, kIbag, kImod, kIgen, kShdr, kTables };
constexpr std::array<const char*, kTables> kIds = {"phdr", "pbag", "pmod", "pgen", "inst",
                                                   "ibag", "imod", "igen", "shdr"};
constexpr std::array<std::size_t, kTables> kRecord = {38, 4, 10, 4, 22, 4, 10, 4, 46};

constexpr int kInstrumentGen = 41;  // a preset zone's instrument
constexpr int kSampleGen = 53;      // an instrument zone's sample
// The preset data of a General MIDI set is 200 KB; a larger one is no
// SoundFont this reads, and FluidSynth may judge it.
constexpr std::uint32_t kMostPresetData = 16u << 20;

std::uint32_t U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t U32(const std::uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = v >> 8 & 0xFF;
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
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

// One table of the preset data, read in place.
struct Records {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;   // of a record
  std::size_t count = 0;  // with the terminal record
  const std::uint8_t* at(std::size_t i) const { return data + i * size; }
  // Index field at `field` of record i: where its zones, generators or modulators start.
  std::size_t first(std::size_t i, std::size_t field) const { return U16(at(i) + field); }
};

// Keeps old record indices in order and numbers them anew.
using Renumbering = std::map<std::size_t, std::size_t>;
void Number(Renumbering& kept) {
  std::size_t next = 0;
  for (auto& [old, renumbered] : kept) renumbered = next++;
}

struct Writer {
  std::array<std::vector<std::uint8_t>, kTables> tables;
  std::size_t count(Table t) const { return tables[t].size() / kRecord[t]; }
  std::uint8_t* add(Table t, const std::uint8_t* record) {
    auto& out = tables[t];
    out.insert(out.end(), record, record + kRecord[t]);
    return out.data() + out.size() - kRecord[t];
  }
};

// Copies the zones [from, to) of a preset or instrument with their generators
// and modulators, renumbering the generator `link` through `renumbered`.
bool CopyZones(Writer& out, const std::array<Records, kTables>& in, Table bag, std::size_t from,
               std::size_t to, int link, const Renumbering& renumbered) {
  const Table gen = static_cast<Table>(bag + 2), mod = static_cast<Table>(bag + 1);
  for (std::size_t z = from; z < to; ++z) {
    std::uint8_t* zone = out.add(bag, in[bag].at(z));
    Put16(zone, static_cast<std::uint32_t>(out.count(gen)));
    Put16(zone + 2, static_cast<std::uint32_t>(out.count(mod)));
    for (std::size_t g = in[bag].first(z, 0); g < in[bag].first(z + 1, 0); ++g) {
      std::uint8_t* generator = out.add(gen, in[gen].at(g));
      if (static_cast<int>(U16(generator)) != link) continue;
      const auto found = renumbered.find(U16(generator + 2));
      if (found == renumbered.end()) return false;
      Put16(generator + 2, static_cast<std::uint32_t>(found->second));
    }
    for (std::size_t m = in[bag].first(z, 2); m < in[bag].first(z + 1, 2); ++m) out.add(mod, in[mod].at(m));
  }
  return true;
}

// Whether record i's zones, and those zones' generators and modulators, lie in order inside their tables.
bool Ordered(const Records& owners, std::size_t field, const Records& bags) {
  for (std::size_t i = 0; i + 1 < owners.count; ++i) {
    if (owners.first(i, field) > owners.first(i + 1, field)) return false;
  }
  return owners.first(owners.count - 1, field) < bags.count;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> CutPresetData(const std::vector<std::uint8_t>& pdta,
                                                       const std::set<PresetNumber>& keep,
                                                       std::set<PresetNumber>& found) {
  std::array<Records, kTables> in;
  std::size_t at = 0;
  for (int t = 0; t < kTables; ++t) {
    if (at + 8 > pdta.size() || std::memcmp(&pdta[at], kIds[t], 4) != 0) return std::nullopt;
    const std::size_t bytes = U32(&pdta[at + 4]);
    if (bytes > pdta.size() - at - 8 || bytes % kRecord[t] != 0 || bytes < kRecord[t]) return std::nullopt;
    in[t] = {&pdta[at + 8], kRecord[t], bytes / kRecord[t]};
    at += 8 + bytes;
  }
  if (!Ordered(in[kPhdr], 24, in[kPbag]) || !Ordered(in[kPbag], 0, in[kPgen]) ||
      !Ordered(in[kPbag], 2, in[kPmod]) || !Ordered(in[kInst], 20, in[kIbag]) ||
      !Ordered(in[kIbag], 0, in[kIgen]) || !Ordered(in[kIbag], 2, in[kImod])) {
    return std::nullopt;
  }
  const auto referenced = [&](Table bag, std::size_t from, std::size_t to, int link, Renumbering& kept) {
    const Table gen = static_cast<Table>(bag + 2);
    for (std::size_t g = in[bag].first(from, 0); g < in[bag].first(to, 0); ++g) {
      if (static_cast<int>(U16(in[gen].at(g))) == link) kept[U16(in[gen].at(g) + 2)];
    }
  };

  std::vector<std::size_t> presets;
  Renumbering instruments, samples;
  for (std::size_t p = 0; p + 1 < in[kPhdr].count; ++p) {
    const PresetNumber number{static_cast<int>(U16(in[kPhdr].at(p) + 22)),
                              static_cast<int>(U16(in[kPhdr].at(p) + 20))};
    found.insert(number);
    if (!keep.contains(number)) continue;
    presets.push_back(p);
    referenced(kPbag, in[kPhdr].first(p, 24), in[kPhdr].first(p + 1, 24), kInstrumentGen, instruments);
  }
  if (presets.empty()) return std::nullopt;
  for (const auto& [i, unused] : instruments) {
    if (i + 1 >= in[kInst].count) return std::nullopt;
    referenced(kIbag, in[kInst].first(i, 20), in[kInst].first(i + 1, 20), kSampleGen, samples);
  }
  // A stereo sample's other half comes along: its header names it.
  for (auto [s, unused] : Renumbering(samples)) {
    if (s + 1 >= in[kShdr].count) return std::nullopt;
    const std::size_t other = U16(in[kShdr].at(s) + 42);
    if ((U16(in[kShdr].at(s) + 44) & 0x0E) != 0 && other + 1 < in[kShdr].count) samples[other];
  }
  Number(instruments);
  Number(samples);

  Writer out;
  for (const std::size_t p : presets) {
    Put16(out.add(kPhdr, in[kPhdr].at(p)) + 24, static_cast<std::uint32_t>(out.count(kPbag)));
    if (!CopyZones(out, in, kPbag, in[kPhdr].first(p, 24), in[kPhdr].first(p + 1, 24), kInstrumentGen,
                   instruments)) {
      return std::nullopt;
    }
  }
  for (const auto& [i, unused] : instruments) {
    Put16(out.add(kInst, in[kInst].at(i)) + 20, static_cast<std::uint32_t>(out.count(kIbag)));
    if (!CopyZones(out, in, kIbag, in[kInst].first(i, 20), in[kInst].first(i + 1, 20), kSampleGen, samples)) {
      return std::nullopt;
    }
  }
  for (const auto& [s, unused] : samples) {
    std::uint8_t* header = out.add(kShdr, in[kShdr].at(s));
    const auto other = samples.find(U16(header + 42));
    Put16(header + 42, other == samples.end() ? 0 : static_cast<std::uint32_t>(other->second));
  }
  // The terminal records, pointing past the last zone, generator and modulator.
  Put16(out.add(kPhdr, in[kPhdr].at(in[kPhdr].count - 1)) + 24, static_cast<std::uint32_t>(out.count(kPbag)));
  Put16(out.add(kInst, in[kInst].at(in[kInst].count - 1)) + 20, static_cast<std::uint32_t>(out.count(kIbag)));
  for (const Table bag : {kPbag, kIbag}) {
    std::uint8_t* last = out.add(bag, in[bag].at(in[bag].count - 1));
    Put16(last, static_cast<std::uint32_t>(out.count(static_cast<Table>(bag + 2))));
    Put16(last + 2, static_cast<std::uint32_t>(out.count(static_cast<Table>(bag + 1))));
  }
  for (const Table t : {kPmod, kPgen, kImod, kIgen, kShdr}) out.add(t, in[t].at(in[t].count - 1));

  std::vector<std::uint8_t> cut;
  for (int t = 0; t < kTables; ++t) {
    const std::size_t start = cut.size();
    cut.resize(start + 8);
    std::memcpy(&cut[start], kIds[t], 4);
    Put32(&cut[start + 4], static_cast<std::uint32_t>(out.tables[t].size()));
    cut.insert(cut.end(), out.tables[t].begin(), out.tables[t].end());
  }
  return cut;
}

std::unique_ptr<SoundFontView> SoundFontView::Open(const std::string& path,
                                                   std::optional<PresetNumber> keep) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);  // a pipe must not hang the load
  if (fd < 0) return nullptr;
  std::unique_ptr<SoundFontView> view(new SoundFontView(fd));
  struct stat status {};
  if (fstat(fd, &status) != 0) return nullptr;
  const auto fileSize = static_cast<std::uint64_t>(status.st_size);
  if (!keep || !view->cutTo(*keep, fileSize)) {
    view->cut_.clear();
    view->presets_.clear();
    view->pieces_ = {{0, fileSize, 0, true}};
    view->size_ = fileSize;
  }
  return view;
}

SoundFontView::~SoundFontView() { close(fd_); }

bool SoundFontView::cutTo(PresetNumber keep, std::uint64_t fileSize) {
  std::uint8_t riff[12];
  if (!ReadAt(fd_, 0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
      std::memcmp(riff + 8, "sfbk", 4) != 0) {
    return false;
  }
  const std::uint64_t end = std::min<std::uint64_t>(8 + std::uint64_t{U32(riff + 4)}, fileSize);
  // The file's lists (INFO, sdta, pdta) in their order; only the preset data is replaced.
  std::uint64_t listAt = 0, listEnd = 0;
  std::vector<std::uint8_t> pdta;
  for (std::uint64_t at = 12; at + 12 <= end;) {
    std::uint8_t list[12];
    if (!ReadAt(fd_, at, list, sizeof list)) return false;
    const std::uint32_t bytes = U32(list + 4);
    if (std::memcmp(list, "LIST", 4) == 0 && std::memcmp(list + 8, "pdta", 4) == 0) {
      if (listEnd != 0 || bytes < 4 || bytes > kMostPresetData || at + 8 + bytes > end) return false;
      pdta.resize(bytes - 4);
      if (!ReadAt(fd_, at + 12, pdta.data(), pdta.size())) return false;
      listAt = at;
      listEnd = at + 8 + bytes + (bytes & 1);
    }
    at += 8 + std::uint64_t{bytes} + (bytes & 1);
  }
  auto presetData = CutPresetData(pdta, {keep}, presets_);
  if (!presetData) return false;

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
