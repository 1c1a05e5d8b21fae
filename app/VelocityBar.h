#pragma once

#include <QScrollBar>

namespace app {

// The velocity bar `vol`: 127 (loudest) at its top, 0 at its bottom, and every
// step 1, page steps included. The toolkit takes no range that runs from 127
// down to 0, so the bar keeps 0..127 and is drawn upside down; its keys then
// follow the picture: Up and the wheel turned away from the user go towards
// 127, Home to the top, End to the bottom.
class VelocityBar final : public QScrollBar {
  Q_OBJECT

 public:
  explicit VelocityBar(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace app
