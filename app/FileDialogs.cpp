#include "app/FileDialogs.h"

#include <QFileDialog>

namespace app {

QString QtFileDialogs::openName(QWidget* parent) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), QStringLiteral("*.lbl"));
}

QString QtFileDialogs::saveName(QWidget* parent) {
  return QFileDialog::getSaveFileName(parent, QString(), QString(), QStringLiteral("*.lbl"));
}

}  // namespace app
