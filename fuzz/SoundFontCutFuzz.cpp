// Feeds arbitrary preset data to the SoundFont cutter, after two bytes that
// name a preset to keep besides the piano and the standard drum kit. Besides
// the sanitizers' checks, it holds the cut to its promises:
// - it keeps exactly the presets asked for that the data holds, and of them
//   and of their instruments the zones that reach the panel's lowest note or
//   have no key range; no zone left plays only keys below it;
// - cutting the cut again gives back the same bytes, so no zone, generator or
//   sample header went astray and the widening is done once and for all;
// - every velocity range of a melodic preset, and of the instruments only
//   melodic presets play, reaches key 0 and key 127;
// - the data, put in a file behind sample data, and seen through the cut
//   view, reads the same in pieces at any offsets as in one read, keeps the
//   sample data byte for byte in its place, and its sample headers are the
//   file's: FluidSynth's loader gets the same samples as from the whole file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "midi/synth/PresetData.h"
#include "midi/synth/SoundFontView.h"

namespace {

constexpr int kLowestKey = 60;  // the panel's lowest note, as the synthesizer cuts its SoundFont

void Check(bool holds) {
  if (!holds) std::abort();
}

std::uint32_t U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t U32(const std::uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
void Put32(std::vector<std::uint8_t>& out, std::size_t v) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
}
void Append(std::vector<std::uint8_t>& out, const char* text) { out.insert(out.end(), text, text + 4); }

// The nine tables of preset data the cutter took, by id.
std::map<std::string, std::vector<const std::uint8_t*>> Tables(const std::vector<std::uint8_t>& pdta) {
  const std::map<std::string, std::size_t> sizes = {{"phdr", 38}, {"pbag", 4},  {"pmod", 10},
                                                    {"pgen", 4},  {"inst", 22}, {"ibag", 4},
                                                    {"imod", 10}, {"igen", 4},  {"shdr", 46}};
  std::map<std::string, std::vector<const std::uint8_t*>> tables;
  for (std::size_t at = 0, n = 0; n < sizes.size(); at += 8 + U32(&pdta[at + 4]), ++n) {
    const std::string id(reinterpret_cast<const char*>(&pdta[at]), 4);
    for (std::size_t r = 0; r < U32(&pdta[at + 4]); r += sizes.at(id))
      tables[id].push_back(&pdta[at + 8 + r]);
  }
  return tables;
}

struct Zone {
  int low = 0, high = 127;
  std::uint32_t velocities = 0x7F00;
  std::vector<std::uint32_t> linked;  // what generator `link` names; none in a global zone
};
Zone ZoneAt(const std::vector<const std::uint8_t*>& bags, const std::vector<const std::uint8_t*>& gens,
            std::size_t z, std::uint32_t link) {
  Zone zone;
  for (std::size_t g = U16(bags[z]); g < U16(bags[z + 1]); ++g) {
    if (U16(gens[g]) == 43) zone.low = gens[g][2], zone.high = gens[g][3];
    if (U16(gens[g]) == 44) zone.velocities = U16(gens[g] + 2);
    if (U16(gens[g]) == link) zone.linked.push_back(U16(gens[g] + 2));
  }
  return zone;
}
bool Heard(const Zone& zone) { return zone.linked.empty() || zone.high >= kLowestKey; }

// The zones [from, to) are all heard; if `melodic`, each velocity range of those that play spans keys 0..127.
void CheckCovered(const std::vector<const std::uint8_t*>& bags, const std::vector<const std::uint8_t*>& gens,
                  std::size_t from, std::size_t to, std::uint32_t link, bool melodic) {
  std::map<std::uint32_t, std::pair<int, int>> reach;  // velocity range: lowest, highest key
  for (std::size_t z = from; z < to; ++z) {
    const Zone zone = ZoneAt(bags, gens, z, link);
    Check(Heard(zone));
    if (zone.linked.empty()) continue;
    auto [it, fresh] = reach.try_emplace(zone.velocities, zone.low, zone.high);
    it->second = {std::min(it->second.first, zone.low), std::max(it->second.second, zone.high)};
  }
  for (const auto& [velocities, keys] : reach) Check(!melodic || (keys.first == 0 && keys.second == 127));
}

void CheckWidened(const std::vector<std::uint8_t>& cut) {
  auto t = Tables(cut);
  std::set<std::uint32_t> melodic, drums;
  for (std::size_t p = 0; p + 1 < t["phdr"].size(); ++p) {
    const std::size_t from = U16(t["phdr"][p] + 24), to = U16(t["phdr"][p + 1] + 24);
    const bool isDrums = U16(t["phdr"][p] + 22) == midi::kDrumBank;
    for (std::size_t g = U16(t["pbag"][from]); g < U16(t["pbag"][to]); ++g) {
      if (U16(t["pgen"][g]) == 41) (isDrums ? drums : melodic).insert(U16(t["pgen"][g] + 2));
    }
    CheckCovered(t["pbag"], t["pgen"], from, to, 41, !isDrums);
  }
  for (std::uint32_t i = 0; i + 1 < t["inst"].size(); ++i) {
    CheckCovered(t["ibag"], t["igen"], U16(t["inst"][i] + 20), U16(t["inst"][i + 1] + 20), 53,
                 melodic.contains(i) && !drums.contains(i));
  }
}

// What the cut of `pdta` is to keep, in order: the presets `keep` names, then the instruments that their
// zones heard name, each with its count of zones heard (an instrument's number: -1, -1).
std::vector<std::pair<midi::PresetNumber, int>> Kept(const std::vector<std::uint8_t>& pdta,
                                                     const std::set<midi::PresetNumber>& keep) {
  auto t = Tables(pdta);
  std::vector<std::pair<midi::PresetNumber, int>> kept;
  std::set<std::uint32_t> instruments;
  for (std::size_t p = 0; p + 1 < t["phdr"].size(); ++p) {
    const midi::PresetNumber number{int(U16(t["phdr"][p] + 22)), int(U16(t["phdr"][p] + 20))};
    if (!keep.contains(number)) continue;
    kept.emplace_back(number, 0);
    for (std::size_t z = U16(t["phdr"][p] + 24); z < U16(t["phdr"][p + 1] + 24); ++z) {
      if (const Zone zone = ZoneAt(t["pbag"], t["pgen"], z, 41); Heard(zone)) {
        ++kept.back().second;
        instruments.insert(zone.linked.begin(), zone.linked.end());
      }
    }
  }
  for (const std::uint32_t i : instruments) {
    kept.push_back({{-1, -1}, 0});
    for (std::size_t z = U16(t["inst"][i] + 20); z < U16(t["inst"][i + 1] + 20); ++z)
      kept.back().second += Heard(ZoneAt(t["ibag"], t["igen"], z, 53));
  }
  return kept;
}

// A SoundFont file: sample data, then `pdta`.
std::vector<std::uint8_t> File(const std::vector<std::uint8_t>& pdta, std::size_t samples) {
  std::vector<std::uint8_t> file;
  Append(file, "RIFF");
  Put32(file, 0);
  Append(file, "sfbk");
  Append(file, "LIST");
  Put32(file, 12 + samples);
  Append(file, "sdta");
  Append(file, "smpl");
  Put32(file, samples);
  for (std::size_t i = 0; i < samples; ++i) file.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  Append(file, "LIST");
  Put32(file, 4 + pdta.size());
  Append(file, "pdta");
  file.insert(file.end(), pdta.begin(), pdta.end());
  if (pdta.size() % 2 != 0) file.push_back(0);
  const std::size_t riff = file.size() - 8;
  std::memcpy(&file[4], &riff, 4);
  return file;
}

void CheckView(const std::vector<std::uint8_t>& pdta, const std::set<midi::PresetNumber>& keep,
               const std::vector<std::uint8_t>& cut) {
  constexpr std::size_t kSamples = 512;
  const auto file = File(pdta, kSamples);
  const int fd = memfd_create("soundfont", 0);
  Check(fd >= 0 && write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()));
  const auto view = midi::SoundFontView::Open("/proc/self/fd/" + std::to_string(fd), keep, kLowestKey);
  close(fd);
  Check(view && !view->whole());
  std::vector<std::uint8_t> whole(view->size()), pieces(view->size());
  Check(view->read(0, whole.data(), whole.size()));
  Check(!view->read(1, whole.data(), whole.size()));  // past the end
  // Pieces of every length from 1 to 97 bytes, wherever they fall.
  for (std::size_t at = 0, step = 1; at < pieces.size(); at += step, step = step % 97 + 1) {
    Check(view->read(at, &pieces[at], std::min(step, pieces.size() - at)));
  }
  Check(pieces == whole);
  const std::size_t pdtaAt = 12 + 8 + 12 + kSamples;  // the sample data ends where the preset data starts
  Check(std::memcmp(whole.data() + 8, file.data() + 8, pdtaAt - 8) == 0);
  Check(std::memcmp(&whole[pdtaAt], "LIST", 4) == 0 && U32(&whole[pdtaAt + 4]) == cut.size() + 4);
  Check(std::memcmp(&whole[pdtaAt + 12], cut.data(), cut.size()) == 0);
  Check(U32(&whole[4]) == whole.size() - 8);
  // Each sample header kept is one of the file's, all but the index of its stereo partner.
  std::set<std::string> headers;
  const auto header = [](const std::uint8_t* h) {
    return std::string(h, h + 42) + std::string(h + 44, h + 46);
  };
  auto original = Tables(pdta), kept = Tables(cut);
  for (const auto* h : original["shdr"]) headers.insert(header(h));
  for (const auto* h : kept["shdr"]) Check(headers.contains(header(h)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::set<midi::PresetNumber> keep = {{0, 0}, {128, 0}, {data[0], data[1]}};
  const std::vector<std::uint8_t> pdta(data + 2, data + size);
  std::set<midi::PresetNumber> found, kept;
  const auto cut = midi::CutPresetData(pdta, keep, kLowestKey, found);
  if (!cut) return 0;
  const auto again = midi::CutPresetData(*cut, keep, kLowestKey, kept);
  Check(again && *again == *cut);
  for (const auto& preset : keep) Check(found.contains(preset) == kept.contains(preset));
  Check(kept.size() <= keep.size());
  Check(Kept(*cut, keep) == Kept(pdta, keep));
  CheckWidened(*cut);
  CheckView(pdta, keep, *cut);
  return 0;
}
