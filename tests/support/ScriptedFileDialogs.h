#pragma once

#include <QStringList>

#include "app/FileDialogs.h"

namespace testing_support {

// File dialogs that answer at once with the names queued in them, then with no name.
class ScriptedFileDialogs final : public app::FileDialogs {
 public:
  QStringList answers;
  QString openName(QWidget*) override { return answers.isEmpty() ? QString() : answers.takeFirst(); }
  QString saveName(QWidget* parent) override { return openName(parent); }
};

}  // namespace testing_support
