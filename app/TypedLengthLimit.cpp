#include "app/TypedLengthLimit.h"

#include <QLineEdit>
#include <algorithm>

namespace app {

TypedLengthLimit::TypedLengthLimit(QLineEdit* box, int limit)
    : QValidator(box), box_(box), limit_(limit), setLength_(box->text().size()) {
  connect(box, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (setByProgram()) setLength_ = text.size();
  });
  box->setValidator(this);
}

// setText clears the undo history before it validates, while a typed, pasted
// or dropped change is already on it when it is validated.
bool TypedLengthLimit::setByProgram() const { return !box_->isUndoAvailable(); }

QValidator::State TypedLengthLimit::validate(QString& input, int&) const {
  if (input.size() <= std::max<qsizetype>(limit_, setLength_) || setByProgram()) return Acceptable;
  // The line edit undoes a refused edit. Every text on its undo history has
  // passed this test, so undo and redo are never refused.
  return Invalid;
}

}  // namespace app
