#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <vector>

#include "engine/Panel.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollBar;

namespace midi {
class MidiOut;
}

namespace app {

class FileDialogs;
class MessageBoxes;
class SwitchButton;
class VelocityBar;
struct SwitchCell;

// Who made the panel, as the About box tells it.
inline constexpr char kCredit[] = "The Quorvane team (team@quorvane.example) - https://www.quorvane.example";

// The panel's one window. It builds its controls from the layout tables,
// routes their events to the panel's handlers and shows what the panel tells it.
class Form1 final : public QMainWindow, private engine::PanelView {
  Q_OBJECT

 public:
  // Builds the window and runs start-up; the window is not shown yet.
  Form1(midi::MidiOut& midi, MessageBoxes& messages, FileDialogs& dialogs, QWidget* parent = nullptr);
  ~Form1() override;

  engine::Panel& panel() { return panel_; }
  SwitchButton* key(std::int16_t index) const;
  QLineEdit* text(int box) const;  // Text1 .. Text36
  QLabel* lcd(int line) const;     // LblLCD1 .. LblLCD3
  QScrollBar* vol() const;
  const std::vector<QAction*>& device() const { return device_; }
  const std::vector<QAction*>& chan() const { return chan_; }

  // Loads the labels file `name` as "Load Labels from file" does once a file
  // is chosen: a file that is refused is reported and changes no label.
  void loadLabelsFrom(const QString& name);

  // Where the platform sends no release while a key is held, a release the
  // toolkit calls repeated is a real one followed at once by a new press.
  void setReleasesAreReal(bool real) { releasesAreReal_ = real; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  SwitchButton* makeSwitch(const SwitchCell& cell, QWidget* client);
  void makeVelocityBar(QWidget* client);
  void setFocusOrder(QWidget* client);
  void buildMenus();
  void describeControls();
  void Form_Unload();
  void LBLload_Click();
  void LBLSave_Click();
  void LoadLabels();
  void SaveLabels();
  void about_Click();
  // Every message box of the window: it takes the keyboard until it is
  // closed, so switches held now are released first.
  void message(const QString& text, const QString& details);

  // engine::PanelView
  void setSwitchChecked(std::int16_t index, bool checked) override;
  void setDeviceEntry(int menuIndex, const std::string& caption) override;
  void hideDeviceEntriesFrom(int menuIndex) override;
  void setDeviceChecked(int menuIndex, bool checked) override;
  void setChannelChecked(int menuIndex, bool checked) override;
  void setVelocityBar(int value) override;
  void showStatusLines(const input::StatusDisplay& display) override;
  std::string labelText(int box) const override;
  bool labelsEnabled() const override;
  void setLabelsEnabled(bool enabled) override;
  void showMessage(const std::string& text, const std::string& details) override;

  MessageBoxes& messages_;
  FileDialogs& dialogs_;
  engine::Panel panel_;
  std::map<std::int16_t, SwitchButton*> keys_;
  std::vector<QLineEdit*> texts_;  // [0] is Text1
  std::vector<QLabel*> lcds_;      // [0] is LblLCD1
  VelocityBar* vol_ = nullptr;
  QMenu* deviceMenu_ = nullptr;
  std::vector<QAction*> device_;
  std::vector<QAction*> chan_;
  bool unloaded_ = false;
  bool releasesAreReal_ = false;
};

}  // namespace app
