#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

// Result codes of open and close. The numbers follow the traditional
// multimedia-system numbering so that the code in "Couldn't open midi out,
// rc = N" means the same thing to users as it always has.
namespace rc {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kError = 1;          // unspecified error
inline constexpr std::int32_t kBadDeviceId = 2;    // id out of range
inline constexpr std::int32_t kAllocated = 4;      // port already in use
inline constexpr std::int32_t kInvalidHandle = 5;  // close of a handle that is not open
inline constexpr std::int32_t kNoMemory = 7;
inline constexpr std::int32_t kNotSupported = 8;  // a message the port does not take
inline constexpr std::int32_t kNoDevice = 68;     // the port or its server has gone
}  // namespace rc

// Device id of the default destination, listed as "MIDI Mapper".
inline constexpr std::int32_t kDefaultDevice = -1;

// Longest product name, in characters (the classic 32-byte name field with its NUL).
inline constexpr int kMaxProductName = 31;

// Handle of an open port; 0 is never a valid handle.
using PortHandle = std::int32_t;

// The platform's MIDI output service, shaped after what the panel needs of it.
// Every call comes from the user-interface thread and none throws.
class MidiOut {
 public:
  virtual ~MidiOut() = default;

  // Number of output ports; their ids are 0 .. count - 1. Taking the count
  // also fixes the list that productName() and open() refer to.
  virtual std::int32_t deviceCount() = 0;

  // UTF-8 product name of port `id`, at most kMaxProductName characters;
  // names of different ports differ. Empty for an id out of range.
  virtual std::string productName(std::int32_t id) = 0;

  // Opens port `id` (kDefaultDevice for the default destination). Returns
  // rc::kOk and sets `handle`, or a non-zero code and leaves `handle` as it was.
  virtual std::int32_t open(std::int32_t id, PortHandle& handle) = 0;

  // Sends a packed short message (status in bits 0..7, data 1 in 8..15,
  // data 2 in 16..23) at once. A send to a handle that is not open, or to a
  // port whose server has gone, fails silently.
  virtual void send(PortHandle handle, std::uint32_t message) = 0;

  // Closes `handle`. Tolerates a handle that was never opened (rc::kInvalidHandle).
  virtual std::int32_t close(PortHandle handle) = 0;

  // Why the last open failed, in words for the user; empty when unknown.
  virtual std::string lastError() const { return {}; }

  // Called about once a second while the panel runs: notices an open port
  // whose server or receiver went away or came back, and reopens it by itself
  // when its server answers again, keeping its handle. Says what changed, a
  // line for the status display each, oldest first; nothing when nothing did.
  // Never starts a server.
  virtual std::vector<std::string> poll() { return {}; }
};

}  // namespace midi
