#pragma once

#include <QStringList>

#include "app/FileDialogs.h"
#include "app/MessageBoxes.h"

namespace testing_support {

// Message boxes that return at once and remember what they said.
class RecordingMessageBoxes final : public app::MessageBoxes {
 public:
  QStringList texts, details;
  void show(QWidget*, const QString& text, const QString& more) override { texts << text, details << more; }
};

// File dialogs that answer at once with the names queued in them, then with no name.
class ScriptedFileDialogs final : public app::FileDialogs {
 public:
  QStringList answers;
  QString openName(QWidget*) override { return answers.isEmpty() ? QString() : answers.takeFirst(); }
  QString saveName(QWidget* parent) override { return openName(parent); }
};

}  // namespace testing_support
