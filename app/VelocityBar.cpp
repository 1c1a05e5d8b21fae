#include "app/VelocityBar.h"

namespace app {

VelocityBar::VelocityBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  // A scroll bar takes no focus by default; this one is reached with Tab.
  setFocusPolicy(Qt::StrongFocus);
  setRange(0, 127);
  setSingleStep(1);
  setInvertedAppearance(true);
  // A vertical scroll bar inverts its keys and wheel by default, so that Down
  // moves the thumb down. Drawn upside down, that must be undone.
  setInvertedControls(false);
}

}  // namespace app
