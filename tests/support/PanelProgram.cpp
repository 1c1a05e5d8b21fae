#include "tests/support/PanelProgram.h"

#include <thread>

namespace testing_support {
namespace {

// Where the menu titles sit on the menu bar, from the window's left edge, at
// the menu bar's vertical middle. Wide enough targets for any font in use.
constexpr int kMenuTitleX[] = {40, 118, 177};
constexpr int kMenuBarMiddle = 10;

void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

}  // namespace

PanelProgram::PanelProgram(const std::string& program, const std::string& log)
    : process_(std::make_unique<ChildProcess>(std::vector<std::string>{program}, std::vector<std::string>{}, log)) {
  if (!input_.ok()) return;
  const unsigned long window = input_.findWindow("Zelmora! Switches Module", std::chrono::seconds(15));
  if (window == 0) return;
  input_.focus(window);
  Settle();
  window_ = window;
}

PanelProgram::~PanelProgram() { process_->stop(); }

bool PanelProgram::openMenu(int menu) {
  int x = 0, y = 0;
  input_.origin(window_, x, y);
  input_.click(x + kMenuTitleX[menu], y + kMenuBarMiddle);
  return input_.waitForPopup(true, std::chrono::seconds(5));
}

bool PanelProgram::closeMenu() {
  const unsigned escape = input_.keycode("Escape");
  input_.key(escape, true);
  input_.key(escape, false);
  const bool closed = input_.waitForPopup(false, std::chrono::seconds(5));
  input_.focus(window_);
  Settle();
  return closed;
}

void PanelProgram::pick(int menu, int entry) {
  if (!openMenu(menu)) return;
  const unsigned down = input_.keycode("Down"), enter = input_.keycode("Return");
  for (int i = 0; i <= entry; ++i) {
    input_.key(down, true);
    input_.key(down, false);
  }
  input_.key(enter, true);
  input_.key(enter, false);
  input_.waitForPopup(false, std::chrono::seconds(5));
  input_.focus(window_);
  Settle();
}

}  // namespace testing_support
