#pragma once

#include <cstdint>
#include <set>
#include <vector>

namespace testing_support {

// The note story a synthesizer hears in a stream of MIDI messages: every Note
// On, and the Note Offs that end a sounding note. Note Offs for notes that do
// not sound change nothing at a receiver (the JACK output's xrun repair sends
// such); they are left out.
inline std::vector<std::vector<std::uint8_t>> NoteStory(
    const std::vector<std::vector<std::uint8_t>>& messages) {
  std::vector<std::vector<std::uint8_t>> out;
  std::set<int> sounding;  // channel << 8 | note
  for (const auto& m : messages) {
    if (m.size() < 3 || (m[0] & 0xE0) != 0x80) continue;  // neither Note On nor Note Off
    const bool on = (m[0] & 0xF0) == 0x90 && m[2] != 0;
    const int note = (m[0] & 0x0F) << 8 | m[1];
    if (on) sounding.insert(note);
    if (on || sounding.erase(note) != 0) out.push_back(m);
  }
  return out;
}

}  // namespace testing_support
