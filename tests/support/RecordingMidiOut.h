#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "midi/MidiOut.h"

namespace testing_support {

// A MidiOut that records every call, in order, and answers from a script.
class RecordingMidiOut final : public midi::MidiOut {
 public:
  struct Call {
    enum Kind { kCount, kName, kOpen, kSend, kClose } kind;
    std::int32_t arg = 0;            // device id (name, open) or handle (send, close)
    std::uint32_t message = 0;       // send
    bool operator==(const Call&) const = default;
  };
  struct Sent {
    midi::PortHandle handle;
    std::uint32_t message;
    bool operator==(const Sent&) const = default;
  };

  std::vector<std::string> ports;            // names by device id
  std::map<std::int32_t, std::int32_t> openResults;  // device id -> code; kOk when absent
  std::string failureReason = "the test refused it";

  std::vector<Call> calls;
  std::vector<Sent> sent;
  midi::PortHandle openHandle = 0;  // 0 while nothing is open
  std::int32_t openDevice = 0;

  std::int32_t deviceCount() override {
    calls.push_back({Call::kCount});
    return static_cast<std::int32_t>(ports.size());
  }
  std::string productName(std::int32_t id) override {
    calls.push_back({Call::kName, id});
    return id >= 0 && static_cast<std::size_t>(id) < ports.size() ? ports[static_cast<std::size_t>(id)]
                                                                    : std::string();
  }
  std::int32_t open(std::int32_t id, midi::PortHandle& handle) override {
    calls.push_back({Call::kOpen, id});
    const auto it = openResults.find(id);
    const std::int32_t code = it == openResults.end() ? midi::rc::kOk : it->second;
    if (code == midi::rc::kOk) {
      handle = openHandle = nextHandle_++;
      openDevice = id;
    }
    return code;
  }
  void send(midi::PortHandle handle, std::uint32_t message) override {
    calls.push_back({Call::kSend, handle, message});
    sent.push_back({handle, message});
  }
  std::int32_t close(midi::PortHandle handle) override {
    calls.push_back({Call::kClose, handle});
    if (handle == 0 || handle != openHandle) return midi::rc::kInvalidHandle;
    openHandle = 0;
    return midi::rc::kOk;
  }
  std::string lastError() const override { return failureReason; }

  // Messages sent to the open port, or to `handle`.
  std::vector<std::uint32_t> messagesTo(midi::PortHandle handle) const {
    std::vector<std::uint32_t> out;
    for (const auto& s : sent) if (s.handle == handle) out.push_back(s.message);
    return out;
  }

 private:
  midi::PortHandle nextHandle_ = 100;
};

}  // namespace testing_support
