#pragma once

#include <QString>

class QWidget;

namespace app {

// Every message box the window shows goes through here, so tests can answer
// them without blocking.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // An application-modal box with `text`, an OK button and no icon; `details`
  // (may be empty) is shown as its informative text. Returns when it is closed.
  virtual void show(QWidget* parent, const QString& text, const QString& details) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
 public:
  void show(QWidget* parent, const QString& text, const QString& details) override;
};

}  // namespace app
