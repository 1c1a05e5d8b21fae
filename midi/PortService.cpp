#include "midi/PortService.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <utility>

namespace midi {
namespace {

// Cuts a UTF-8 string after `max` code points, never inside one.
std::string CutCodePoints(const std::string& text, std::size_t max) {
  std::size_t points = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) {
      if (points == max) return text.substr(0, i);
      ++points;
    }
  }
  return text;
}

std::size_t CodePoints(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// The last `max` code points of a UTF-8 string. With `wholeWords`, it starts
// after a blank or colon where that keeps at least half of them.
std::string TailCodePoints(const std::string& text, std::size_t max, bool wholeWords) {
  const std::size_t points = CodePoints(text);
  if (points <= max) return text;
  std::size_t skip = points - max;
  std::size_t start = 0;
  for (; start < text.size(); ++start) {
    if ((static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) continue;
    if (skip == 0) break;
    --skip;
  }
  std::string tail = text.substr(start);
  const std::size_t boundary = tail.find_first_of(" :");
  if (wholeWords && boundary != std::string::npos) {
    const std::size_t word = tail.find_first_not_of(" :", boundary);
    if (word != std::string::npos && CodePoints(tail.substr(word)) * 2 >= max) tail = tail.substr(word);
  }
  return tail;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
         });
}

// The id of an open port that the last listing did not find.
constexpr std::int32_t kNotListed = -2;

constexpr const char* kEllipsis = "\u2026";
// Of a long client name at least this much stays, ellipsis included.
constexpr std::size_t kMinClient = 8;

std::string TrimSeparatorsAtEnd(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '-' || text.back() == '_')) text.pop_back();
  return text;
}

// `text` cut to `max` code points, marked with an ellipsis when cut: its
// beginning only, or, with `keepEnd`, its beginning and its end, where JACK
// puts the "-01" that tells two clients of one program apart.
std::string Abbreviate(const std::string& text, std::size_t max, bool keepEnd) {
  if (CodePoints(text) <= max) return text;
  const std::size_t tail = keepEnd ? (max - 1) / 2 : 0;
  return TrimSeparatorsAtEnd(CutCodePoints(text, max - 1 - tail)) + kEllipsis +
         (tail > 0 ? TailCodePoints(text, tail, false) : std::string());
}

// A name of at most `max` code points for a back-end's long name. Names of
// the form "client:port" (JACK, ALSA) keep what tells ports apart: the port
// whole where it fits, else its end, and as much of the client as is left.
std::string Shorten(const std::string& name, std::size_t max) {
  if (CodePoints(name) <= max) return name;
  const std::size_t colon = name.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= name.size()) return CutCodePoints(name, max);
  const std::string client = name.substr(0, colon);
  const std::string port = name.substr(std::min(name.find_first_not_of(' ', colon + 1), name.size()));
  // "Midi Through:Midi Through Port-0": the port says it all.
  if (StartsWithIgnoringCase(port, client)) {
    return CodePoints(port) <= max ? port : kEllipsis + TailCodePoints(port, max - 1, true);
  }
  const std::size_t portPoints = CodePoints(port);
  if (portPoints + 1 + kMinClient <= max) return Abbreviate(client, max - 1 - portPoints, true) + ":" + port;
  const std::string clientPart = Abbreviate(client, kMinClient, false);
  return clientPart + ":" + kEllipsis + TailCodePoints(port, max - CodePoints(clientPart) - 2, true);
}

}  // namespace

std::size_t ShortMessageLength(std::uint8_t status) {
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) return 3;
  if (status < 0xE0) return 2;
  switch (status) {
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF0:
    case 0xF7: return 0;
    default: return 1;
  }
}

std::vector<std::string> ProductNames(const std::vector<std::string>& longNames) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  names.reserve(longNames.size());
  for (const auto& longName : longNames) {
    std::string name = Shorten(longName, kMaxProductName);
    for (int n = 2; taken.count(name) != 0; ++n) {
      const std::string suffix = " #" + std::to_string(n);
      name = Shorten(longName, kMaxProductName - CodePoints(suffix)) + suffix;
    }
    taken.insert(name);
    names.push_back(std::move(name));
  }
  return names;
}

bool IsAlsaBridgePort(const std::string& fullName) {
  for (const char* prefix : {"a2j:", "system:midi_playback_", "Midi-Bridge:"}) {
    if (fullName.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

PortService::PortService(std::unique_ptr<Backend> defaultDestination,
                         std::vector<std::unique_ptr<Backend>> portBackends)
    : defaultDestination_(std::move(defaultDestination)), portBackends_(std::move(portBackends)) {}

PortService::~PortService() {
  // Ports close before the back-ends that made them go.
  open_.clear();
}

std::int32_t PortService::deviceCount() {
  listed_.clear();
  std::vector<std::string> longNames;
  for (auto& backend : portBackends_) {
    for (auto& info : backend->listPorts()) {
      longNames.push_back(info.name);
      listed_.push_back({backend.get(), std::move(info), {}});
    }
  }
  const auto names = ProductNames(longNames);
  for (std::size_t i = 0; i < listed_.size(); ++i) listed_[i].productName = names[i];
  // An open port keeps its place by its address; one no longer listed has none.
  for (auto& o : open_) {
    if (o.id == kDefaultDevice) continue;
    const auto it = std::find_if(listed_.begin(), listed_.end(), [&o](const Listed& l) {
      return l.backend == o.backend && l.info.address == o.info.address;
    });
    o.id = it == listed_.end() ? kNotListed : static_cast<std::int32_t>(it - listed_.begin());
  }
  return static_cast<std::int32_t>(listed_.size());
}

std::string PortService::productName(std::int32_t id) {
  if (id < 0 || static_cast<std::size_t>(id) >= listed_.size()) return {};
  return listed_[static_cast<std::size_t>(id)].productName;
}

std::int32_t PortService::open(std::int32_t id, PortHandle& handle) {
  lastError_.clear();
  Backend* backend = nullptr;
  PortInfo info;
  if (id == kDefaultDevice) {
    backend = defaultDestination_.get();
    info.name = "MIDI Mapper";
  } else if (id >= 0 && static_cast<std::size_t>(id) < listed_.size()) {
    backend = listed_[static_cast<std::size_t>(id)].backend;
    info = listed_[static_cast<std::size_t>(id)].info;
  }
  if (backend == nullptr) {
    lastError_ = "There is no MIDI output with this number.";
    return rc::kBadDeviceId;
  }
  if (std::any_of(open_.begin(), open_.end(), [id](const Open& o) { return o.id == id; })) {
    lastError_ = "This MIDI output is already open.";
    return rc::kAllocated;
  }
  OpenResult result = backend->openPort(info);
  if (result.code != rc::kOk || !result.port) {
    lastError_ = std::move(result.reason);
    return result.code != rc::kOk ? result.code : rc::kError;
  }
  handle = nextHandle_++;
  if (nextHandle_ <= 0) nextHandle_ = 1;
  open_.push_back({handle, id, std::move(result.port), backend, std::move(info)});
  return rc::kOk;
}

void PortService::send(PortHandle handle, std::uint32_t message) {
  const std::array<std::uint8_t, 3> bytes = {static_cast<std::uint8_t>(message),
                                             static_cast<std::uint8_t>(message >> 8),
                                             static_cast<std::uint8_t>(message >> 16)};
  const std::size_t length = ShortMessageLength(bytes[0]);
  if (length == 0) return;
  for (auto& o : open_) {
    if (o.handle == handle) {
      if (o.port) o.port->send(bytes.data(), length);
      return;
    }
  }
}

std::vector<std::string> PortService::poll() {
  using Health = OutputPort::Health;
  std::vector<std::string> news;
  const auto say = [&news](std::string line) {
    if (std::find(news.begin(), news.end(), line) == news.end()) news.push_back(std::move(line));
  };
  for (auto& o : open_) {
    Health now = o.port ? o.port->check() : Health::kServerGone;
    if (now == Health::kServerGone) {
      if (o.health != Health::kServerGone) say("The JACK server has stopped.");
      o.health = now;
      // The old port goes first: it holds the names a new one takes.
      o.port.reset();
      OpenResult result = o.backend->reopenPort(o.info);
      if (result.code == rc::kOk && result.port) {
        o.port = std::move(result.port);
        now = o.port->check();
      }
    }
    if (now == o.health) continue;
    if (o.health == Health::kServerGone) say("Playing again on " + o.info.name + ".");
    if (now == Health::kReceiverGone) say(o.info.name + " has gone.");
    if (now == Health::kPlaying && o.health == Health::kReceiverGone) say(o.info.name + " is back.");
    if (now == Health::kNoSpeakers)
      say("No playback ports on the JACK server: the synthesizer cannot be heard.");
    if (now == Health::kPlaying && o.health == Health::kNoSpeakers)
      say("Playback ports found: the synthesizer plays through them.");
    o.health = now;
  }
  return news;
}

std::int32_t PortService::close(PortHandle handle) {
  const auto it =
      std::find_if(open_.begin(), open_.end(), [handle](const Open& o) { return o.handle == handle; });
  if (it == open_.end()) return rc::kInvalidHandle;
  open_.erase(it);
  return rc::kOk;
}

}  // namespace midi
