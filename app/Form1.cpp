#include "app/Form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>

#include "app/KeyCode.h"
#include "app/LabelBox.h"
#include "app/Layout.h"
#include "app/MessageBoxes.h"
#include "app/Shape.h"
#include "app/SwitchButton.h"
#include "app/TypedLengthLimit.h"
#include "app/VelocityBar.h"
#include "assets/Artwork.h"

namespace app {

Form1::Form1(midi::MidiOut& midi, MessageBoxes& messages, FileDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), messages_(messages), dialogs_(dialogs), panel_(midi, *this) {
  setWindowTitle(QStringLiteral("Zelmora! Switches Module"));
  setWindowIcon(assets::WindowIcon());
  buildControls();
  buildMenus();
  // Nothing moves when the window's size changes, so it keeps its designed one.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  qApp->installEventFilter(this);
  panel_.Form_Load();
  // A server or receiver that goes away or comes back is only noticed when asked.
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this] { panel_.poll(); });
  poll->start(1000);
  describeControls();
}

Form1::~Form1() {
  qApp->removeEventFilter(this);
  Form_Unload();
}

namespace {

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The same colours whether the control is active, inactive or disabled: a
// disabled label box still shows its label in blue on black.
void SetColours(QWidget* widget, std::initializer_list<std::pair<QPalette::ColorRole, QColor>> colours) {
  QPalette palette = widget->palette();
  for (const auto& [role, colour] : colours) palette.setColor(role, colour);
  widget->setPalette(palette);
}

// What a screen reader says for a key: "," and "." are read poorly alone.
QString SpokenKey(std::string_view caption) {
  if (caption == ",") return QStringLiteral("comma");
  if (caption == ".") return QStringLiteral("period");
  return FromView(caption);
}

QString NoteName(int note) {
  static const char* const kNames[] = {"C",       "C sharp", "D",       "D sharp", "E",       "F",
                                       "F sharp", "G",       "G sharp", "A",       "A sharp", "B"};
  return QStringLiteral("%1%2").arg(QLatin1String(kNames[note % 12])).arg(note / 12 - 1);
}

QWidget* MakePicture(QWidget* client) {
  auto* picture = new QLabel(client);
  picture->setPixmap(assets::Picture(client->devicePixelRatioF()));
  picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return picture;
}

QWidget* MakeTitle(const SurfaceControl& control, QWidget* client) {
  auto* label = new QLabel(control.text, client);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFont(PanelFont(control.points, control.bold));
  SetColours(label, {{QPalette::WindowText, QColor(control.ink)}});
  return label;
}

QWidget* MakeStatusLine(const SurfaceControl& control, QWidget* client) {
  auto* line = new QLabel(client);
  // Status lines show labels the user typed or loaded: never rich text.
  line->setTextFormat(Qt::PlainText);
  line->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  line->setFont(PanelFont(control.points));
  line->setAutoFillBackground(true);
  SetColours(
      line, {{QPalette::Window, QColor(kStatusLineBackground)}, {QPalette::WindowText, QColor(control.ink)}});
  return line;
}

QLineEdit* MakeLabelBox(const SwitchCell& cell, QWidget* client) {
  // Its font before its text: the text is laid out once, in the box's font.
  auto* box = new LabelBox(client);
  box->setObjectName(QStringLiteral("Text%1").arg(cell.labelBox));
  box->setGeometry(LabelBoxRect(cell));
  box->setFont(PanelFont(kLabelBoxPoints));
  box->setText(FromView(cell.initialLabel));
  SetColours(box, {{QPalette::Base, QColor(kLabelBoxBackground)}, {QPalette::Text, QColor(kLabelBoxText)}});
  new TypedLengthLimit(box, kLabelTypedLimit);
  box->setEnabled(false);
  return box;
}

// Only the entry with the check mark is checkable: some styles (Fusion among
// them) draw an empty tick box beside every other checkable entry, where the
// menu shows a single mark.
void ShowCheck(QAction* entry, bool checked) {
  entry->setCheckable(checked);
  entry->setChecked(checked);
}

}  // namespace

void Form1::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setAutoFillBackground(true);
  SetColours(client, {{QPalette::Window, QColor(kSurfaceColour)}});
  setCentralWidget(client);

  // Children are stacked in the order they are made: the surface controls
  // back to front, then the switches, label boxes and velocity bar above them.
  for (const SurfaceControl& control : SurfaceControls()) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case ControlKind::Picture: widget = MakePicture(client); break;
      case ControlKind::Frame: widget = new Shape(client); break;
      case ControlKind::StatusLine: widget = MakeStatusLine(control, client); break;
      case ControlKind::Label: widget = MakeTitle(control, client); break;
      case ControlKind::ScrollBar: continue;  // made last, below
    }
    widget->setObjectName(control.name);
    widget->setGeometry(control.rect);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  for (int line = 1; line <= 3; ++line) {
    lcds_.push_back(client->findChild<QLabel*>(QStringLiteral("LblLCD%1").arg(line)));
  }
  texts_.resize(kSwitchGrid.size());
  for (const SwitchCell& cell : kSwitchGrid) {
    keys_[cell.index] = makeSwitch(cell, client);
    texts_[static_cast<std::size_t>(cell.labelBox - 1)] = MakeLabelBox(cell, client);
  }
  makeVelocityBar(client);
  setFocusOrder(client);
  // Last: every control has a font of its own, and a label box made before
  // this lays its text out in the font it is made with.
  client->setFont(PanelFont(kSurfacePoints));
}

SwitchButton* Form1::makeSwitch(const SwitchCell& cell, QWidget* client) {
  auto* button = new SwitchButton(cell.index, FromView(cell.caption), client);
  button->setObjectName(QStringLiteral("key%1").arg(cell.index));
  button->setGeometry(SwitchRect(cell));
  button->setFont(PanelFont(SwitchPoints(cell)));
  SetColours(button, {{QPalette::Button, QColor(kSwitchFace)},
                      {QPalette::ButtonText, QColor(kSwitchCaption)},
                      {QPalette::Light, Qt::white},
                      {QPalette::Midlight, QColor(kSwitchFace)},
                      {QPalette::Dark, Qt::darkGray},
                      {QPalette::Shadow, Qt::black}});
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
  return button;
}

void Form1::makeVelocityBar(QWidget* client) {
  vol_ = new VelocityBar(client);
  vol_->setObjectName(QStringLiteral("vol"));
  vol_->setGeometry(kVolRect);
  connect(vol_, &QScrollBar::valueChanged, this, [this](int value) { panel_.vol_Change(value); });
}

void Form1::setFocusOrder(QWidget* client) {
  QWidget* previous = nullptr;
  for (const QString& name : FocusOrder()) {
    auto* next = client->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
    if (previous) setTabOrder(previous, next);
    previous = next;
  }
  // The label boxes are disabled, so the focus starts on the first switch.
  key(4)->setFocus();
}

// Names for screen readers, so the 36 switches and boxes can be told apart.
void Form1::describeControls() {
  for (const auto& cell : kSwitchGrid) {
    SwitchButton* button = key(cell.index);
    QLineEdit* box = text(cell.labelBox);
    const QString spoken = SpokenKey(cell.caption);
    const QString note = NoteName(panel_.state().baseNote + cell.index);
    button->setAccessibleName(QStringLiteral("Switch %1").arg(spoken));
    box->setAccessibleName(QStringLiteral("Label of switch %1").arg(spoken));
    box->setAccessibleDescription(QStringLiteral("Plays note %1").arg(note));
    auto describe = [button, note](const QString& label) {
      button->setAccessibleDescription(QStringLiteral("Note %1, label %2").arg(note, label));
    };
    describe(box->text());
    connect(box, &QLineEdit::textChanged, button, describe);
  }
  // A status line has no name of its own: the toolkit then gives its text as
  // its name, and announces every new text as a change of name. That is how a
  // screen reader learns what was played.
  static const char* const kAges[] = {"newest", "older", "oldest"};
  for (int line = 1; line <= 3; ++line) {
    lcd(line)->setAccessibleDescription(
        QStringLiteral("Status line %1, the %2 of the last three status texts")
            .arg(line)
            .arg(QLatin1String(kAges[line - 1])));
  }
}

void Form1::buildMenus() {
  // In the window on every desktop: a global menu bar elsewhere on the screen
  // would change the window's height and cannot run a top-level command.
  menuBar()->setNativeMenuBar(false);
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
    entry->setObjectName(QStringLiteral("chan"));
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
    connect(menu, &QMenu::aboutToShow, this, [this] { panel_.releaseAll(); });
  }
  // Ports come and go: the menu shows those present as it opens.
  connect(deviceMenu_, &QMenu::aboutToShow, this, [this] { panel_.listDevices(); });
}

SwitchButton* Form1::key(std::int16_t index) const {
  const auto it = keys_.find(index);
  return it == keys_.end() ? nullptr : it->second;
}

QScrollBar* Form1::vol() const { return vol_; }
QLineEdit* Form1::text(int box) const { return texts_.at(static_cast<std::size_t>(box - 1)); }
QLabel* Form1::lcd(int line) const { return lcds_.at(static_cast<std::size_t>(line - 1)); }

void Form1::Form_Unload() {
  if (unloaded_) return;
  unloaded_ = true;
  panel_.Form_Unload();
}

void Form1::about_Click() {
  message(QStringLiteral("Quorvane Zelmora! Switches Module by ") + QLatin1String(kCredit), {});
}

void Form1::closeEvent(QCloseEvent* event) {
  Form_Unload();
  event->accept();
}

void Form1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) panel_.releaseAll();
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
        panel_.Form_KeyUp(code, shift, key.isAutoRepeat() && !releasesAreReal_);
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::setSwitchChecked(std::int16_t index, bool checked) {
  if (SwitchButton* button = key(index)) button->setOn(checked);
}

void Form1::setDeviceEntry(int menuIndex, const std::string& caption) {
  // The menu has its eleven entries from the start and grows past them when
  // the platform reports more than ten ports.
  while (device_.size() <= static_cast<std::size_t>(menuIndex)) {
    const auto index = static_cast<std::int16_t>(device_.size());
    QAction* entry = deviceMenu_->addAction(QString());
    entry->setObjectName(QStringLiteral("device"));
    connect(entry, &QAction::triggered, this, [this, index] { panel_.device_Click(index); });
    device_.push_back(entry);
  }
  QAction* entry = device_[static_cast<std::size_t>(menuIndex)];
  // A port's name is shown as it is: an '&' in it must not become an access key.
  entry->setText(QString::fromStdString(caption).replace(QLatin1Char('&'), QLatin1String("&&")));
  entry->setVisible(true);
  entry->setEnabled(true);
}

void Form1::hideDeviceEntriesFrom(int menuIndex) {
  for (std::size_t index = static_cast<std::size_t>(menuIndex); index < device_.size(); ++index) {
    device_[index]->setVisible(false);
    device_[index]->setEnabled(false);
  }
}

void Form1::setDeviceChecked(int menuIndex, bool checked) {
  if (menuIndex >= 0 && static_cast<std::size_t>(menuIndex) < device_.size()) {
    ShowCheck(device_[static_cast<std::size_t>(menuIndex)], checked);
  }
}

void Form1::setChannelChecked(int menuIndex, bool checked) {
  ShowCheck(chan_.at(static_cast<std::size_t>(menuIndex)), checked);
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
  message(QString::fromStdString(text), QString::fromStdString(details));
}

void Form1::message(const QString& text, const QString& details) {
  panel_.releaseAll();
  messages_.show(this, text, details);
}

}  // namespace app
