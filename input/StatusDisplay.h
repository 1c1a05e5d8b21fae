#pragma once

#include <array>
#include <string>

namespace input {

// The three-line status history. Line 1 is the newest (shown at the bottom),
// line 3 the oldest; a text that scrolls off line 3 is gone.
class StatusDisplay {
 public:
  // Puts `text` on line 1. Scrolls the older lines up only when `text` differs
  // from what line 1 shows now (exact, case-sensitive). Returns whether it scrolled.
  bool show(const std::string& text);

  // Writes line 1 directly, without scrolling (start-up's "Initialized...").
  void setLine1(const std::string& text) { lines_[0] = text; }

  // line(1) is the newest, line(3) the oldest.
  const std::string& line(int number) const { return lines_[static_cast<std::size_t>(number - 1)]; }

 private:
  std::array<std::string, 3> lines_;
};

}  // namespace input
