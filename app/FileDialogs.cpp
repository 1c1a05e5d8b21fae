#include "app/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace app {
namespace {

const QString kLabelsFilter = QStringLiteral("Labels files (*.lbl)");

}  // namespace

QString QtFileDialogs::openName(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  // Older labels files were not always named *.lbl.
  dialog.setNameFilters({kLabelsFilter, QStringLiteral("All files (*)")});
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

QString QtFileDialogs::saveName(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({kLabelsFilter});
  // The toolkit's own dialog appends it before it asks about replacing.
  dialog.setDefaultSuffix(QStringLiteral("lbl"));
  if (dialog.exec() != QDialog::Accepted) return {};
  const QString chosen = dialog.selectedFiles().value(0);
  return chosen.isEmpty() ? QString() : WithLabelsExtension(chosen, parent);
}

QString WithLabelsExtension(const QString& chosen, QWidget* parent) {
  const QFileInfo info(chosen);
  if (!info.suffix().isEmpty()) return chosen;
  const QString name = chosen + (chosen.endsWith(u'.') ? QStringLiteral("lbl") : QStringLiteral(".lbl"));
  if (!QFileInfo::exists(name)) return name;
  const auto answer = QMessageBox::question(
      parent, QString(),
      QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(name).fileName()),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  return answer == QMessageBox::Yes ? name : QString();
}

}  // namespace app
