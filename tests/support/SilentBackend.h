#pragma once

#include "midi/Backend.h"

namespace testing_support {

// A default destination for tests and benchmarks that do not play it: it
// opens and takes everything silently.
class SilentBackend final : public midi::Backend {
  struct Port final : midi::OutputPort {
    void send(const std::uint8_t*, std::size_t) noexcept override {}
  };

 public:
  std::vector<midi::PortInfo> listPorts() override { return {}; }
  midi::OpenResult openPort(const midi::PortInfo&) override {
    return {std::make_unique<Port>(), midi::rc::kOk, {}};
  }
};

}  // namespace testing_support
