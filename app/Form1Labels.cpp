// The labels file commands of the window.
#include <QFile>
#include <QLineEdit>

#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "switch_labels/LabelsFile.h"

namespace app {
namespace {

std::filesystem::path PathOf(const QString& name) {
  return std::filesystem::path(QFile::encodeName(name).toStdString());
}

}  // namespace

void Form1::LBLload_Click() { LoadLabels(); }

void Form1::LBLSave_Click() { SaveLabels(); }

void Form1::LoadLabels() {
  panel_.releaseAll();  // the dialog takes the keyboard: held keys would never come up
  const QString name = dialogs_.openName(this);
  if (!name.isEmpty()) loadLabelsFrom(name);
}

void Form1::loadLabelsFrom(const QString& name) {
  const switch_labels::DecodeResult result =
      switch_labels::ReadLabelsFile(PathOf(name), panel_.state().headerWord);
  if (!result) {
    message(QString::fromStdString(switch_labels::Message(result.error)),
            QString::fromStdString(result.detail));
    return;
  }
  // Every field is read by now: a file that fails leaves all labels as they were.
  for (int box = 1; box <= static_cast<int>(switch_labels::kLabelCount); ++box) {
    text(box)->setText(QString::fromStdString(result.labels[static_cast<std::size_t>(box - 1)]));
  }
}

void Form1::SaveLabels() {
  panel_.releaseAll();
  const QString name = dialogs_.saveName(this);
  if (name.isEmpty()) return;

  switch_labels::Labels labels;
  for (int box = 1; box <= static_cast<int>(switch_labels::kLabelCount); ++box) {
    labels[static_cast<std::size_t>(box - 1)] = text(box)->text().toStdString();
  }
  const switch_labels::WriteResult result = switch_labels::WriteLabelsFile(PathOf(name), labels);
  if (!result) {
    message(QString::fromStdString(switch_labels::Message(result.error)),
            QString::fromStdString(result.detail));
  }
}

}  // namespace app
