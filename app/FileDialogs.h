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

// The platform's own file dialogs. Both offer "*.lbl" files; the save form
// gives a name without an extension ".lbl" and asks before a file is replaced.
class QtFileDialogs final : public FileDialogs {
 public:
  QString openName(QWidget* parent) override;
  QString saveName(QWidget* parent) override;
};

// `chosen` with ".lbl" appended when it has no extension. When the appended
// name is that of an existing file, asks the user whether to replace it, as
// the dialog did for the name it saw; returns an empty name when the user
// says no. For dialogs that ignore the default extension (some native ones).
QString WithLabelsExtension(const QString& chosen, QWidget* parent);

}  // namespace app
