#include "midi/rtmidi/RtMidiBackend.h"

#include <RtMidi.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <exception>

#include "midi/LibraryMessages.h"

namespace midi {
namespace {

// RtMidi reports errors by throwing until an error callback is set, and only
// through the callback afterwards, so every RtMidiOut gets one at once and
// the caller looks at this record after each call.
struct ErrorLog {
  bool failed = false;  // an error, not a warning
  RtMidiError::Type type = RtMidiError::UNSPECIFIED;
  std::string text;

  void record(RtMidiError::Type errorType, const std::string& errorText) {
    if (errorType == RtMidiError::WARNING || errorType == RtMidiError::DEBUG_WARNING) return;
    failed = true;
    type = errorType;
    text = errorText;
  }
  static void Callback(RtMidiError::Type errorType, const std::string& errorText, void* log) {
    static_cast<ErrorLog*>(log)->record(errorType, errorText);
  }
};

bool Compiled(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// A client of `api`, or nullptr when its service cannot be reached. RtMidi's
// own choice of API tries ALSA first and gives up when /dev/snd/seq is
// missing, so the API is always named.
std::unique_ptr<RtMidiOut> MakeOut(RtMidi::Api api, ErrorLog& log) {
  RouteLibraryMessages();
  try {
    auto out = std::make_unique<RtMidiOut>(api, kClientName);
    out->setErrorCallback(&ErrorLog::Callback, &log);
    return out;
  } catch (const RtMidiError& error) {
    log.record(error.getType(), error.getMessage());
  } catch (const std::exception& error) {
    log.record(RtMidiError::UNSPECIFIED, error.what());
  }
  return nullptr;
}

std::int32_t CodeFor(RtMidiError::Type type) {
  switch (type) {
    case RtMidiError::MEMORY_ERROR: return rc::kNoMemory;
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE: return rc::kNoDevice;
    default: return rc::kError;
  }
}

// RtMidi's ALSA names end in the sequencer address ("Midi Through:Midi
// Through Port-0 14:0"), which tells the user nothing and changes when a
// device is plugged in again; the menu shows the names without it.
std::string WithoutAlsaAddress(const std::string& name) {
  const std::size_t blank = name.rfind(' ');
  if (blank == std::string::npos) return name;
  const std::string address = name.substr(blank + 1);
  const std::size_t colon = address.find(':');
  const auto digits = [](const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(),
                                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  };
  if (colon == std::string::npos || !digits(address.substr(0, colon)) || !digits(address.substr(colon + 1))) {
    return name;
  }
  return name.substr(0, blank);
}

class RtMidiOutputPort final : public OutputPort {
 public:
  RtMidiOutputPort(std::unique_ptr<ErrorLog> log, std::unique_ptr<RtMidiOut> out)
      : log_(std::move(log)), out_(std::move(out)) {}
  ~RtMidiOutputPort() override {
    try {
      out_.reset();
    } catch (...) {
    }
  }

  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    try {
      out_->sendMessage(bytes, count);
    } catch (...) {
      // A vanished device or server: the message goes nowhere, as promised.
    }
  }

 private:
  std::unique_ptr<ErrorLog> log_;  // outlives out_, which reports into it
  std::unique_ptr<RtMidiOut> out_;
};

class AlsaBackend final : public Backend {
 public:
  std::vector<PortInfo> listPorts() override {
    std::vector<PortInfo> ports;
    if (!AlsaSequencerAvailable()) return ports;
    ErrorLog log;
    try {
      const auto out = MakeOut(RtMidi::LINUX_ALSA, log);
      if (!out) return ports;
      const unsigned count = out->getPortCount();
      for (unsigned i = 0; i < count; ++i) {
        const std::string name = out->getPortName(i);
        if (name.empty()) continue;  // gone while we were listing
        ports.push_back({WithoutAlsaAddress(name), name});
      }
    } catch (...) {
      ports.clear();
    }
    return ports;
  }

  OpenResult openPort(const PortInfo& port) override {
    OpenResult result;
    if (!AlsaSequencerAvailable()) return {nullptr, rc::kNoDevice, "The ALSA sequencer is not available."};
    auto log = std::make_unique<ErrorLog>();
    try {
      auto out = MakeOut(RtMidi::LINUX_ALSA, *log);
      if (!out) return Refused(*log, rc::kNoDevice);  // the service itself is not there
      // RtMidi opens by position, and positions move as other programs come
      // and go: find the port by the name it had when it was listed.
      const unsigned count = out->getPortCount();
      unsigned index = 0;
      while (index < count && out->getPortName(index) != port.address) ++index;
      if (index == count) {
        result.code = rc::kNoDevice;
        result.reason = "The MIDI port " + port.name + " is gone.";
        return result;
      }
      out->openPort(index, kPortName);
      if (log->failed || !out->isPortOpen())
        return Refused(*log, log->failed ? CodeFor(log->type) : rc::kError);
      result.port = std::make_unique<RtMidiOutputPort>(std::move(log), std::move(out));
      result.code = rc::kOk;
    } catch (const std::exception& error) {
      result.code = rc::kError;
      result.reason = error.what();
    }
    return result;
  }

 private:
  static OpenResult Refused(const ErrorLog& log, std::int32_t code) {
    OpenResult result;
    result.code = code;
    result.reason = log.text;
    return result;
  }
};

}  // namespace

bool AlsaSequencerAvailable() {
  // Asked once, and only where the device is there: RtMidi prints its
  // complaint before it can be given an error callback.
  static const bool available = [] {
    if (!Compiled(RtMidi::LINUX_ALSA) || access("/dev/snd/seq", R_OK | W_OK) != 0) return false;
    ErrorLog log;
    return MakeOut(RtMidi::LINUX_ALSA, log) != nullptr && !log.failed;
  }();
  return available;
}

std::unique_ptr<Backend> CreateRtMidiAlsaBackend() {
  if (!Compiled(RtMidi::LINUX_ALSA)) return nullptr;
  return std::make_unique<AlsaBackend>();
}

}  // namespace midi
