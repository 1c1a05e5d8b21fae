#include "app/SwitchButton.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "app/Layout.h"

namespace app {

SwitchButton::SwitchButton(std::int16_t index, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), index_(index) {
  setCheckable(true);
  setAutoDefault(false);
}

void SwitchButton::setOn(bool on) {
  on_ = on;
  setChecked(on);
}

void SwitchButton::checkStateSet() {
  if (isChecked() != on_) setChecked(on_);
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

// Only the check state shows: the toolkit's own "down" state (Space held, a
// left press) would look like a playing switch that sends nothing.
void SwitchButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool sunken = isChecked();
  const QPalette& colours = palette();
  const QBrush face = sunken ? QBrush(QColor(kSwitchFaceHeld)) : colours.brush(QPalette::Button);
  // Sunken like a panel, so its grey outer edge shows on the black surface
  // where a sunken button's black one would vanish.
  if (sunken) {
    qDrawWinPanel(&painter, rect(), colours, true, &face);
  } else {
    qDrawWinButton(&painter, rect(), colours, false, &face);
  }
  QRect inner = rect().adjusted(2, 2, -2, -2);
  if (sunken) inner.translate(1, 1);
  painter.setPen(colours.color(QPalette::ButtonText));
  painter.setFont(font());
  // The caption's ink, not its line, is centred: the fonts are taller than the
  // button, and a centred line would cut off the tail that tells "," from ".".
  const QRect ink = QFontMetrics(font()).tightBoundingRect(text());
  painter.drawText(inner.center() - ink.center(), text());
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = inner.adjusted(1, 1, -1, -1);
    focus.backgroundColor = face.color();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

}  // namespace app
