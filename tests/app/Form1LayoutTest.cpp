// The window as laid out: every control's place, look and starting state,
// the drawing and focus orders, the menu tree, the About box, the switches'
// own toggling and the label boxes' typing limit.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QSet>
#include <QtTest>
#include <functional>
#include <memory>

#include "app/Form1.h"
#include "app/MessageBoxes.h"
#include "app/SwitchButton.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/ScriptedFileDialogs.h"

using testing_support::RecordingMessageBoxes;
using testing_support::RecordingMidiOut;
using testing_support::ScriptedFileDialogs;

namespace {

// The switch grid as the layout writes it, row by row from the top left.
struct Cell {
  int row, col;
  const char* caption;
  int index;
  int box;
  const char* label;
  int frame;
};
const Cell kGrid[] = {
    {1, 1, "1", 48, 1, "Switch01", 27},  {1, 2, "2", 50, 2, "Switch02", 26},  {1, 3, "3", 52, 3, "Switch03", 25},
    {1, 4, "4", 53, 4, "Switch04", 24},  {1, 5, "5", 55, 5, "Switch05", 23},  {1, 6, "6", 57, 6, "Switch06", 22},
    {1, 7, "7", 59, 7, "Switch07", 21},  {1, 8, "8", 60, 8, "Switch08", 20},  {1, 9, "9", 62, 9, "Switch09", 19},
    {2, 1, "Q", 33, 10, "Switch10", 10}, {2, 2, "W", 35, 11, "Switch11", 11}, {2, 3, "E", 36, 12, "Switch12", 12},
    {2, 4, "R", 38, 13, "Switch13", 13}, {2, 5, "T", 40, 14, "Switch14", 14}, {2, 6, "Y", 41, 15, "Switch15", 15},
    {2, 7, "U", 43, 16, "Switch16", 16}, {2, 8, "I", 45, 17, "Switch17", 17}, {2, 9, "O", 47, 18, "Switch18", 18},
    {3, 1, "A", 17, 36, "Switch19", 1},  {3, 2, "S", 19, 35, "Switch20", 2},  {3, 3, "D", 21, 34, "Switch21", 3},
    {3, 4, "F", 23, 33, "Switch22", 4},  {3, 5, "G", 24, 32, "Switch23", 5},  {3, 6, "H", 26, 31, "Switch24", 6},
    {3, 7, "J", 28, 30, "Switch25", 7},  {3, 8, "K", 29, 29, "Switch26", 8},  {3, 9, "L", 31, 28, "Switch27", 9},
    {4, 1, "Z", 0, 19, "Switch28", 36},  {4, 2, "X", 2, 20, "Switch29", 35},  {4, 3, "C", 4, 21, "Switch30", 34},
    {4, 4, "V", 5, 22, "Switch31", 33},  {4, 5, "B", 7, 23, "Switch32", 32},  {4, 6, "N", 9, 24, "Switch33", 31},
    {4, 7, "M", 11, 25, "Switch34", 30}, {4, 8, ",", 12, 26, "Switch35", 29}, {4, 9, ".", 14, 27, "Switch36", 28},
};

// Twips to 96-dpi pixels.
QRect Twips(int left, int top, int width, int height) {
  return QRect(left / 15, top / 15, width / 15, height / 15);
}
int SwitchLeft(const Cell& c) { return 240 + 1320 * (c.col - 1); }
int SwitchTop(const Cell& c) { return 1320 + 960 * (c.row - 1); }

QString SwitchName(const char* caption) {
  for (const Cell& c : kGrid) {
    if (QLatin1String(c.caption) == QLatin1String(caption)) return QStringLiteral("key%1").arg(c.index);
  }
  return {};
}

QStringList Switches(const QStringList& captions) {
  QStringList names;
  for (const QString& caption : captions) names << SwitchName(caption.toLatin1().constData());
  return names;
}

QStringList Boxes(int first, int last) {
  QStringList names;
  for (int box = first; box <= last; ++box) names << QStringLiteral("Text%1").arg(box);
  return names;
}

const QColor kNone;  // no colour of its own: transparent

// A window with its doubles, built and started as the program does.
struct Window {
  explicit Window(std::vector<std::string> ports = {}) {
    midi.ports = std::move(ports);
    form = std::make_unique<app::Form1>(midi, boxes, dialogs);
  }
  RecordingMidiOut midi;
  RecordingMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  std::unique_ptr<app::Form1> form;

  QWidget* client() const { return form->findChild<QWidget*>(QStringLiteral("client")); }
  QWidget* control(const QString& name) const {
    return client()->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
  }
  QAction* action(const char* name) const { return form->findChild<QAction*>(QLatin1String(name)); }
  void showActive() {
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
  }
};

}  // namespace

class Form1LayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void controlMatchesTheLayout_data();
  void controlMatchesTheLayout();
  void surfaceIsDrawnBackToFrontAsWritten();
  void surfaceShowsTheWrittenColours();
  void punctuationCaptionsAreShownWhole();
  void windowKeepsItsDesignedSize();
  void focusFollowsTheWrittenOrder_data();
  void focusFollowsTheWrittenOrder();
  void velocityBarBelowTheWindowStillWorks();
  void menuTreeIsAsWritten_data();
  void menuTreeIsAsWritten();
  void ownTogglingIsSuppressed_data();
  void ownTogglingIsSuppressed();
  void aboutShowsTheCreditAndChangesNothing();
  void aboutBoxIsModalWithOkOnlyAndNoIcon();
  void aboutReleasesAHeldSwitch();
  void typingStopsAtNineCharacters_data();
  void typingStopsAtNineCharacters();
  void controlsHaveAccessibleNames();
  void switchDescriptionFollowsItsLabel();
  void statusLinesShowMarkupAsText();
};

void Form1LayoutTest::controlMatchesTheLayout_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("rect");
  QTest::addColumn<double>("points");  // 0: shows no text
  QTest::addColumn<bool>("bold");
  QTest::addColumn<QColor>("ink");
  QTest::addColumn<QColor>("paper");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("enabled");

  const QColor white = QGuiApplication::palette().color(QPalette::Base);  // the window-background role
  for (const Cell& c : kGrid) {
    const double points = QLatin1String(c.caption) == QLatin1String(",") ||
                                  QLatin1String(c.caption) == QLatin1String(".")
                              ? 20.25
                              : 15.75;
    QTest::addRow("switch %s", c.caption)
        << QStringLiteral("key%1").arg(c.index) << Twips(SwitchLeft(c), SwitchTop(c), 735, 315) << points
        << false << QColor(0, 0, 0) << QColor(0, 255, 0) << QString::fromLatin1(c.caption) << true;
    QTest::addRow("Text%d", c.box) << QStringLiteral("Text%1").arg(c.box)
                                   << Twips(SwitchLeft(c), SwitchTop(c) + 360, 975, 300) << 9.0 << false
                                   << QColor(0, 0, 255) << QColor(0, 0, 0) << QString::fromLatin1(c.label)
                                   << false;
    QTest::addRow("Shape%d", c.frame) << QStringLiteral("Shape%1").arg(c.frame)
                                      << Twips(SwitchLeft(c) - 120, SwitchTop(c) - 120, 1215, 855) << 0.0
                                      << false << white << kNone << QString() << true;
  }
  QTest::newRow("Label1") << "Label1" << Twips(240, 120, 2895, 615) << 15.75 << true << QColor(128, 128, 128)
                          << kNone << "Quorvane" << true;
  QTest::newRow("Label2") << "Label2" << Twips(3360, 720, 5175, 375) << 12.0 << true << QColor(255, 255, 255)
                          << kNone << "Zelmora! Switches Module" << true;
  QTest::newRow("Image1") << "Image1" << Twips(360, -240, 3510, 1560) << 0.0 << false << kNone << kNone
                          << QString() << true;
  QTest::newRow("LblLCD3") << "LblLCD3" << Twips(8160, 240, 3135, 255) << 9.75 << false << QColor(0, 128, 0)
                           << QColor(0, 0, 0) << QString() << true;
  QTest::newRow("LblLCD2") << "LblLCD2" << Twips(8160, 480, 3135, 255) << 9.75 << false << QColor(0, 192, 0)
                           << QColor(0, 0, 0) << QString() << true;
  QTest::newRow("LblLCD1") << "LblLCD1" << Twips(8160, 720, 3135, 255) << 9.75 << false << QColor(0, 255, 0)
                           << QColor(0, 0, 0) << "Initialized..." << true;
  QTest::newRow("Shape37") << "Shape37" << Twips(8040, 120, 3495, 975) << 0.0 << false << white << kNone
                           << QString() << true;
  QTest::newRow("vol") << "vol" << Twips(0, 6120, 255, 1815) << 0.0 << false << kNone << kNone << QString()
                       << true;
}

void Form1LayoutTest::controlMatchesTheLayout() {
  QFETCH(QString, name);
  QFETCH(QRect, rect);
  QFETCH(double, points);
  QFETCH(bool, bold);
  QFETCH(QColor, ink);
  QFETCH(QColor, paper);
  QFETCH(QString, text);
  QFETCH(bool, enabled);
  Window w;
  QWidget* control = w.control(name);
  QVERIFY2(control, qPrintable(name));

  QCOMPARE(control->geometry(), rect);
  QCOMPARE(control->isEnabled(), enabled);
  QVERIFY(!control->isHidden());
  if (points > 0) {
    QCOMPARE(control->font().pointSizeF(), points);
    QCOMPARE(control->font().bold(), bold);
    QVERIFY(!control->font().italic() && !control->font().underline() && !control->font().strikeOut());
    const QFontInfo used(control->font());
    QVERIFY2(used.family() == QLatin1String("Lucida Console") || used.family() == QLatin1String("DejaVu Sans Mono"),
             qPrintable(used.family()));
    QVERIFY(used.fixedPitch());
  }
  const QPalette& p = control->palette();
  if (auto* key = qobject_cast<app::SwitchButton*>(control)) {
    QCOMPARE(key->text(), text);
    QVERIFY(key->isCheckable());
    QVERIFY(!key->isChecked());
    QCOMPARE(p.color(QPalette::Button), paper);
    QCOMPARE(p.color(QPalette::ButtonText), ink);
  } else if (auto* box = qobject_cast<QLineEdit*>(control)) {
    QCOMPARE(box->text(), text);
    QCOMPARE(box->maxLength(), 32767);  // the limit is on typing only
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
      QCOMPARE(p.color(group, QPalette::Base), paper);
      QCOMPARE(p.color(group, QPalette::Text), ink);
    }
  } else if (auto* label = qobject_cast<QLabel*>(control); label && name != QLatin1String("Image1")) {
    QCOMPARE(label->text(), text);
    QCOMPARE(p.color(QPalette::WindowText), ink);
    QCOMPARE(label->autoFillBackground(), paper.isValid());
    if (paper.isValid()) QCOMPARE(p.color(QPalette::Window), paper);
  } else if (name == QLatin1String("Image1")) {
    const QPixmap picture = label->pixmap();
    QCOMPARE(picture.deviceIndependentSize().toSize(), QSize(234, 104));
    QVERIFY(!label->autoFillBackground());
  } else if (name.startsWith(QLatin1String("Shape"))) {
    QCOMPARE(p.color(QPalette::Base), ink);
    QVERIFY(!control->autoFillBackground());
  } else {
    auto* bar = qobject_cast<QScrollBar*>(control);
    QVERIFY(bar);
    QCOMPARE(bar->orientation(), Qt::Vertical);
  }
}

void Form1LayoutTest::surfaceIsDrawnBackToFrontAsWritten() {
  Window w;
  QStringList order;
  for (QObject* child : w.client()->children()) {
    if (child->isWidgetType()) order << child->objectName();
  }
  auto at = [&order](const QString& name) { return order.indexOf(name); };
  QCOMPARE(at("Image1"), 0);
  qsizetype lastFrame = 0;
  for (int shape = 1; shape <= 36; ++shape) {
    QVERIFY(at(QStringLiteral("Shape%1").arg(shape)) > at("Image1"));
    lastFrame = std::max(lastFrame, at(QStringLiteral("Shape%1").arg(shape)));
  }
  for (const char* line : {"LblLCD1", "LblLCD2", "LblLCD3"}) {
    QVERIFY(at(line) > lastFrame);
    QVERIFY(at(line) < at("Shape37"));
  }
  QVERIFY(at("Shape37") < at("Label1"));
  QVERIFY(at("Label1") < at("Label2"));
  // The switches, label boxes and the scroll bar lie above all of them.
  for (const Cell& c : kGrid) {
    QVERIFY(at(QStringLiteral("key%1").arg(c.index)) > at("Label2"));
    QVERIFY(at(QStringLiteral("Text%1").arg(c.box)) > at("Label2"));
  }
  QVERIFY(at("vol") > at("Label2"));
  QCOMPARE(order.size(), 1 + 37 + 3 + 2 + 36 + 36 + 1);
}

// What the surface looks like, read back from the pixels it paints.
void Form1LayoutTest::surfaceShowsTheWrittenColours() {
  Window w;
  const QImage before = w.client()->grab().toImage();
  QCOMPARE(before.size() / before.devicePixelRatio(), QSize(802, 338));
  auto pixel = [](const QImage& image, int x, int y) {
    return image.pixelColor(QPoint(x, y) * image.devicePixelRatio()).toRgb();
  };
  const QColor green(0, 255, 0), black(0, 0, 0), white(255, 255, 255);
  // Switch "Z" (row 4, column 1) at (16, 280), 49 by 21: a green face, raised.
  QCOMPARE(pixel(before, 16 + 6, 280 + 4), green);
  QCOMPARE(pixel(before, 16, 280), white);
  QCOMPARE(pixel(before, 16 + 48, 280 + 20), black);
  // Its frame at (8, 272) and its label box's black inside.
  QCOMPARE(pixel(before, 8, 300), white);
  QCOMPARE(pixel(before, 8 + 40, 272), white);
  QCOMPARE(pixel(before, 16 + 60, 304 + 10), black);
  // The surface between frames and below the last row, and the status lines.
  QCOMPARE(pixel(before, 92, 200), black);
  QCOMPARE(pixel(before, 400, 334), black);
  QCOMPARE(pixel(before, 544 + 200, 16 + 8), black);
  QCOMPARE(pixel(before, 536, 40), white);  // Shape37's left edge

  w.form->panel().SwitchOn(0);
  const QImage pressed = w.client()->grab().toImage();
  QCOMPARE(pixel(pressed, 16 + 6, 280 + 4), green);
  QCOMPARE(pixel(pressed, 16, 280), QColor(128, 128, 128));  // sunken: the light comes from below
  QCOMPARE(pixel(pressed, 16 + 48, 280 + 20), white);
}

// Their fonts are taller than the buttons: a caption centred by its line lost
// the comma's tail, and "," looked like ".".
void Form1LayoutTest::punctuationCaptionsAreShownWhole() {
  Window w;
  auto ink = [](QWidget* key) {
    const QImage face = key->grab().toImage();
    const QRect inner = QRect(QPoint(0, 0), face.size()).adjusted(2, 2, -3, -3);
    QRect box;
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
      for (int x = inner.left(); x <= inner.right(); ++x) {
        if (qGreen(face.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);  // black on green
      }
    }
    return std::pair{box, inner};
  };
  const auto [comma, inner] = ink(w.form->key(12));
  const auto [period, unused] = ink(w.form->key(14));
  QVERIFY(!comma.isEmpty() && !period.isEmpty());
  QVERIFY2(comma.top() > inner.top() && comma.bottom() < inner.bottom(), "the comma is cut off");
  QVERIFY(comma.height() > period.height());
}

void Form1LayoutTest::windowKeepsItsDesignedSize() {
  Window w;
  w.form->show();
  QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
  QWidget* client = w.client();
  QCOMPARE(client->size(), QSize(802, 338));
  QCOMPARE(client->geometry().top(), w.form->menuBar()->geometry().bottom() + 1);
  QCOMPARE(w.form->minimumSize(), w.form->maximumSize());
  const QSize designed = w.form->size();
  w.form->resize(designed + QSize(200, 200));
  QCOMPARE(w.form->size(), designed);
  QCOMPARE(w.form->windowTitle(), QStringLiteral("Zelmora! Switches Module"));
  QVERIFY(!w.form->windowIcon().pixmap(32, 32).isNull());
  // vol lies wholly below the client area, yet is shown and can take the focus.
  QWidget* vol = w.control("vol");
  QVERIFY(!client->rect().intersects(vol->geometry()));
  QVERIFY(vol->isVisible());
  QVERIFY(vol->focusPolicy() & Qt::TabFocus);
}

void Form1LayoutTest::focusFollowsTheWrittenOrder_data() {
  QTest::addColumn<bool>("editing");
  QTest::addColumn<QStringList>("order");
  const QStringList first = Switches({"C", "V", "B", "N", "M", ",", "."}) << QStringLiteral("vol");
  const QStringList letters =
      Switches({"A", "S", "D", "F", "G", "H", "Z", "J", "K", "L", "Q", "W", "E", "R", "T", "Y", "U", "I", "O"});
  const QStringList last = Switches({"X", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
  QTest::newRow("label boxes disabled") << false << (QStringList() << first << letters << last);
  QTest::newRow("label boxes enabled")
      << true << (QStringList() << first << Boxes(1, 18) << letters << Boxes(28, 36) << Boxes(19, 27) << last);
}

void Form1LayoutTest::focusFollowsTheWrittenOrder() {
  QFETCH(bool, editing);
  QFETCH(QStringList, order);
  Window w;
  w.showActive();
  QTRY_COMPARE(QApplication::focusWidget(), w.form->key(4));
  if (editing) w.form->panel().base_Click();
  QStringList seen{QApplication::focusWidget()->objectName()};
  for (qsizetype step = 1; step <= order.size(); ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen << QApplication::focusWidget()->objectName();
  }
  QCOMPARE(seen, QStringList(order) << order.front());  // and round again to "C"
}

void Form1LayoutTest::velocityBarBelowTheWindowStillWorks() {
  Window w;
  w.showActive();
  w.form->key(14)->setFocus();  // "."
  QTest::keyClick(w.form->key(14), Qt::Key_Tab);
  QCOMPARE(QApplication::focusWidget(), w.control("vol"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  QCOMPARE(w.form->panel().state().velocity, 126);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
  QCOMPARE(w.form->panel().state().velocity, 127);
  // The wheel turned towards the user moves the thumb down, too.
  QWidget* vol = w.control("vol");
  QWheelEvent wheel(QPointF(5, 5), vol->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(vol, &wheel);
  QVERIFY(w.form->panel().state().velocity < 127);
}

void Form1LayoutTest::menuTreeIsAsWritten_data() {
  QTest::addColumn<QStringList>("ports");
  QTest::newRow("no port") << QStringList();
  QTest::newRow("three ports, one with an ampersand") << QStringList{"R&B Synth", "Beta", "Gamma"};
  QTest::newRow("twelve ports") << QStringList{"p1", "p2", "p3", "p4", "p5", "p6",
                                               "p7", "p8", "p9", "p10", "p11", "p12"};
}

void Form1LayoutTest::menuTreeIsAsWritten() {
  QFETCH(QStringList, ports);
  std::vector<std::string> names;
  for (const QString& port : ports) names.push_back(port.toStdString());
  Window w(names);
  QMenuBar* bar = w.form->menuBar();
  QVERIFY(!bar->isNativeMenuBar());

  QStringList captions, objects;
  for (QAction* top : bar->actions()) {
    captions << top->text();
    objects << (top->menu() ? top->menu()->objectName() : top->objectName());
  }
  QCOMPARE(captions, (QStringList{"Midi Device", "Channel", "Labels", "About"}));
  QCOMPARE(objects, (QStringList{"midi_devices", "ChannelOption", "labels", "about"}));
  QVERIFY(!w.action("about")->menu());  // runs at once from the bar

  // Every entry of the tree: no shortcut, no access key, no separator.
  QList<QAction*> all = bar->actions();
  for (QAction* top : bar->actions()) {
    if (top->menu()) all << top->menu()->actions();
  }
  for (QAction* entry : all) {
    QVERIFY2(!entry->isSeparator(), qPrintable(entry->text()));
    QVERIFY2(entry->shortcuts().isEmpty(), qPrintable(entry->text()));
    QVERIFY2(QKeySequence::mnemonic(entry->text()).isEmpty(), qPrintable(entry->text()));
  }

  const QList<QAction*> device = bar->actions().at(0)->menu()->actions();
  QCOMPARE(device.size(), std::max<qsizetype>(11, ports.size() + 1));
  for (qsizetype i = 0; i < device.size(); ++i) {
    QCOMPARE(device[i], w.form->device().at(static_cast<std::size_t>(i)));
    QCOMPARE(device[i]->objectName(), QStringLiteral("device"));
    const bool listed = i <= ports.size();
    QCOMPARE(device[i]->isVisible(), listed);
    QCOMPARE(device[i]->isEnabled(), listed);
    QCOMPARE(device[i]->isChecked(), i == 0);
    const QString shown = QString(device[i]->text()).replace(QLatin1String("&&"), QLatin1String("&"));
    QCOMPARE(shown, i == 0 ? QStringLiteral("MIDI Mapper") : listed ? ports[i - 1] : QString());
  }

  const QList<QAction*> chan = bar->actions().at(1)->menu()->actions();
  QCOMPARE(chan.size(), 16);
  for (qsizetype i = 0; i < chan.size(); ++i) {
    QCOMPARE(chan[i]->text(), QString::number(i + 1));
    QCOMPARE(chan[i]->objectName(), QStringLiteral("chan"));
    QVERIFY(chan[i]->isVisible() && chan[i]->isEnabled());
    QCOMPARE(chan[i]->isChecked(), i == 0);
  }

  const QList<QAction*> labels = bar->actions().at(2)->menu()->actions();
  QStringList labelEntries;
  for (QAction* entry : labels) {
    labelEntries << entry->objectName() + ':' + entry->text();
    QVERIFY(entry->isVisible() && entry->isEnabled() && !entry->isChecked());
  }
  QCOMPARE(labelEntries, (QStringList{"base:Edit / Save Labels", "LBLload:Load Labels from file",
                                      "LBLSave:Save Labels to file"}));
}

void Form1LayoutTest::ownTogglingIsSuppressed_data() {
  QTest::addColumn<QString>("how");
  QTest::addColumn<bool>("on");
  for (bool on : {false, true}) {
    for (const char* how : {"click", "Space", "toggle", "setChecked", "accessible toggle"}) {
      QTest::addRow("%s while %s", how, on ? "on" : "off") << QString::fromLatin1(how) << on;
    }
  }
}

void Form1LayoutTest::ownTogglingIsSuppressed() {
  QFETCH(QString, how);
  QFETCH(bool, on);
  Window w;
  w.showActive();
  app::SwitchButton* key = w.form->key(4);
  if (on) w.form->panel().SwitchOn(4);
  w.midi.sent.clear();
  if (how == QLatin1String("click")) {
    key->click();
  } else if (how == QLatin1String("Space")) {
    key->setFocus();
    QTest::keyClick(key, Qt::Key_Space);
  } else if (how == QLatin1String("toggle")) {
    key->toggle();
  } else if (how == QLatin1String("setChecked")) {
    key->setChecked(!on);
  } else {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(key);
    QVERIFY(accessible && accessible->actionInterface());
    accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  }
  QCOMPARE(key->isChecked(), on);
  QCOMPARE(w.form->panel().isOn(4), on);
  QVERIFY(w.midi.sent.empty());
}

void Form1LayoutTest::aboutShowsTheCreditAndChangesNothing() {
  Window w;
  w.form->panel().ShowStatus("Key S pressed (Switch20)");
  const std::vector<std::string> status{w.form->panel().status().line(1), w.form->panel().status().line(2),
                                        w.form->panel().status().line(3)};
  const auto state = w.form->panel().state();
  const auto sent = w.midi.sent.size();

  w.action("about")->trigger();

  QCOMPARE(w.boxes.texts.size(), 1);
  const QString text = w.boxes.texts.front();
  QCOMPARE(text, QStringLiteral("Quorvane Zelmora! Switches Module by The Quorvane team (team@quorvane.example) - "
                                "https://www.quorvane.example"));
  // The written form: name, a blank, the e-mail address in parentheses, " - ", the web address.
  QVERIFY(QRegularExpression(QStringLiteral("^Quorvane Zelmora! Switches Module by [^()]+ \\([^ ()]+@[^ ()]+\\) - "
                                            "https?://\\S+$"))
              .match(text)
              .hasMatch());
  QCOMPARE(w.boxes.details.front(), QString());
  QCOMPARE(w.midi.sent.size(), sent);
  QCOMPARE(w.form->panel().state().statusText, state.statusText);
  QCOMPARE(w.form->panel().state().velocity, state.velocity);
  QCOMPARE(w.form->panel().status().line(1), status[0]);
  QCOMPARE(w.form->panel().status().line(2), status[1]);
  QCOMPARE(w.form->panel().status().line(3), status[2]);
  for (const Cell& c : kGrid) QVERIFY(!w.form->key(static_cast<std::int16_t>(c.index))->isChecked());
}

// The real box, read while it is open and closed with its only button.
void Form1LayoutTest::aboutBoxIsModalWithOkOnlyAndNoIcon() {
  RecordingMidiOut midi;
  app::QtMessageBoxes boxes;
  ScriptedFileDialogs dialogs;
  app::Form1 form(midi, boxes, dialogs);
  form.show();
  QVERIFY(QTest::qWaitForWindowExposed(&form));
  QString text;
  Qt::WindowModality modality = Qt::NonModal;
  QMessageBox::Icon icon = QMessageBox::Warning;
  QList<QAbstractButton*> buttons;
  QMessageBox::StandardButtons standard;
  std::function<void()> readAndClose = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      QTimer::singleShot(0, readAndClose);
      return;
    }
    text = box->text();
    modality = box->windowModality();
    icon = box->icon();
    buttons = box->buttons();
    standard = box->standardButtons();
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, readAndClose);
  form.findChild<QAction*>(QStringLiteral("about"))->trigger();
  QVERIFY(text.startsWith(QLatin1String("Quorvane Zelmora! Switches Module by ")));
  QCOMPARE(modality, Qt::ApplicationModal);
  QCOMPARE(icon, QMessageBox::NoIcon);
  QCOMPARE(buttons.size(), 1);
  QCOMPARE(standard, QMessageBox::StandardButtons(QMessageBox::Ok));
}

// A key held while the box opens would come up in the box: the note must not hang.
void Form1LayoutTest::aboutReleasesAHeldSwitch() {
  Window w;
  w.form->panel().Form_KeyDown(0x53, 0);  // S
  QVERIFY(w.form->panel().isOn(19));
  w.action("about")->trigger();
  QVERIFY(!w.form->panel().isOn(19));
  QCOMPARE(w.midi.sent.back().message, 0x00004F80u);
}

void Form1LayoutTest::typingStopsAtNineCharacters_data() {
  // In `typed`, \b is Backspace, \x01 selects all, \x16 pastes "0123456789AB".
  QTest::addColumn<QString>("set");
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("expected");
  const QString longLabel = QStringLiteral("ALongLabelFromAFile");
  QTest::newRow("a tenth character is refused") << "" << "ABCDEFGHIJKL" << "ABCDEFGHI";
  QTest::newRow("the initial label takes one more") << "Switch01" << "XYZ" << "Switch01X";
  QTest::newRow("typing over a selection") << "Switch01" << "\x01NewName99X" << "NewName99";
  QTest::newRow("a paste past nine is refused whole") << "" << "\x16" << "";
  QTest::newRow("a long set label is kept whole") << longLabel << "" << longLabel;
  QTest::newRow("a long set label grows no further") << longLabel << "Z" << longLabel;
  QTest::newRow("a long set label can be shortened") << longLabel << "\b\b" << longLabel.chopped(2);
  QTest::newRow("and edited within its length") << longLabel << "\b\bXYZ" << longLabel.chopped(2) + "XY";
  QTest::newRow("and undone back to it") << longLabel << "\b\bX\x1a\x1a" << longLabel;
  QTest::newRow("which then grows no further") << longLabel << "\b\bX\x1a\x1aQ" << longLabel;
}

void Form1LayoutTest::typingStopsAtNineCharacters() {
  QFETCH(QString, set);
  QFETCH(QString, typed);
  QFETCH(QString, expected);
  Window w;
  w.showActive();
  w.form->panel().base_Click();  // the label editing mode
  QLineEdit* box = w.form->text(1);
  QVERIFY(box->isEnabled());
  box->setFocus();
  box->setText(set);
  QCOMPARE(box->text(), set);
  QGuiApplication::clipboard()->setText(QStringLiteral("0123456789AB"));
  for (QChar c : typed) {
    switch (c.unicode()) {
      case '\b': QTest::keyClick(box, Qt::Key_Backspace); break;
      case 0x01: QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier); break;
      case 0x16: QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier); break;
      case 0x1a: QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier); break;
      default: QTest::keyClicks(box, QString(c));
    }
  }
  QCOMPARE(box->text(), expected);
  // A text the program sets afterwards is still kept whole.
  box->setText(QStringLiteral("AnotherLongLabel"));
  QCOMPARE(box->text(), QStringLiteral("AnotherLongLabel"));
}

void Form1LayoutTest::controlsHaveAccessibleNames() {
  Window w;
  QStringList names;
  for (const Cell& c : kGrid) {
    QWidget* key = w.form->key(static_cast<std::int16_t>(c.index));
    QWidget* box = w.form->text(c.box);
    QVERIFY(key->accessibleName().contains(
        QLatin1String(c.caption) == QLatin1String(",")   ? QStringLiteral("comma")
        : QLatin1String(c.caption) == QLatin1String(".") ? QStringLiteral("period")
                                                         : QString::fromLatin1(c.caption)));
    QVERIFY2(key->accessibleDescription().contains(QLatin1String(c.label)), qPrintable(key->accessibleDescription()));
    QVERIFY(!box->accessibleDescription().isEmpty());
    names << key->accessibleName() << box->accessibleName();
  }
  for (int line = 1; line <= 3; ++line) {
    QVERIFY(!w.form->lcd(line)->accessibleDescription().isEmpty());
    names << w.form->lcd(line)->accessibleDescription();
  }
  QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 36 + 36 + 3);
  QVERIFY(!names.contains(QString()));
  // Its note, by name: "S" plays 60 + 19 = 79, G5; "Z" plays 60, C4.
  QVERIFY(w.form->key(19)->accessibleDescription().contains(QLatin1String("G5")));
  QVERIFY(w.form->key(0)->accessibleDescription().contains(QLatin1String("C4")));
}

void Form1LayoutTest::switchDescriptionFollowsItsLabel() {
  Window w;
  w.form->text(35)->setText(QStringLiteral("Kick"));  // the box under "S"
  QVERIFY(w.form->key(19)->accessibleDescription().contains(QLatin1String("Kick")));
  QVERIFY(!w.form->key(19)->accessibleDescription().contains(QLatin1String("Switch20")));
}

// Labels are the user's text: markup in them is shown, not obeyed.
void Form1LayoutTest::statusLinesShowMarkupAsText() {
  Window w;
  w.form->panel().ShowStatus("Key S pressed (<b>x</b>)");
  QCOMPARE(w.form->lcd(1)->textFormat(), Qt::PlainText);
  QCOMPARE(w.form->lcd(1)->text(), QStringLiteral("Key S pressed (<b>x</b>)"));
}

QTEST_MAIN(Form1LayoutTest)
#include "Form1LayoutTest.moc"
