#pragma once

#include <QPushButton>

namespace app {

// A switch: a two-state button drawn as a push button, pressed while checked.
// Only the panel changes its check state; the button's own toggling (click,
// Space) is suppressed, and every mouse button reports press and release.
// It draws itself as a classic button, raised in its palette's Button colour
// or sunken in the darker held colour, so its face keeps that colour whatever
// the style (Fusion paints a gradient of its own over it).
class SwitchButton final : public QPushButton {
  Q_OBJECT

 public:
  SwitchButton(std::int16_t index, const QString& caption, QWidget* parent);
  std::int16_t index() const { return index_; }
  // The panel's word on the check state; nothing else changes it.
  void setOn(bool on);

 signals:
  void pressed(std::int16_t index, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF pos);
  void released(std::int16_t index, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF pos);

 protected:
  void nextCheckState() override {}
  // setChecked and toggle() (a screen reader's "toggle" action calls it) are
  // put back to the panel's state at once.
  void checkStateSet() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int16_t index_;
  bool on_ = false;
};

}  // namespace app
