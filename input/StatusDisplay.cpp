#include "input/StatusDisplay.h"

namespace input {

bool StatusDisplay::show(const std::string& text) {
  if (text == lines_[0]) return false;
  lines_[2] = std::move(lines_[1]);
  lines_[1] = std::move(lines_[0]);
  lines_[0] = text;
  return true;
}

}  // namespace input
