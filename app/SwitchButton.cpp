#include "app/SwitchButton.h"

#include <QMouseEvent>

namespace app {

SwitchButton::SwitchButton(std::int16_t index, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), index_(index) {
  setCheckable(true);
  setAutoDefault(false);
}

// QPushButton reacts to the left button only and would toggle on release; the
// panel wants press and release of every button and nothing else.
void SwitchButton::mousePressEvent(QMouseEvent* event) {
  event->accept();
  emit pressed(index_, event->button(), event->modifiers(), event->position());
}

void SwitchButton::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  emit released(index_, event->button(), event->modifiers(), event->position());
}

// A second quick press arrives as a double click; it is a press all the same.
void SwitchButton::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

}  // namespace app
