#include "app/MessageBoxes.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace app {

void QtMessageBoxes::show(QWidget* parent, const QString& text, const QString& details) {
  // The title is the application's own, as for every message box of the program.
  QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                  parent);
  box.setWindowModality(Qt::ApplicationModal);
  if (!details.isEmpty()) box.setInformativeText(details);
  box.exec();
}

}  // namespace app
