#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace midi {

// Which notes the far end of a port should be sounding, judged from the
// messages that went out on it. After an xrun the far end may have missed
// some of them; the ledger says which Note Offs to send again. Plain data, no
// allocation: it lives in the realtime thread.
class NoteLedger {
 public:
  // A channel message that went out: Note On starts its note, Note Off (or
  // Note On with velocity 0) ends it, All Notes Off and All Sound Off end
  // every note of their channel. Anything else leaves the ledger as it was.
  void sent(const std::uint8_t* bytes, std::size_t count);

  bool held(int channel, int note) const { return state_[Key(channel, note)] == kHeld; }

  // Calls `emit(status, note)` with a Note Off for every note that was
  // released and is not held again: every note known not to be sounding,
  // however long ago it was released. Held notes are left alone.
  template <typename Emit>
  void forEachReleased(Emit&& emit) const {
    for (std::size_t key = 0; key < state_.size(); ++key) {
      if (state_[key] == kReleased) {
        emit(static_cast<std::uint8_t>(0x80 | (key >> 7)), static_cast<std::uint8_t>(key & 0x7F));
      }
    }
  }

 private:
  enum State : std::uint8_t { kUntouched = 0, kHeld, kReleased };
  static std::size_t Key(int channel, int note) {
    return static_cast<std::size_t>(((channel & 0x0F) << 7) | (note & 0x7F));
  }
  void releaseChannel(int channel);

  std::array<State, 16 * 128> state_{};
};

}  // namespace midi
