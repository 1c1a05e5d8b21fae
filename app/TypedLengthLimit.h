#pragma once

#include <QValidator>

class QLineEdit;

namespace app {

// Limits what the user types into a line edit to `limit` characters while a
// text the program sets is kept whole, however long (QLineEdit::setMaxLength
// would cut that too). Typing in a longer set text may change it but not make
// it longer than it was set; an edit past the limit is refused whole.
class TypedLengthLimit final : public QValidator {
  Q_OBJECT

 public:
  // Installs itself on `box`, which owns it.
  TypedLengthLimit(QLineEdit* box, int limit);

  State validate(QString& input, int& pos) const override;

 private:
  bool setByProgram() const;

  QLineEdit* box_;
  int limit_;
  qsizetype setLength_;  // length of the text the program set last
};

}  // namespace app
