#pragma once

#include <QString>

class QWidget;

namespace app {

// The window's file dialog, in its open and save forms. Each returns when the
// user closes the dialog, with the chosen file's name, or an empty name when
// nothing was chosen. Tests answer through their own implementation.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  virtual QString openName(QWidget* parent) = 0;
  virtual QString saveName(QWidget* parent) = 0;
};

}  // namespace app

namespace app {

// The platform's own file dialogs.
class QtFileDialogs final : public FileDialogs {
 public:
  QString openName(QWidget* parent) override;
  QString saveName(QWidget* parent) override;
};

}  // namespace app
