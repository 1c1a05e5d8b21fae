#include "app/VelocityBar.h"

#include <QKeyEvent>

namespace app {

VelocityBar::VelocityBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  // A scroll bar takes no focus by default; this one is reached with Tab.
  setFocusPolicy(Qt::StrongFocus);
  setRange(0, 127);
  setSingleStep(1);
  setPageStep(1);
  setInvertedAppearance(true);
  // A vertical scroll bar inverts its keys and wheel by default, so that Down
  // moves the thumb down. Drawn upside down, that must be undone.
  setInvertedControls(false);
  // Its menu's "Top" and "Bottom" name the range's ends, which are the other
  // way round here.
  setContextMenuPolicy(Qt::PreventContextMenu);
  // A screen reader says the name and reads the value, which is the velocity.
  setAccessibleName(QStringLiteral("Velocity"));
}

// The toolkit sends Home to the minimum and End to the maximum whatever the
// picture; on a scroll bar Home means the top.
void VelocityBar::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Home) {
    triggerAction(SliderToMaximum);
  } else if (event->key() == Qt::Key_End) {
    triggerAction(SliderToMinimum);
  } else {
    QScrollBar::keyPressEvent(event);
  }
}

}  // namespace app
