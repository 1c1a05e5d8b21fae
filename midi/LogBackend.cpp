#include "midi/LogBackend.h"

#include <cstdio>

namespace midi {
namespace {

class LogPort final : public OutputPort {
 public:
  void send(const std::uint8_t* bytes, std::size_t count) noexcept override {
    for (std::size_t i = 0; i < count; ++i) std::fprintf(stderr, "%02X ", bytes[i]);
    std::fputc('\n', stderr);
  }
};

class LogBackend final : public Backend {
 public:
  std::vector<PortInfo> listPorts() override { return {{"Message log", "log"}}; }
  OpenResult openPort(const PortInfo&) override { return {std::make_unique<LogPort>(), rc::kOk, {}}; }
};

}  // namespace

std::unique_ptr<Backend> CreateLogBackend() { return std::make_unique<LogBackend>(); }

}  // namespace midi
