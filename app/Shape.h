#pragma once

#include <QWidget>

namespace app {

// An outline frame drawn on the window's surface: a one-pixel rectangle in
// the palette's Base colour (the window-background colour of the standard
// scheme, white), transparent inside and to the mouse.
class Shape final : public QWidget {
  Q_OBJECT

 public:
  explicit Shape(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace app
