#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "midi/MidiOut.h"

namespace testing_support {

// A MidiOut that records what is sent and answers from a script. On the open port it listens like a receiver:
// `faults` gets what none should meet, a second Note On for a sounding note or a port closed on one.
class RecordingMidiOut final : public midi::MidiOut {
 public:
  struct Sent {
    midi::PortHandle port;
    std::uint32_t message;
  };

  std::vector<std::string> ports;                    // names by device id
  std::map<std::int32_t, std::int32_t> openResults;  // device id -> code; kOk when absent
  std::vector<Sent> sent;
  std::set<std::uint32_t> sounding;  // on the open port, as note << 8 | channel
  std::vector<std::string> faults;
  midi::PortHandle openHandle = 0;  // 0 while nothing is open
  std::int32_t openDevice = 0;
  midi::PortHandle lastHandle = 99;  // handles count up from here

  std::int32_t deviceCount() override { return static_cast<std::int32_t>(ports.size()); }
  std::string productName(std::int32_t id) override { return ports.at(static_cast<std::size_t>(id)); }
  std::int32_t open(std::int32_t id, midi::PortHandle& handle) override {
    const std::int32_t code = openResults.contains(id) ? openResults[id] : midi::rc::kOk;
    if (code == midi::rc::kOk) handle = openHandle = ++lastHandle, openDevice = id;
    return code;
  }
  void send(midi::PortHandle handle, std::uint32_t message) override {
    sent.push_back({handle, message});
    const std::uint32_t note = message & 0x7F0F, status = message & 0xF0;
    if (handle == 0 || handle != openHandle) return;  // nothing open there: the message goes nowhere
    if (status == 0x80) sounding.erase(note);
    if (status == 0x90 && !sounding.insert(note).second)
      faults.push_back("second Note On note " + std::to_string(note >> 8));
  }
  std::int32_t close(midi::PortHandle handle) override {
    if (handle == 0 || handle != openHandle) return midi::rc::kInvalidHandle;
    for (const auto note : sounding) faults.push_back("closed on note " + std::to_string(note >> 8));
    sounding.clear();
    openHandle = 0;
    return midi::rc::kOk;
  }

  std::vector<std::uint32_t> played() const {  // the messages sent to the open port
    std::vector<std::uint32_t> out;
    for (const auto& s : sent)
      if (s.port == openHandle) out.push_back(s.message);
    return out;
  }
};

}  // namespace testing_support
