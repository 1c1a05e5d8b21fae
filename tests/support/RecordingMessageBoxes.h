#pragma once

#include <QStringList>

#include "app/MessageBoxes.h"

namespace testing_support {

// Message boxes that return at once and remember what they said.
class RecordingMessageBoxes final : public app::MessageBoxes {
 public:
  QStringList texts, details;
  void show(QWidget*, const QString& text, const QString& more) override { texts << text, details << more; }
};

}  // namespace testing_support
