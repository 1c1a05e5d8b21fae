#include "app/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>

#include "app/KeyCode.h"
#include "app/Layout.h"
#include "app/MessageBoxes.h"
#include "app/SwitchButton.h"

namespace app {

Form1::Form1(midi::MidiOut& midi, MessageBoxes& messages, FileDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), messages_(messages), dialogs_(dialogs), panel_(midi, *this) {
  setWindowTitle(QStringLiteral("Zelmora! Switches Module"));
  buildControls();
  buildMenus();
  qApp->installEventFilter(this);
  panel_.Form_Load();
}

Form1::~Form1() {
  qApp->removeEventFilter(this);
  Form_Unload();
}

void Form1::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setAutoFillBackground(true);
  QPalette black = client->palette();
  black.setColor(QPalette::Window, Qt::black);
  client->setPalette(black);
  setCentralWidget(client);

  for (int line = 3; line >= 1; --line) {
    auto* lcd = new QLabel(client);
    lcd->setObjectName(QStringLiteral("LblLCD%1").arg(line));
    lcd->setGeometry(kStatusLineRects[static_cast<std::size_t>(line - 1)]);
    lcd->setAutoFillBackground(true);
    static constexpr int kGreens[] = {255, 192, 128};
    QPalette palette = lcd->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, QColor(0, kGreens[line - 1], 0));
    lcd->setPalette(palette);
    lcds_.insert(lcds_.begin(), lcd);
  }

  texts_.resize(36);
  for (const auto& cell : kSwitchGrid) {
    auto* button = new SwitchButton(cell.index, QString::fromUtf8(cell.caption.data(),
                                                                  static_cast<int>(cell.caption.size())),
                                    client);
    button->setObjectName(QStringLiteral("key%1").arg(cell.index));
    button->setGeometry(SwitchRect(cell));
    connect(button, &SwitchButton::pressed, this,
            [this](std::int16_t index, Qt::MouseButton b, Qt::KeyboardModifiers s, QPointF p) {
              panel_.key_MouseDown(index, b, static_cast<int>(s), static_cast<float>(p.x()),
                                   static_cast<float>(p.y()));
            });
    connect(button, &SwitchButton::released, this,
            [this](std::int16_t index, Qt::MouseButton b, Qt::KeyboardModifiers s, QPointF p) {
              panel_.key_MouseUp(index, b, static_cast<int>(s), static_cast<float>(p.x()),
                                 static_cast<float>(p.y()));
            });
    keys_[cell.index] = button;

    auto* box = new QLineEdit(QString::fromUtf8(cell.initialLabel.data(),
                                                static_cast<int>(cell.initialLabel.size())),
                              client);
    box->setObjectName(QStringLiteral("Text%1").arg(cell.labelBox));
    box->setGeometry(LabelBoxRect(cell));
    box->setEnabled(false);
    texts_[static_cast<std::size_t>(cell.labelBox - 1)] = box;
  }

  vol_ = new QScrollBar(Qt::Vertical, client);
  vol_->setObjectName(QStringLiteral("vol"));
  vol_->setGeometry(kVolRect);
  // A range of 127 down to 0 is not a valid range for the toolkit: keep 0..127
  // and turn the bar upside down, so the top end is 127.
  vol_->setRange(0, 127);
  vol_->setInvertedAppearance(true);
  vol_->setInvertedControls(true);
  vol_->setSingleStep(1);
  connect(vol_, &QScrollBar::valueChanged, this, [this](int value) { panel_.vol_Change(value); });
}

void Form1::buildMenus() {
  deviceMenu_ = menuBar()->addMenu(QStringLiteral("Midi Device"));
  deviceMenu_->setObjectName(QStringLiteral("midi_devices"));
  for (int index = 0; index < kDeviceMenuEntries; ++index) {
    setDeviceEntry(index, {});
    device_[static_cast<std::size_t>(index)]->setVisible(index == 0);
    device_[static_cast<std::size_t>(index)]->setEnabled(index == 0);
  }
  QMenu* channels = menuBar()->addMenu(QStringLiteral("Channel"));
  channels->setObjectName(QStringLiteral("ChannelOption"));
  for (int index = 0; index < kChannelMenuEntries; ++index) {
    QAction* entry = channels->addAction(QString::number(index + 1));
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this,
            [this, index] { panel_.chan_Click(static_cast<std::int16_t>(index)); });
    chan_.push_back(entry);
  }
  QMenu* labels = menuBar()->addMenu(QStringLiteral("Labels"));
  labels->setObjectName(QStringLiteral("labels"));
  QAction* base = labels->addAction(QStringLiteral("Edit / Save Labels"));
  base->setObjectName(QStringLiteral("base"));
  connect(base, &QAction::triggered, this, [this] { panel_.base_Click(); });
  QAction* load = labels->addAction(QStringLiteral("Load Labels from file"));
  load->setObjectName(QStringLiteral("LBLload"));
  connect(load, &QAction::triggered, this, &Form1::LBLload_Click);
  QAction* save = labels->addAction(QStringLiteral("Save Labels to file"));
  save->setObjectName(QStringLiteral("LBLSave"));
  connect(save, &QAction::triggered, this, &Form1::LBLSave_Click);

  QAction* about = menuBar()->addAction(QStringLiteral("About"));
  about->setObjectName(QStringLiteral("about"));
  connect(about, &QAction::triggered, this, &Form1::about_Click);

  // A menu that opens takes the keyboard: the key-ups of held keys go to it.
  for (QMenu* menu : {deviceMenu_, channels, labels}) {
    connect(menu, &QMenu::aboutToShow, this, [this] { panel_.ReleaseAll(); });
  }
}

SwitchButton* Form1::key(std::int16_t index) const {
  const auto it = keys_.find(index);
  return it == keys_.end() ? nullptr : it->second;
}

QLineEdit* Form1::text(int box) const { return texts_.at(static_cast<std::size_t>(box - 1)); }
QLabel* Form1::lcd(int line) const { return lcds_.at(static_cast<std::size_t>(line - 1)); }

void Form1::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  panel_.Form_Unload();
}

void Form1::about_Click() {}

void Form1::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void Form1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) panel_.ReleaseAll();
  QMainWindow::changeEvent(event);
}

// Key preview: the window's key handlers see every key press and release
// before the focused control, which still receives it afterwards.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && panel_.keyPreview() && !unloaded_) {
    auto* widget = qobject_cast<QWidget*>(watched);
    // An unhandled key travels up to the parents; take it once, at the first
    // receiver, which is the focus widget (or the window itself).
    QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
    if (widget == first && widget->window() == this) {
      const auto& key = static_cast<const QKeyEvent&>(*event);
      const std::int16_t code = KeyCodeOf(key);
      const int shift = static_cast<int>(key.modifiers());
      if (type == QEvent::KeyPress) {
        panel_.Form_KeyDown(code, shift);
      } else {
        panel_.Form_KeyUp(code, shift, key.isAutoRepeat());
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::setSwitchChecked(std::int16_t index, bool checked) {
  if (SwitchButton* button = key(index)) button->setChecked(checked);
}

void Form1::setDeviceEntry(int menuIndex, const std::string& caption) {
  // The menu has its eleven entries from the start and grows past them when
  // the platform reports more than ten ports.
  while (device_.size() <= static_cast<std::size_t>(menuIndex)) {
    const auto index = static_cast<std::int16_t>(device_.size());
    QAction* entry = deviceMenu_->addAction(QString());
    entry->setCheckable(true);
    connect(entry, &QAction::triggered, this, [this, index] { panel_.device_Click(index); });
    device_.push_back(entry);
  }
  QAction* entry = device_[static_cast<std::size_t>(menuIndex)];
  entry->setText(QString::fromStdString(caption));
  entry->setVisible(true);
  entry->setEnabled(true);
}

void Form1::setDeviceChecked(int menuIndex, bool checked) {
  if (menuIndex >= 0 && static_cast<std::size_t>(menuIndex) < device_.size()) {
    device_[static_cast<std::size_t>(menuIndex)]->setChecked(checked);
  }
}

void Form1::setChannelChecked(int menuIndex, bool checked) {
  chan_.at(static_cast<std::size_t>(menuIndex))->setChecked(checked);
}

void Form1::setVelocityBar(int value) {
  vol_->setValue(value);  // the bar reports the change through vol_Change
}

void Form1::showStatusLines(const input::StatusDisplay& display) {
  for (int line = 1; line <= 3; ++line) lcd(line)->setText(QString::fromStdString(display.line(line)));
}

std::string Form1::labelText(int box) const { return text(box)->text().toStdString(); }
bool Form1::labelsEnabled() const { return text(1)->isEnabled(); }
void Form1::setLabelsEnabled(bool enabled) {
  for (QLineEdit* box : texts_) box->setEnabled(enabled);
}

void Form1::showMessage(const std::string& text, const std::string& details) {
  panel_.ReleaseAll();  // the box takes the keyboard until it is closed
  messages_.show(this, QString::fromStdString(text), QString::fromStdString(details));
}

}  // namespace app
