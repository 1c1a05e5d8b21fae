#pragma once

#include <QLineEdit>

namespace app {

// A label box: a one-line text box without a frame, whose text runs from its
// left edge to its right, so that nine characters of its fixed-pitch font fit
// whole in the 65 pixels it has. Whenever it is not being edited it shows the
// start of its label: after the program sets a text, and once the focus
// leaves it. While it has the focus it scrolls as any text box does.
class LabelBox final : public QLineEdit {
  Q_OBJECT

 public:
  explicit LabelBox(QWidget* parent);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace app
