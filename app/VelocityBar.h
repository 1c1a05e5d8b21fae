#pragma once

#include <QScrollBar>

namespace app {

// The velocity bar `vol`: 127 (loudest) at its top, 0 at its bottom. The
// toolkit takes no range that runs from 127 down to 0, so the bar keeps 0..127
// and is drawn upside down; Up and the wheel turned away from the user still
// go towards 127.
class VelocityBar final : public QScrollBar {
  Q_OBJECT

 public:
  explicit VelocityBar(QWidget* parent);
};

}  // namespace app
