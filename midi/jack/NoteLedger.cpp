#include "midi/jack/NoteLedger.h"

namespace midi {

void NoteLedger::sent(const std::uint8_t* bytes, std::size_t count) {
  if (count < 3) return;
  const int channel = bytes[0] & 0x0F;
  switch (bytes[0] & 0xF0) {
    case 0x90: state_[Key(channel, bytes[1])] = bytes[2] != 0 ? kHeld : kReleased; break;
    case 0x80: state_[Key(channel, bytes[1])] = kReleased; break;
    case 0xB0:
      // All Sound Off (120) and All Notes Off (123) end every note, and so do
      // the mode changes 124 .. 127, which imply All Notes Off.
      if (bytes[1] == 120 || bytes[1] >= 123) releaseChannel(channel);
      break;
    default: break;
  }
}

void NoteLedger::releaseChannel(int channel) {
  for (int note = 0; note < 128; ++note) {
    auto& state = state_[Key(channel, note)];
    if (state == kHeld) state = kReleased;
  }
}

}  // namespace midi
