#pragma once

#include <QStringList>

#include "app/FileDialogs.h"

namespace testing_support {

// File dialogs that answer at once with the names queued in them (an empty
// name once the queue is empty), and count how often each form was shown.
class ScriptedFileDialogs final : public app::FileDialogs {
 public:
  QStringList openAnswers;
  QStringList saveAnswers;
  int opens = 0;
  int saves = 0;
  QString openName(QWidget*) override {
    ++opens;
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
  }
  QString saveName(QWidget*) override {
    ++saves;
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
  }
};

}  // namespace testing_support
