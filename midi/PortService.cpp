#include "midi/PortService.h"

#include <algorithm>
#include <array>
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
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::size_t ShortMessageLength(std::uint8_t status) {
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) return 3;
  if (status < 0xE0) return 2;
  switch (status) {
    case 0xF1: case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF0: case 0xF7: return 0;
    default: return 1;
  }
}

std::vector<std::string> ProductNames(const std::vector<std::string>& longNames) {
  std::vector<std::string> names;
  std::set<std::string> taken;
  names.reserve(longNames.size());
  for (const auto& longName : longNames) {
    std::string name = CutCodePoints(longName, kMaxProductName);
    for (int n = 2; taken.count(name) != 0; ++n) {
      const std::string suffix = " #" + std::to_string(n);
      name = CutCodePoints(longName, kMaxProductName - CodePoints(suffix)) + suffix;
    }
    taken.insert(name);
    names.push_back(std::move(name));
  }
  return names;
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
  open_.push_back({handle, id, std::move(result.port)});
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
      o.port->send(bytes.data(), length);
      return;
    }
  }
}

std::int32_t PortService::close(PortHandle handle) {
  const auto it = std::find_if(open_.begin(), open_.end(),
                               [handle](const Open& o) { return o.handle == handle; });
  if (it == open_.end()) return rc::kInvalidHandle;
  open_.erase(it);
  return rc::kOk;
}

}  // namespace midi
