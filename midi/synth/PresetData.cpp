#include "midi/synth/PresetData.h"

#include <algorithm>
#include <array>
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
// Where a preset's or an instrument's first zone is named in its header.
constexpr std::size_t kPhdrZone = 24, kInstZone = 20;

constexpr int kKeyRangeGen = 43;
constexpr int kVelRangeGen = 44;
constexpr int kInstrumentGen = 41;  // a preset zone's instrument
constexpr int kSampleGen = 53;      // an instrument zone's sample

std::uint32_t U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t U32(const std::uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
void Put16(std::uint8_t* p, std::size_t v) {
  p[0] = v & 0xFF;
  p[1] = v >> 8 & 0xFF;
}

Table Gens(Table bag) { return static_cast<Table>(bag + 2); }
Table Mods(Table bag) { return static_cast<Table>(bag + 1); }

// One table of the preset data, in place.
struct Records {
  std::uint8_t* data = nullptr;
  std::size_t size = 0;   // of a record
  std::size_t count = 0;  // with the terminal record
  std::uint8_t* at(std::size_t i) const { return data + i * size; }
  // Index field at `field` of record i: where its zones, generators or modulators start.
  std::size_t first(std::size_t i, std::size_t field) const { return U16(at(i) + field); }
};
using Tables = std::array<Records, kTables>;

// Whether record i's zones, and those zones' generators and modulators, lie in order inside their tables.
bool Ordered(const Records& owners, std::size_t field, const Records& bags) {
  for (std::size_t i = 0; i + 1 < owners.count; ++i) {
    if (owners.first(i, field) > owners.first(i + 1, field)) return false;
  }
  return owners.first(owners.count - 1, field) < bags.count;
}

// The tables of `pdta`, checked for what the cut relies on.
std::optional<Tables> Parse(std::vector<std::uint8_t>& pdta) {
  Tables in;
  std::size_t at = 0;
  for (int t = 0; t < kTables; ++t) {
    if (at + 8 > pdta.size() || std::memcmp(&pdta[at], kIds[t], 4) != 0) return std::nullopt;
    const std::size_t bytes = U32(&pdta[at + 4]);
    if (bytes > pdta.size() - at - 8 || bytes % kRecord[t] != 0 || bytes < kRecord[t]) return std::nullopt;
    in[t] = {&pdta[at + 8], kRecord[t], bytes / kRecord[t]};
    at += 8 + bytes;
  }
  if (!Ordered(in[kPhdr], kPhdrZone, in[kPbag]) || !Ordered(in[kPbag], 0, in[kPgen]) ||
      !Ordered(in[kPbag], 2, in[kPmod]) || !Ordered(in[kInst], kInstZone, in[kIbag]) ||
      !Ordered(in[kIbag], 0, in[kIgen]) || !Ordered(in[kIbag], 2, in[kImod])) {
    return std::nullopt;
  }
  return in;
}

// Keeps old record indices in order and numbers them anew.
using Renumbering = std::map<std::size_t, std::size_t>;
void Number(Renumbering& kept) {
  std::size_t next = 0;
  for (auto& [old, renumbered] : kept) renumbered = next++;
}

// What a zone's generators say of the keys it plays.
struct Zone {
  std::uint8_t* keys = nullptr;       // the key range's low and high byte; none: every key
  std::uint32_t velocities = 0x7F00;  // low byte low, high byte high: all of them
  bool plays = false;                 // names its instrument or sample (`link`): not the global zone
  // Whether it may sound for a key from `lowestKey` up: the cut drops the zones that cannot.
  bool heard(int lowestKey) const { return !plays || keys == nullptr || keys[1] >= lowestKey; }
};
Zone ZoneAt(const Records& bags, const Records& gens, std::size_t z, int link) {
  Zone zone;
  for (std::size_t g = bags.first(z, 0); g < bags.first(z + 1, 0); ++g) {
    const int oper = static_cast<int>(U16(gens.at(g)));
    if (oper == kKeyRangeGen) zone.keys = gens.at(g) + 2;
    if (oper == kVelRangeGen) zone.velocities = U16(gens.at(g) + 2);
    zone.plays = zone.plays || oper == link;
  }
  return zone;
}

// The records named by generator `link` in the zones [from, to) of `bag` that are heard.
void Referenced(const Tables& in, Table bag, std::size_t from, std::size_t to, int link, int lowestKey,
                Renumbering& kept) {
  const Records& gens = in[Gens(bag)];
  for (std::size_t z = from; z < to; ++z) {
    if (!ZoneAt(in[bag], gens, z, link).heard(lowestKey)) continue;
    for (std::size_t g = in[bag].first(z, 0); g < in[bag].first(z + 1, 0); ++g)
      if (static_cast<int>(U16(gens.at(g))) == link) kept[U16(gens.at(g) + 2)];
  }
}

PresetNumber NumberOf(const Records& phdr, std::size_t p) {
  return {static_cast<int>(U16(phdr.at(p) + 22)), static_cast<int>(U16(phdr.at(p) + 20))};
}

// What the cut keeps, by old index.
struct Kept {
  std::vector<std::size_t> presets;
  Renumbering instruments, samples;
};

std::optional<Kept> Choose(const Tables& in, const std::set<PresetNumber>& keep, int lowestKey,
                           std::set<PresetNumber>& found) {
  Kept kept;
  const Records& phdr = in[kPhdr];
  for (std::size_t p = 0; p + 1 < phdr.count; ++p) {
    found.insert(NumberOf(phdr, p));
    if (!keep.contains(NumberOf(phdr, p))) continue;
    kept.presets.push_back(p);
    Referenced(in, kPbag, phdr.first(p, kPhdrZone), phdr.first(p + 1, kPhdrZone), kInstrumentGen, lowestKey,
               kept.instruments);
  }
  if (kept.presets.empty()) return std::nullopt;
  for (const auto& [i, unused] : kept.instruments) {
    if (i + 1 >= in[kInst].count) return std::nullopt;
    Referenced(in, kIbag, in[kInst].first(i, kInstZone), in[kInst].first(i + 1, kInstZone), kSampleGen,
               lowestKey, kept.samples);
  }
  // A stereo sample's other half comes along: its header names it.
  for (auto [s, unused] : Renumbering(kept.samples)) {
    if (s + 1 >= in[kShdr].count) return std::nullopt;
    const std::size_t other = U16(in[kShdr].at(s) + 42);
    if ((U16(in[kShdr].at(s) + 44) & 0x0E) != 0 && other + 1 < in[kShdr].count) kept.samples[other];
  }
  Number(kept.instruments);
  Number(kept.samples);
  return kept;
}

struct Writer {
  std::array<std::vector<std::uint8_t>, kTables> tables;
  std::size_t count(Table t) const { return tables[t].size() / kRecord[t]; }
  std::uint8_t* add(Table t, const std::uint8_t* record) {
    auto& out = tables[t];
    out.insert(out.end(), record, record + kRecord[t]);
    return out.data() + out.size() - kRecord[t];
  }
  Records records(Table t) { return {tables[t].data(), kRecord[t], count(t)}; }
};

// Copies the zones [from, to) of a preset or instrument that are heard with their generators
// and modulators, renumbering the generator `link` through `renumbered`.
bool CopyZones(Writer& out, const Tables& in, Table bag, std::size_t from, std::size_t to, int link,
               int lowestKey, const Renumbering& renumbered) {
  for (std::size_t z = from; z < to; ++z) {
    if (!ZoneAt(in[bag], in[Gens(bag)], z, link).heard(lowestKey)) continue;
    std::uint8_t* zone = out.add(bag, in[bag].at(z));
    Put16(zone, out.count(Gens(bag)));
    Put16(zone + 2, out.count(Mods(bag)));
    for (std::size_t g = in[bag].first(z, 0); g < in[bag].first(z + 1, 0); ++g) {
      std::uint8_t* generator = out.add(Gens(bag), in[Gens(bag)].at(g));
      if (static_cast<int>(U16(generator)) != link) continue;
      const auto found = renumbered.find(U16(generator + 2));
      if (found == renumbered.end()) return false;
      Put16(generator + 2, found->second);
    }
    for (std::size_t m = in[bag].first(z, 2); m < in[bag].first(z + 1, 2); ++m) {
      out.add(Mods(bag), in[Mods(bag)].at(m));
    }
  }
  return true;
}

bool Copy(Writer& out, const Tables& in, const Kept& kept, int lowestKey) {
  for (const std::size_t p : kept.presets) {
    Put16(out.add(kPhdr, in[kPhdr].at(p)) + kPhdrZone, out.count(kPbag));
    const std::size_t from = in[kPhdr].first(p, kPhdrZone), to = in[kPhdr].first(p + 1, kPhdrZone);
    if (!CopyZones(out, in, kPbag, from, to, kInstrumentGen, lowestKey, kept.instruments)) return false;
  }
  for (const auto& [i, unused] : kept.instruments) {
    Put16(out.add(kInst, in[kInst].at(i)) + kInstZone, out.count(kIbag));
    const std::size_t from = in[kInst].first(i, kInstZone), to = in[kInst].first(i + 1, kInstZone);
    if (!CopyZones(out, in, kIbag, from, to, kSampleGen, lowestKey, kept.samples)) return false;
  }
  for (const auto& [s, unused] : kept.samples) {
    std::uint8_t* header = out.add(kShdr, in[kShdr].at(s));
    const auto other = kept.samples.find(U16(header + 42));
    Put16(header + 42, other == kept.samples.end() ? 0 : other->second);
  }
  // The terminal records, pointing past the last zone, generator and modulator.
  Put16(out.add(kPhdr, in[kPhdr].at(in[kPhdr].count - 1)) + kPhdrZone, out.count(kPbag));
  Put16(out.add(kInst, in[kInst].at(in[kInst].count - 1)) + kInstZone, out.count(kIbag));
  for (const Table bag : {kPbag, kIbag}) {
    std::uint8_t* last = out.add(bag, in[bag].at(in[bag].count - 1));
    Put16(last, out.count(Gens(bag)));
    Put16(last + 2, out.count(Mods(bag)));
  }
  for (const Table t : {kPmod, kPgen, kImod, kIgen, kShdr}) out.add(t, in[t].at(in[t].count - 1));
  return true;
}

// A range's high key as a player reads it: no key lies above 127. Ranges that claim more are widened as those
// that end at 127, so that a second cut finds the same highest zones as the first.
int HighKey(const std::uint8_t* keys) { return std::min<int>(keys[1], 127); }

// The zones [from, to) of a preset or instrument, widened as CutPresetData says. A zone without a key range
// covers every key already; the global zone plays no note of its own.
void WidenZones(Records bags, Records gens, std::size_t from, std::size_t to, int link) {
  std::vector<Zone> zones;
  std::map<std::uint32_t, std::pair<int, int>> reach;  // of each velocity range: the lowest and highest key
  for (std::size_t z = from; z < to; ++z) {
    const Zone zone = ZoneAt(bags, gens, z, link);
    if (!zone.plays) continue;
    zones.push_back(zone);
    auto& [lowest, highest] = reach.try_emplace(zone.velocities, 255, 0).first->second;
    lowest = std::min(lowest, zone.keys ? int{zone.keys[0]} : 0);
    highest = std::max(highest, zone.keys ? HighKey(zone.keys) : 127);
  }
  for (const Zone& zone : zones) {
    const auto [lowest, highest] = reach[zone.velocities];
    if (zone.keys != nullptr && zone.keys[0] == lowest) zone.keys[0] = 0;
    if (zone.keys != nullptr && HighKey(zone.keys) == highest) zone.keys[1] = 127;
  }
}

// Widens the melodic presets of the cut and the instruments that only they play.
void Widen(Writer& out) {
  const Records phdr = out.records(kPhdr), pbag = out.records(kPbag), pgen = out.records(kPgen);
  const Records inst = out.records(kInst), ibag = out.records(kIbag), igen = out.records(kIgen);
  Renumbering melodic, drums;
  for (std::size_t p = 0; p + 1 < phdr.count; ++p) {
    const std::size_t from = phdr.first(p, kPhdrZone), to = phdr.first(p + 1, kPhdrZone);
    for (std::size_t g = pbag.first(from, 0); g < pbag.first(to, 0); ++g) {
      if (static_cast<int>(U16(pgen.at(g))) != kInstrumentGen) continue;
      (NumberOf(phdr, p).bank == kDrumBank ? drums : melodic)[U16(pgen.at(g) + 2)];
    }
    if (NumberOf(phdr, p).bank != kDrumBank) WidenZones(pbag, pgen, from, to, kInstrumentGen);
  }
  for (const auto& [i, unused] : melodic) {
    if (drums.contains(i) || i + 1 >= inst.count) continue;
    WidenZones(ibag, igen, inst.first(i, kInstZone), inst.first(i + 1, kInstZone), kSampleGen);
  }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> CutPresetData(const std::vector<std::uint8_t>& pdta,
                                                       const std::set<PresetNumber>& keep, int lowestKey,
                                                       std::set<PresetNumber>& found) {
  std::vector<std::uint8_t> data = pdta;  // read in place, never written
  const auto in = Parse(data);
  if (!in) return std::nullopt;
  const auto kept = Choose(*in, keep, lowestKey, found);
  Writer out;
  if (!kept || !Copy(out, *in, *kept, lowestKey)) return std::nullopt;
  Widen(out);
  std::vector<std::uint8_t> cut;
  for (int t = 0; t < kTables; ++t) {
    const std::size_t start = cut.size();
    const auto bytes = static_cast<std::uint32_t>(out.tables[t].size());
    cut.resize(start + 8);
    std::memcpy(&cut[start], kIds[t], 4);
    for (int b = 0; b < 4; ++b) cut[start + 4 + b] = static_cast<std::uint8_t>(bytes >> (8 * b));
    cut.insert(cut.end(), out.tables[t].begin(), out.tables[t].end());
  }
  return cut;
}

std::string SampleBeyond(const std::vector<std::uint8_t>& pdta, std::uint64_t sampleBytes) {
  std::size_t at = 0;
  for (int t = 0; t < kShdr && at + 8 <= pdta.size(); ++t) at += 8 + U32(&pdta[at + 4]);
  if (at + 8 > pdta.size()) return {};
  const std::size_t end = std::min<std::size_t>(pdta.size(), at + 8 + U32(&pdta[at + 4]));
  for (std::size_t h = at + 8; h + 2 * kRecord[kShdr] <= end; h += kRecord[kShdr]) {  // all but the terminal
    const std::uint8_t* header = &pdta[h];
    const std::uint32_t type = U16(header + 44);
    // SoundFont 3's compressed samples count bytes, the others 16-bit points; ROM samples are not in the
    // file.
    const std::uint64_t unit = (type & 0x10) != 0 ? 1 : 2;
    if ((type & 0x8000) == 0 &&
        (U32(header + 24) * unit > sampleBytes || U32(header + 20) > U32(header + 24))) {
      return std::string(reinterpret_cast<const char*>(header),
                         strnlen(reinterpret_cast<const char*>(header), 20));
    }
  }
  return {};
}

}  // namespace midi
