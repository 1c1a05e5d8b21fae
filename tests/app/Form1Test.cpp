// The window: layout (landmarks from the design, the order its rows read in), menus, controls, keys, files.
#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformdialoghelper.h>
#include <QtGui/qpa/qplatformintegration.h>
#include <QtSvg>
#include <QtTest>
#include <QtWidgets>

#include "app/FileDialogs.h"
#include "app/Form1.h"
#include "app/Layout.h"
#include "app/SwitchButton.h"
#include "assets/Artwork.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/RecordingMidiOut.h"

namespace {

struct Window {
  explicit Window(std::vector<std::string> ports = {}, bool active = false)
      : form((midi.ports = std::move(ports), midi), boxes, dialogs) {
    if (active) form.show(), QApplication::setActiveWindow(&form);
  }
  testing_support::RecordingMidiOut midi;
  testing_support::RecordingMessageBoxes boxes;
  testing_support::ScriptedFileDialogs dialogs;
  app::Form1 form;
  QStringList labels() const {
    QStringList out;
    for (int box = 1; box <= 36; ++box) out << form.text(box)->text();
    return out;
  }
  void run(const char* entry, const QString& file = {}) {
    dialogs.answers = QStringList{file};
    form.findChild<QAction*>(entry)->trigger();
  }
};

// Names numbered in runs, such as "Text1" .. "Text18" then "Text36" down to "Text28".
QStringList Names(const char* stem, std::initializer_list<std::pair<int, int>> runs, int digits = 0) {
  QStringList names;
  for (auto [from, to] : runs) {
    for (int n = from, step = to >= from ? 1 : -1; n != to + step; n += step) {
      names << stem + QStringLiteral("%1").arg(n, digits, 10, QChar('0'));
    }
  }
  return names;
}

using Sent = std::vector<std::uint32_t>;
QString Spoken(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}
QObjectList renamed;  // what the toolkit announced a new name of, as it would to a screen reader

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  // No screen reader switches accessibility on here; the toolkit's own tests switch it on this way.
  void initTestCase() {
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
      if (event->type() == QAccessible::NameChanged) renamed << event->object();
    });
  }

  void gridIsLaidOutAsDesigned() {
    Window w;
    QWidget* client = w.form.centralWidget();
    // Corners: "1" at 240, 1320 twips and "." at 10800, 4200; the rows and columns evenly between. Each label
    // box is 360 twips under its switch.
    const QPoint first(16, 88), step((720 - 16) / 8, (280 - 88) / 3);
    QString captions;
    QStringList names;
    for (int i = 0; i < 36; ++i) {
      const QPoint at = first + QPoint(step.x() * (i % 9), step.y() * (i / 9));
      auto* key = qobject_cast<app::SwitchButton*>(client->childAt(at));
      auto* box = qobject_cast<QLineEdit*>(client->childAt(at + QPoint(0, 24)));
      QVERIFY(key && key->geometry() == QRect(at, QSize(49, 21)));
      QVERIFY(box && box->geometry() == QRect(at + QPoint(0, 24), QSize(65, 20)));
      captions += key->text();
      names << box->objectName();
    }
    QCOMPARE(captions, QStringLiteral("123456789QWERTYUIOASDFGHJKLZXCVBNM,."));
    QVERIFY(Spoken(w.form.key(0)) == "Switch Z" && Spoken(w.form.text(19)) == "Label of switch Z");
    QCOMPARE(names, Names("Text", {{1, 18}, {36, 28}, {19, 27}}));
    // The status lines read down from the oldest: the newest is the lowest.
    QVERIFY(w.form.lcd(3)->y() < w.form.lcd(2)->y() && w.form.lcd(2)->y() < w.form.lcd(1)->y());
    QCOMPARE(client->size(), QSize(802, 338));
    // It opens with the focus on "C"; Tab runs "C" .. ".", the velocity bar, the home row with "Z", the top
    // letters, "X" and the digits.
    w.form.show();
    QVERIFY(QTest::qWaitForWindowActive(&w.form));
    QCOMPARE(QApplication::focusWidget(), w.form.key(4));
    QString order;
    for (QWidget* focus = w.form.key(4); order.size() < 38; focus = QApplication::focusWidget()) {
      order += focus == w.form.vol() ? QStringLiteral("|") : qobject_cast<app::SwitchButton*>(focus)->text();
      QTest::keyClick(focus, Qt::Key_Tab);
    }
    QCOMPARE(order, QStringLiteral("CVBNM,.|ASDFGHZJKLQWERTYUIOX123456789C"));
    // Fixed-pitch fonts, as the machine resolves them; the picture stays for a person to look at.
    QVERIFY(QFontInfo(w.form.key(4)->font()).fixedPitch() && QFontInfo(w.form.text(1)->font()).fixedPitch());
    w.form.panel().SwitchOn(19);
    const QImage shot = client->grab().toImage();
    QVERIFY(shot.save(QStringLiteral(SCREENSHOT_DIR "/form1.png")));
    auto at = [&](int x, int y) { return shot.pixelColor(x, y).toRgb(); };
    QCOMPARE(at(16, 280), QColor(Qt::white));          // "Z": raised
    QCOMPARE(at(16 + 6, 280 + 4), QColor(Qt::green));  // with its green face
    QCOMPARE(at(104, 216), QColor(Qt::darkGray));      // "S": sunken
    // A held switch's face is a green darker by a quarter of the range at least: seen at a glance in a chord.
    const QColor held = at(104 + 6, 216 + 4);
    QVERIFY2(held.red() == 0 && held.blue() == 0 && held.green() <= 255 - 64, qPrintable(held.name()));
    QCOMPARE(at(8, 300), QColor(Qt::white));    // a frame
    QCOMPARE(at(400, 334), QColor(Qt::black));  // the surface
  }

  void menusAreAsDesigned() {
    for (const QStringList& ports :
         {QStringList(), QStringList{"R&B Synth", "Beta"}, Names("p", {{1, 12}})}) {
      std::vector<std::string> names;
      for (const QString& port : ports) names.push_back(port.toStdString());
      Window w(names);
      for (int entry : {4, 15, 0}) w.form.chan().at(entry)->trigger();  // the last one chosen alone is marked
      QStringList tree;
      for (QAction* top : w.form.menuBar()->actions()) {
        tree << top->text() + (top->menu() ? ":" : "");
        for (QAction* entry : top->menu() ? top->menu()->actions() : QList<QAction*>()) {
          // One mark per menu; an entry without it is not checkable, or some styles draw it an empty box.
          if (entry->isVisible())
            tree << (entry->isChecked() ? "* " : entry->isCheckable() ? "? " : "  ") + entry->text();
          QVERIFY(entry->isEnabled() == entry->isVisible());
        }
      }
      QStringList expected =
          QStringList{"Midi Device:", "* MIDI Mapper"} +
          QStringList(ports).replaceInStrings("&", "&&").replaceInStrings(QRegularExpression("^"), "  ") +
          QStringList{"Channel:", "* 1"} + Names("  ", {{2, 16}}) +
          QStringList{"Labels:", "  Edit / Save Labels", "  Load Labels from file", "  Save Labels to file",
                      "About"};
      QCOMPARE(tree, expected);
      // The last port plays like any other: its entry opens it and takes the mark.
      w.form.device().at(ports.size())->trigger();
      QCOMPARE(w.midi.openDevice, ports.size() - 1);
      QVERIFY(w.form.device().at(ports.size())->isChecked() &&
              w.form.device().at(0)->isCheckable() == ports.isEmpty());
      w.form.chan().at(9)->trigger();  // and the next note plays on it
      w.form.panel().SwitchOn(0);
      QCOMPARE(w.midi.played().back(), 0x7F3C99u);
    }
  }

  // The artwork the window shows is its SVG sources rendered at the size and density it is shown at.
  void artworkIsItsSourcesRendered() {
    const auto rendered = [](const char* source, QSizeF size) {
      QSvgRenderer svg(QStringLiteral(ASSETS_DIR "/") + QLatin1String(source));
      QImage image(size.toSize(), QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      QPainter painter(&image);
      svg.render(&painter);
      return image;
    };
    const auto shown = [](const QPixmap& pixmap) {  // its pixels, whatever the format and density
      QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(1);
      return image;
    };
    Window w;
    const QIcon icon = w.form.windowIcon();
    QCOMPARE(icon.availableSizes().size(), std::size(assets::kIconSides));
    for (int side : assets::kIconSides)
      QVERIFY2(shown(icon.pixmap(side)) == rendered("icon.svg", QSizeF(side, side)),
               qPrintable(QString::number(side)));
    QCOMPARE(shown(w.form.findChild<QLabel*>("Image1")->pixmap()),
             rendered("picture.svg", assets::kPictureSize));
    for (qreal ratio : {1.0, 1.5, 2.0}) {
      const QPixmap picture = assets::Picture(ratio);
      QCOMPARE(picture.devicePixelRatio(), ratio);
      QCOMPARE(shown(picture), rendered("picture.svg", QSizeF(assets::kPictureSize) * ratio));
    }
  }

  // 127 at the top, 0 at the bottom: every way of moving the bar agrees with that.
  void velocityBarFollowsItsPicture_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("velocity");
    const std::pair<QString, int> kFrom100[] = {{"Up", 101},   {"Down", 99}, {"PgUp", 101}, {"PgDown", 99},
                                                {"Home", 127}, {"End", 0},   {"away", 101}, {"back", 99},
                                                {"top", 127},  {"bottom", 0}};
    for (const auto& [input, velocity] : kFrom100) QTest::newRow(qPrintable(input)) << input << velocity;
  }
  void velocityBarFollowsItsPicture() {
    QFETCH(QString, input);
    QFETCH(int, velocity);
    Window w;
    QScrollBar* vol = w.form.vol();
    QCOMPARE(vol->value(), 127);
    vol->setValue(100);
    const QPoint middle = vol->rect().center();
    if (input == "away" || input == "back") {  // the wheel
      QWheelEvent wheel(middle, vol->mapToGlobal(middle), {}, {0, input == "away" ? 120 : -120}, Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(vol, &wheel);
    } else if (input == "top" || input == "bottom") {  // a middle click puts the thumb there
      QTest::mouseClick(vol, Qt::MiddleButton, {}, {middle.x(), input == "top" ? 20 : vol->height() - 20});
    } else {
      QTest::keyClick(vol, QKeySequence(input)[0].key());
    }
    QVERIFY2(w.form.panel().state().velocity == velocity, qPrintable(input));
    // What a screen reader says: the bar's name, and the velocity as its value.
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(vol);
    QCOMPARE(spoken->text(QAccessible::Name), QStringLiteral("Velocity"));
    QCOMPARE(spoken->valueInterface()->currentValue().toInt(), velocity);
  }

  // A label box shows nine characters of its font whole, the widest a keyboard types among them: whether the
  // program set them or the user typed them, once the box is not focused its first character is drawn at its
  // left edge, as it is drawn alone.
  void labelsShowWhole_data() {
    QTest::addColumn<int>("box");
    for (int box = 1; box <= 36; ++box) QTest::addRow("Text%d", box) << box;
  }
  void labelsShowWhole() {
    QFETCH(int, box);
    Window w({}, true);
    QLineEdit* edit = w.form.text(box);
    const QFontMetricsF metrics(edit->font());
    QChar widest;
    for (char16_t c = u'!'; c <= u'\xFF'; ++c) {
      const auto width = [&](QChar c) {
        return std::pair(metrics.horizontalAdvance(c), metrics.tightBoundingRect(c).width());
      };
      if (metrics.inFont(QChar(c)) && (widest.isNull() || width(QChar(c)) > width(widest))) widest = QChar(c);
    }
    const QString label(9, widest);
    QVERIFY(metrics.horizontalAdvance(label) <= edit->contentsRect().width());
    const int cell = static_cast<int>(metrics.horizontalAdvance(widest));
    const int bearing = std::max(0, QFontMetrics(edit->font()).leftBearing(widest));
    edit->setText(widest);
    const QImage alone = edit->grab().toImage().copy(0, 0, cell, edit->height());
    for (bool typed : {false, true}) {
      if (typed) {
        w.run("base");
        edit->clear();
        edit->setFocus();
        QTest::keyClicks(edit, label);
        w.run("base");
      } else {
        edit->setText(label);
      }
      QVERIFY(edit->text() == label && !edit->hasFocus());
      const QImage shown = edit->grab().toImage();
      int left = 0;
      const auto blank = [&](int x) {
        for (int y = 0; y < shown.height(); ++y)
          if (shown.pixelColor(x, y) != QColor(app::kLabelBoxBackground)) return false;
        return true;
      };
      while (left < shown.width() && blank(left)) ++left;
      QCOMPARE(left, bearing);
      QVERIFY2(shown.copy(0, 0, cell, edit->height()) == alone, typed ? "typed" : "set");
    }
  }

  // Only the panel checks a switch, with its note: every mouse button plays, the toolkit's ways do nothing.
  void switchesFollowThePanelOnly() {
    auto act = [](QWidget* key, const QString& action) {
      QAccessible::queryAccessibleInterface(key)->actionInterface()->doAction(action);
    };
    const std::function<void(app::SwitchButton*)> kWays[] = {
        [](auto* key) { QTest::keyClick(key, Qt::Key_Space); },
        [&](auto* key) { act(key, QAccessibleActionInterface::pressAction()); },
        [&](auto* key) { act(key, QAccessibleActionInterface::toggleAction()); }};
    for (bool on : {false, true}) {
      for (const auto& way : kWays) {
        Window w;
        app::SwitchButton* key = w.form.key(62);
        QTest::mouseClick(key, Qt::RightButton);
        QCOMPARE(w.midi.played(), (Sent{0x007F7A90, 0x00007A80}));
        if (on) w.form.panel().SwitchOn(62);
        w.midi.sent.clear();
        way(key);
        QTRY_VERIFY(!key->isDown());  // a screen reader's press is an animated click
        QVERIFY(key->isChecked() == on && w.form.panel().isOn(62) == on && w.midi.sent.empty());
      }
    }
  }

  // A message box, a menu, another window or a file dialog takes the keyboard: a key held as it opens comes
  // up there, and its note would hang.
  void leavingTheWindowReleasesHeldKeys_data() {
    QTest::addColumn<QString>("where");
    for (const char* where : {"about", "device", "menu", "window", "LBLload"})
      QTest::newRow(where) << QString(where);
  }
  void leavingTheWindowReleasesHeldKeys() {
    QFETCH(QString, where);
    const QString about = QStringLiteral("Quorvane Zelmora! Switches Module by ") + app::kCredit;
    Window w({}, true);
    w.midi.openResults[-1] = 4;
    QTest::keyPress(w.form.key(4), Qt::Key_S);
    QWidget other;
    if (where == "menu") w.form.findChild<QMenu*>(QStringLiteral("ChannelOption"))->popup({});
    if (where == "window") other.show(), QApplication::setActiveWindow(&other);
    if (where != "menu" && where != "window") w.run(qPrintable(where));
    QTRY_VERIFY2(!w.form.key(19)->isChecked(), qPrintable(where));
    // "device" opens the MIDI Mapper again, which refuses now.
    const QString box = where == "device" ? QStringLiteral("Couldn't open midi out, rc = 4") : QString();
    QCOMPARE(w.boxes.texts.join('|'), where == "about" ? about : box);
    QVERIFY(w.midi.sent.front().message == 0x7F4F90 && w.midi.sent.back().message == 0x4F80);
  }

  // The window sees every key first, whichever control has the focus; Shift changes nothing. The three status
  // lines show the last three texts, the oldest at the top, to the eye and to a screen reader. A status line
  // has no name of its own, so a screen reader reads its text (the toolkit announces it as a change of name):
  // the label as the user wrote it, markup and all.
  void keysPlayWhereverTheFocusIs() {
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int, const char*> kKeys[] = {
        {Qt::Key_Z, {}, 0, "Key Z pressed (<b>Z</b>)"},
        {Qt::Key_X, Qt::ShiftModifier, 2, "Key X pressed (Switch29)"},
        {Qt::Key_Comma, {}, 12, "Key (,) pressed (Switch35)"},
        {Qt::Key_1, Qt::KeypadModifier, -1, "Key (,) pressed (Switch35)"}};
    Window w;
    w.form.text(19)->setText("<b>Z</b>");
    w.form.key(33)->setFocus();
    Sent played;
    for (const auto& [key, modifiers, index, status] : kKeys) {
      renamed.clear();
      QTest::keyPress(w.form.key(33), key, modifiers);
      QCOMPARE(Spoken(w.form.lcd(1)), QString::fromLatin1(status));
      QCOMPARE(renamed.contains(w.form.lcd(1)), index >= 0);
      QTest::keyRelease(w.form.key(33), key, modifiers);
      const auto note = static_cast<std::uint32_t>(60 + index) << 8;
      if (index >= 0) played.insert(played.end(), {0x007F0090 | note, 0x80 | note});
    }
    QCOMPARE(w.midi.played(), played);
    for (int line = 1; line <= 3; ++line) {
      QCOMPARE(w.form.lcd(line)->text(), QString::fromLatin1(std::get<3>(kKeys[3 - line])));
      QCOMPARE(Spoken(w.form.lcd(line)), w.form.lcd(line)->text());
    }
  }

  // X11 repeats a held key as release-and-press pairs; with detectable auto-repeat it sends presses only, and
  // a release marked as repeated is a quick re-strike that plays again. Closing the window ends the held note
  // before it closes the port.
  void repeatedReleasesAndClosing() {
    for (bool releasesAreReal : {false, true}) {
      Window w;
      w.form.setReleasesAreReal(releasesAreReal);
      QTest::keyPress(w.form.key(4), Qt::Key_Z);
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"), true);
      QApplication::sendEvent(w.form.key(4), &release);
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"), true);
      QApplication::sendEvent(w.form.key(4), &press);
      QCOMPARE(w.midi.played(), (releasesAreReal ? Sent{0x7F3C90, 0x3C80, 0x7F3C90} : Sent{0x7F3C90}));
      w.form.close();
      QVERIFY(w.midi.openHandle == 0 && w.midi.faults.empty() && w.midi.sent.back().message == 0x3C80);
    }
  }

  // Editing, typing goes only to the box, nine characters at most; a label the program sets stays whole. The
  // file lists Text1 .. Text36, numbered by place, so rows 3 and 4 come out of the grid's order. A label
  // comes back whole, commas and quotes too, one longer than its box showing its start; a file that is
  // refused changes none.
  void labelsAreEditedSavedAndLoaded() {
    Window w({}, true);
    QTemporaryDir folder;
    const QString file = folder.filePath("show.lbl");
    w.run("LBLSave", file);
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList opening = Names("Switch", {{1, 18}, {28, 36}, {27, 19}}, 2);
    QCOMPARE(saved.readAll(), ("Zelmora\r\n" + opening.join("\r\n") + "\r\n").toLatin1());
    w.run("base");
    QLineEdit* box = w.form.text(19);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);  // the box shows its label's start until now
    QTest::keyClicks(box, QStringLiteral("zx"));
    QCOMPARE(box->text(), QStringLiteral("Switch28z"));
    QVERIFY(w.midi.sent.empty());
    box->setText(QStringLiteral("A long label from a file"));
    QTest::keyClick(box, Qt::Key_X);
    QCOMPARE(box->text(), QStringLiteral("A long label from a file"));
    w.run("base");
    QTest::keyPress(QApplication::focusWidget(), Qt::Key_Z);
    QCOMPARE(w.form.lcd(1)->text(), QStringLiteral("Key Z pressed (A long label from a file)"));
    QCOMPARE(w.midi.played(), Sent{0x007F3C90});
    w.form.text(5)->setText(QStringLiteral("ABCDEFGHI"));
    const QImage start = w.form.text(5)->grab().toImage();  // a longer label loaded shows this start too
    const std::pair<int, const char*> kTricky[] = {
        {1, "Kick, Snare"}, {2, "say \"hi\""}, {3, " Café "}, {4, ""}, {5, "ABCDEFGHIJKLMNOPQRST"}};
    for (const auto& [box, label] : kTricky) w.form.text(box)->setText(QString::fromUtf8(label));
    const QStringList labels = w.labels();
    w.run("LBLSave", file);
    for (int box = 1; box <= 36; ++box) w.form.text(box)->clear();
    w.run("LBLload", file);
    QCOMPARE(w.labels(), labels);
    QVERIFY(w.form.text(5)->grab().toImage() == start);
    QVERIFY(QFile::resize(file, 100));  // cut short: its first labels are read, yet none may change
    w.run("LBLload", file);
    QCOMPARE(w.boxes.texts, QStringList{"This 'Labels' file is incomplete. No label was changed."});
    QCOMPARE(w.labels(), labels);
  }

  // A name saved without an extension gets ".lbl"; when that names a file already there, it is replaced only
  // if the user says so, and the user is asked about nothing else.
  void savedNamesGetTheLabelsExtension() {
    QTemporaryDir folder;
    const QString taken = folder.filePath("taken.lbl");
    QVERIFY(QFile(taken).open(QIODevice::WriteOnly));
    const struct {
      QString chosen;
      QMessageBox::StandardButton answer;  // to the question, if it is asked
      bool asked;
      QString saved;
    } kCases[] = {
        {folder.filePath("set"), QMessageBox::Yes, false, folder.filePath("set.lbl")},
        {folder.filePath("set."), QMessageBox::Yes, false, folder.filePath("set.lbl")},
        {folder.filePath("set.txt"), QMessageBox::Yes, false, folder.filePath("set.txt")},
        {taken, QMessageBox::Yes, false, taken},  // the dialog asked itself
        {folder.filePath("taken"), QMessageBox::Yes, true, taken},
        {folder.filePath("taken"), QMessageBox::No, true, QString()},
    };
    for (const auto& c : kCases) {
      QString question;
      QTimer answer;  // answers the question, should it come
      QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
          question = box->text(), box->button(c.answer)->click();
      });
      answer.start(0);
      QCOMPARE(app::WithLabelsExtension(c.chosen, nullptr), c.saved);
      QCOMPARE(question,
               c.asked ? QString("taken.lbl already exists.\nDo you want to replace it?") : QString());
    }
  }

  // The toolkit's dialogs show labels files, the open form any file too (older labels files were not always
  // named *.lbl); the save form names a file ".lbl" before it looks for one to replace.
  void fileDialogsOfferLabelsFiles_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("shown");    // as it opens
    QTest::addColumn<QString>("offered");  // under any of its filters
    QTest::addColumn<QString>("chosen");   // when "gig" is
    const std::tuple<const char*, bool, QString, QString, QString> kRows[] = {
        {"open", false, "show.lbl", "gig notes.txt show.lbl", "gig"},
        {"save", true, "show.lbl", "show.lbl", "gig.lbl"}};
    for (const auto& [form, save, shown, offered, chosen] : kRows)
      QTest::newRow(form) << save << shown << offered << chosen;
  }
  void fileDialogsOfferLabelsFiles() {
    QFETCH(bool, save);
    QFETCH(QString, chosen);
    QTemporaryDir folder;
    for (const char* name : {"show.lbl", "gig", "notes.txt"})
      QVERIFY(QFile(folder.filePath(name)).open(QIODevice::WriteOnly));
    QStringList shown, offered, asked;
    bool chose = false;
    QTimer user;  // looks and chooses in the dialog once it is there, and says yes to any question
    QObject::connect(&user, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        return asked << box->text(), box->button(QMessageBox::Yes)->click();
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog || std::exchange(chose, true)) return;
      const auto listed = [&](const QString& filter) {
        return QDir(folder.path()).entryList(QPlatformFileDialogHelper::cleanFilterList(filter), QDir::Files);
      };
      shown = listed(dialog->selectedNameFilter());
      for (const QString& filter : dialog->nameFilters()) offered += listed(filter);
      dialog->selectFile(folder.filePath("gig"));
      // As its Open or Save button, from the event loop: this timer answers the question it may ask.
      QTimer::singleShot(0, dialog, &QDialog::accept);
    });
    user.start(0);
    app::QtFileDialogs dialogs;
    QCOMPARE(save ? dialogs.saveName(nullptr) : dialogs.openName(nullptr), folder.filePath(chosen));
    offered.removeDuplicates();
    offered.sort();
    QTEST(shown.join(' '), "shown");
    QTEST(offered.join(' '), "offered");
    QCOMPARE(asked, QStringList());
  }
};

QTEST_MAIN(Form1Test)
#include "Form1Test.moc"
