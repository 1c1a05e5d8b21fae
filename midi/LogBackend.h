#pragma once

#include <memory>

#include "midi/Backend.h"

namespace midi {

// A destination that writes every message it is sent to standard error as
// hex bytes. It stands in where no real destination is built in.
std::unique_ptr<Backend> CreateLogBackend();

}  // namespace midi
