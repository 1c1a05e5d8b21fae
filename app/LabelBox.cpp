#include "app/LabelBox.h"

#include <QFocusEvent>

#include "switch_labels/LabelsCodec.h"

namespace app {

// QLineEdit keeps a margin of 2 pixels between its contents and its text on
// either side, and has no setting for it: negative text margins take it back.
// Nine characters of the box's font are 63 to 65 pixels wide, depending on
// hinting; the box is 65.
constexpr int kToolkitTextInset = 2;

LabelBox::LabelBox(QWidget* parent) : QLineEdit(parent) {
  // The toolkit's own limit, named: the labels file reader refuses a longer
  // label rather than have the box cut it.
  setMaxLength(static_cast<int>(switch_labels::kMaxLabelLength));
  setFrame(false);
  setTextMargins(-kToolkitTextInset, 0, -kToolkitTextInset, 0);
  // setText leaves the cursor at the end, and the box scrolls to show it: a
  // label as wide as the box would lose its first character.
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (!hasFocus()) setCursorPosition(0);
  });
}

void LabelBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  // A context menu or another window takes the focus for a while only: the
  // user is still editing and finds the cursor where it was.
  if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
    setCursorPosition(0);
  }
}

}  // namespace app
