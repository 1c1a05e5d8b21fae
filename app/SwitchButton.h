#pragma once

#include <QPushButton>

namespace app {

// A switch: a two-state button drawn as a push button, pressed while checked.
// Only the panel changes its check state; the button's own toggling (click,
// Space) is suppressed, and every mouse button reports press and release.
class SwitchButton final : public QPushButton {
  Q_OBJECT

 public:
  SwitchButton(std::int16_t index, const QString& caption, QWidget* parent);
  std::int16_t index() const { return index_; }

 signals:
  void pressed(std::int16_t index, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF pos);
  void released(std::int16_t index, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPointF pos);

 protected:
  void nextCheckState() override {}
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  std::int16_t index_;
};

}  // namespace app
