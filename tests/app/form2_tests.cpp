// The IP configuration dialog against simulated stations: showing, the key
// filter, Config with its checks and results, and the PC's own adapters.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit2.h"
#include "app_test_support.h"
#include "application.h"
#include "core/device.h"
#include "core/exchange.h"
#include "core/udp_endpoint.h"
#include "simulator.h"

using nimbrel::app::BoxRequest;
using nimbrel::app::TForm1;
using nimbrel::app::TForm2;
using nimbrel::app::test::BoxRecorder;
using nimbrel::app::test::GeneratedRow;
using nimbrel::app::test::RowTexts;
using nimbrel::test::FromHex;
using nimbrel::test::Simulator;

namespace {

constexpr const char* station_a = "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E";
constexpr const char* station_b = "XYZ9,172.20.0.7,172.20.0.1,255.255.0.0,172.20.0.1,00.1A.2B.3C.4D.99";
constexpr const char* search_hex = "53524348";

QStringList HexLog(const Simulator& simulator) {
  QStringList hex;
  for (const auto& datagram : simulator.Log()) {
    QString line;
    for (const std::uint8_t byte : datagram.bytes) line += QStringLiteral("%1").arg(byte, 2, 16, QChar(u'0'));
    hex << line;
  }
  return hex;
}

// Everything the stations received until a search request sent now arrives:
// a datagram sent before it cannot be missing.
QStringList HexLogUpToNewSearch(const Simulator& simulator, TForm1& form) {
  const auto before = simulator.Log().size();
  form.Button1->click();
  simulator.WaitForLog(before + 1);
  return HexLog(simulator);
}

void SelectRow(TForm1& form, int row) { form.list->setCurrentItem(form.list->topLevelItem(row)); }

QStringList Boxes4(const TForm2& dialog) {
  return {dialog.lip->text(), dialog.mask->text(), dialog.gw->text(), dialog.dns->text()};
}

QStringList Items(const QComboBox& combo) {
  QStringList items;
  for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
  return items;
}

QWidget* NextTabStop(QWidget* from) {
  QWidget* next = from->nextInFocusChain();
  while (next != from && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  return next;
}

// Runs `action` on this thread in a network namespace with nothing but
// loopback, then returns to the private network.
bool WithoutAdapters(const std::function<void()>& action) {
  const int own = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (own < 0) return false;
  const bool entered = ::unshare(CLONE_NEWNET) == 0;
  if (entered) action();
  const bool back = ::setns(own, CLONE_NEWNET) == 0;
  ::close(own);
  nimbrel::test::RequirePrivateNetwork();
  return entered && back;
}

// The main window with its dialog, the dialog shown on list row `row`.
struct Windows {
  TForm1 form;
  TForm2 dialog{&form};

  bool Show(int row) {
    SelectRow(form, row);
    dialog.show();
    return QTest::qWaitForWindowActive(&dialog);
  }
};

}  // namespace

class Form2Tests : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoxRecorder> boxes_;

  std::vector<BoxRequest>& Boxes() { return boxes_->boxes; }

 private slots:
  void initTestCase() {
    nimbrel::test::RequirePrivateNetwork();
    nimbrel::app::Application::SetTitle(QString::fromUtf8(nimbrel::app::application_title));
  }

  void init() {
    boxes_ = std::make_unique<BoxRecorder>();
    nimbrel::device_count = 0;
  }

  void cleanup() { boxes_.reset(); }

  void layout() {
    Simulator simulator({"--stations", "0"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QCOMPARE(nimbrel::app::Form2, &dialog);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("IP configuration"));
    QCOMPARE(dialog.size(), QSize(353, 181));
    QCOMPARE(dialog.minimumSize(), QSize(353, 181));
    QCOMPARE(dialog.maximumSize(), QSize(353, 181));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(!dialog.isSizeGripEnabled());
    QCOMPARE(dialog.font().pixelSize(), 11);
    QCOMPARE(dialog.font().families().value(0), QStringLiteral("Tahoma"));

    const struct {
      QWidget* control;
      QWidget* parent;
      QRect geometry;
      QString text;
    } controls[] = {
        {dialog.GroupBox1, &dialog, {8, 0, 193, 145}, "Configuration"},
        {dialog.Label1, dialog.GroupBox1, {3, 35, 52, 13}, "IP Address"},
        {dialog.Label2, dialog.GroupBox1, {3, 62, 67, 13}, "Network mask"},
        {dialog.Label3, dialog.GroupBox1, {3, 89, 43, 13}, "Gateway"},
        {dialog.Label7, dialog.GroupBox1, {3, 121, 20, 13}, "DNS"},
        {dialog.lip, dialog.GroupBox1, {74, 32, 111, 21}, {}},
        {dialog.mask, dialog.GroupBox1, {74, 59, 111, 21}, {}},
        {dialog.gw, dialog.GroupBox1, {74, 86, 111, 21}, {}},
        {dialog.dns, dialog.GroupBox1, {74, 113, 111, 21}, {}},
        {dialog.Button1, &dialog, {219, 41, 126, 25}, "Config"},
        {dialog.Button2, &dialog, {219, 84, 126, 25}, "Close"},
        {dialog.Button3, &dialog, {8, 151, 193, 25}, "Get configuration from current PC"},
        {dialog.GroupBox2, &dialog, {8, 190, 337, 149}, "Adapter settings"},
        {dialog.ComboBox1, dialog.GroupBox2, {3, 20, 331, 22}, {}},
        {dialog.Label6, dialog.GroupBox2, {3, 51, 52, 13}, "IP Address"},
        {dialog.Label5, dialog.GroupBox2, {3, 78, 67, 13}, "Network mask"},
        {dialog.Label4, dialog.GroupBox2, {3, 105, 43, 13}, "Gateway"},
        {dialog.ad_ip, dialog.GroupBox2, {74, 48, 111, 21}, {}},
        {dialog.ad_mask, dialog.GroupBox2, {74, 75, 111, 21}, {}},
        {dialog.ad_gw, dialog.GroupBox2, {74, 102, 111, 21}, {}},
        {dialog.copy_button, dialog.GroupBox2, {208, 75, 108, 25}, "Copy settings"},
        {dialog.ad_dns, &dialog, {82, 382, 111, 21}, {}},
    };
    for (const auto& [control, parent, geometry, text] : controls) {
      QCOMPARE(control->parentWidget(), parent);
      if (auto* label = qobject_cast<QLabel*>(control)) {
        // A label is as wide as its text, at least its place in the layout.
        QCOMPARE(label->pos(), geometry.topLeft());
        QVERIFY(label->width() >= geometry.width());
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(text));
        QVERIFY(label->height() >= geometry.height());
      } else {
        QCOMPARE(control->geometry(), geometry);
      }
      QCOMPARE(control->font().pixelSize(), 11);
      if (auto* button = qobject_cast<QPushButton*>(control)) {
        QCOMPARE(button->text(), text);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
      }
      if (auto* label = qobject_cast<QLabel*>(control)) QCOMPARE(label->text(), text);
      if (auto* group = qobject_cast<QGroupBox*>(control)) QCOMPARE(group->title(), text);
      if (auto* box = qobject_cast<QLineEdit*>(control)) {
        QVERIFY(box->text().isEmpty());
        QCOMPARE(box->maxLength(), 32767);  // Qt's own bound, far beyond any address
      }
    }
    QVERIFY(!dialog.ComboBox1->isEditable());
    QCOMPARE(dialog.ComboBox1->count(), 0);

    const std::vector<QWidget*> tab_order{dialog.lip,     dialog.mask,    dialog.gw,          dialog.dns,
                                          dialog.Button1, dialog.Button2, dialog.Button3,     dialog.ComboBox1,
                                          dialog.ad_gw,   dialog.ad_mask, dialog.ad_ip,       dialog.copy_button,
                                          dialog.ad_dns,  dialog.lip};
    for (std::size_t i = 0; i + 1 < tab_order.size(); ++i)
      QCOMPARE(NextTabStop(tab_order[i]), tab_order[i + 1]);
  }

  void showingOnRow_data() {
    QTest::addColumn<int>("row");
    QTest::newRow("first") << 0;
    QTest::newRow("third") << 2;
  }

  void showingOnRow() {
    QFETCH(int, row);
    Simulator simulator({"--station", station_a, "--station", station_b, "--stations", "1"});
    Windows windows;
    QVERIFY(windows.Show(row));
    const TForm2& dialog = windows.dialog;
    const QStringList cells = RowTexts(*windows.form.list)[row].split(u'|');

    QCOMPARE(dialog.cur_device, row + 1);
    QCOMPARE(dialog.windowTitle(), " " + cells[1] + " " + cells[6]);
    QCOMPARE(Boxes4(dialog), (QStringList{cells[2], cells[4], cells[3], cells[5]}));
    // Centred, and no box given the focus by the showing.
    const QRect screen = dialog.screen()->availableGeometry();
    QVERIFY(qAbs(dialog.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(dialog.frameGeometry().center().y() - screen.center().y()) <= 1);
    QCOMPARE(dialog.size(), QSize(353, 181));
  }

  // As a user opens it: a double-click on a row, the main window blocked
  // while the dialog is up.
  void doubleClickOpensModalDialog() {
    Simulator simulator;
    Windows windows;
    TForm1& form = windows.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    struct {
      bool shown = false, main_window_blocked = false;
      QString caption;
    } seen;
    // Mouse events pass through the window system and may run the event
    // loop before the double-click arrives: wait for the dialog to appear.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, &form, [&] {
      if (!windows.dialog.isVisible()) return;
      watcher.stop();
      seen = {true, QApplication::activeModalWidget() == &windows.dialog, windows.dialog.windowTitle()};
      windows.dialog.Button2->click();
    });
    watcher.start(5);
    const QPoint at = form.list->visualItemRect(form.list->topLevelItem(1)).center();
    QTest::mouseClick(form.list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(form.list->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY_WITH_TIMEOUT(seen.shown, 2000);
    watcher.stop();
    QVERIFY(seen.shown);
    QVERIFY(seen.main_window_blocked);
    QCOMPARE(seen.caption, QStringLiteral(" S002 02.4E.42.00.00.02"));
    QVERIFY(!windows.dialog.isVisible());
  }

  // Close and the close box send nothing, run no discovery, and the next
  // showing refills the boxes.
  void abandonedEditsAreGone() {
    Simulator simulator;
    Windows windows;
    TForm2& dialog = windows.dialog;
    const auto abandon = [&](int row, const std::function<void()>& how) {
      QVERIFY(windows.Show(row));
      dialog.lip->setText(QStringLiteral("1.2.3.4"));
      dialog.dns->setText(QStringLiteral("9.9.9.9"));
      how();
      QVERIFY(!dialog.isVisible());
    };
    abandon(0, [&] { dialog.Button2->click(); });
    abandon(0, [&] { dialog.close(); });
    QVERIFY(windows.Show(0));
    QCOMPARE(Boxes4(dialog), (QStringList{"10.0.0.101", "255.0.0.0", "10.0.0.1", "10.0.0.1"}));
    dialog.close();
    QVERIFY(windows.Show(2));
    QCOMPARE(Boxes4(dialog), (QStringList{"10.0.0.103", "255.0.0.0", "10.0.0.1", "10.0.0.1"}));
    dialog.close();

    QCOMPARE(HexLogUpToNewSearch(simulator, windows.form), (QStringList{search_hex, search_hex}));
    QVERIFY(Boxes().empty());
  }

  void configAppliedEndToEnd() {
    Simulator simulator({"--station", station_a, "--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    // Typed with leading zeros: read as a person reads them.
    dialog.lip->setText(QStringLiteral("192.168.001.010"));
    dialog.mask->setText(QStringLiteral("255.255.255.0"));
    dialog.gw->setText(QStringLiteral("192.168.1.1"));
    dialog.dns->setText(QStringLiteral("8.8.8.8"));
    std::size_t received_at_box = 0;
    boxes_->while_open = [&](const BoxRequest&) { received_at_box = simulator.Log().size(); };

    dialog.Button1->click();

    QCOMPARE(Boxes().size(), std::size_t{1});
    const BoxRequest& box = Boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Successful."));
    QCOMPARE(box.caption, QStringLiteral("Configure"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.application_modal);
    QVERIFY(!dialog.isVisible());
    // The search, the request (while the box was up, no discovery yet), then
    // the discovery after it.
    const auto log = simulator.WaitForLog(3);
    QCOMPARE(received_at_box, std::size_t{2});
    QCOMPARE(HexLog(simulator), (QStringList{search_hex,
                                             "53455451"       // SETQ
                                             "c0a80101"       // gateway 192.168.1.1
                                             "ffffff00"       // mask
                                             "c0a8010a"       // address 192.168.1.10
                                             "001a2b3c4d5e"   // the station's MAC
                                             "08080808",      // DNS
                                             search_hex}));
    QCOMPARE(QString::fromStdString(log[1].from), QStringLiteral("192.168.1.10:8444"));
    QCOMPARE(RowTexts(*windows.form.list),
             (QStringList{"1|ABC1|192.168.1.10|192.168.1.1|255.255.255.0|8.8.8.8|00.1A.2B.3C.4D.5E",
                          GeneratedRow(2, 2)}));
    QVERIFY(QString::fromStdString(simulator.State()).contains(QStringLiteral("\"ip\":\"192.168.1.10\"")));
  }

  void resultOfAnswer_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("text");
    QTest::newRow("SETR and more") << "normal" << "Successful.";
    QTest::newRow("no answer") << "none" << "Error.";
    QTest::newRow("lower case") << "lower" << "Error.";
    QTest::newRow("three letters") << "short" << "Error.";
  }

  void resultOfAnswer() {
    QFETCH(QString, reply);
    QFETCH(QString, text);
    Simulator simulator({"--stations", "1", "--config-reply", reply.toStdString()});
    Windows windows;
    QVERIFY(windows.Show(0));
    windows.dialog.Button1->click();

    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, text);
    QCOMPARE(Boxes()[0].caption, QStringLiteral("Configure"));
    QCOMPARE(Boxes()[0].icon, text == "Error." ? QMessageBox::Critical : QMessageBox::NoIcon);
    QVERIFY(!Boxes()[0].application_modal);
    // Either way a discovery follows and the dialog closes.
    const auto log = simulator.WaitForLog(3);
    QCOMPARE(log.size(), std::size_t{3});
    QCOMPARE(log[2].bytes, FromHex(search_hex));
    QVERIFY(!windows.dialog.isVisible());
  }

  void mistypedBoxNeverReachesTheWire_data() {
    QTest::addColumn<int>("field");  // 0 address, 1 mask, 2 gateway, 3 DNS
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString not_address =
        QStringLiteral("\" is not an IPv4 address. Type four numbers from 0 to 255 separated by dots, such as "
                       "192.168.1.20.");
    const QString not_mask = QStringLiteral(
        "\" is not a network mask. Its one bits must run unbroken from the left, such as 255.255.255.0.");
    const QString not_usable = QStringLiteral(
        "\" cannot be a station's address. Type the address the station is to have, such as 192.168.1.20.");
    QTest::newRow("empty address") << 0 << "" << "IP Address \"" + not_address;
    QTest::newRow("three parts") << 0 << "192.168.1" << "IP Address \"192.168.1" + not_address;
    QTest::newRow("part above 255") << 0 << "192.168.1.256" << "IP Address \"192.168.1.256" + not_address;
    QTest::newRow("pasted letters") << 0 << "10.0.0.1O" << "IP Address \"10.0.0.1O" + not_address;
    QTest::newRow("pasted space") << 0 << "10.0.0.1 " << "IP Address \"10.0.0.1 " + not_address;
    QTest::newRow("hexadecimal") << 0 << "0x0a.0.0.1" << "IP Address \"0x0a.0.0.1" + not_address;
    QTest::newRow("any address") << 0 << "0.0.0.0" << "IP Address \"0.0.0.0" + not_usable;
    QTest::newRow("broadcast address") << 0 << "255.255.255.255" << "IP Address \"255.255.255.255" + not_usable;
    QTest::newRow("mask with a hole") << 1 << "255.0.255.0" << "Network mask \"255.0.255.0" + not_mask;
    QTest::newRow("empty mask") << 1 << "" << "Network mask \"" + not_address;
    QTest::newRow("gateway of two parts") << 2 << "10.1" << "Gateway \"10.1" + not_address;
    QTest::newRow("empty DNS") << 3 << "" << "DNS \"" + not_address;
  }

  void mistypedBoxNeverReachesTheWire() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    QLineEdit* const boxes[] = {dialog.lip, dialog.mask, dialog.gw, dialog.dns};
    boxes[field]->setText(typed);
    const QStringList as_typed = Boxes4(dialog);
    dialog.Button2->setFocus();

    dialog.Button1->click();

    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, message);
    QCOMPARE(Boxes()[0].caption, QStringLiteral("Configure"));
    QCOMPARE(Boxes()[0].icon, QMessageBox::Critical);
    QVERIFY(!Boxes()[0].application_modal);
    QVERIFY(dialog.isVisible());
    QCOMPARE(Boxes4(dialog), as_typed);
    QCOMPARE(QApplication::focusWidget(), boxes[field]);
    // Nothing sent and no discovery: only the search at start-up and ours.
    QCOMPARE(HexLogUpToNewSearch(simulator, windows.form), (QStringList{search_hex, search_hex}));
  }

  // Auto refresh may rebuild the list under the open dialog; the request
  // still goes to the station the dialog shows.
  void requestGoesToShownStation() {
    auto first = std::make_unique<Simulator>(std::vector<std::string>{"--station", station_a, "--station", station_b});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    QCOMPARE(dialog.windowTitle(), QStringLiteral(" ABC1 00.1A.2B.3C.4D.5E"));
    first.reset();
    Simulator reordered({"--station", station_b, "--station", station_a});
    windows.form.Button1->click();
    QCOMPARE(RowTexts(*windows.form.list).value(0).section(u'|', 1, 1), QStringLiteral("XYZ9"));

    dialog.lip->setText(QStringLiteral("192.168.1.77"));
    dialog.Button1->click();

    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, QStringLiteral("Successful."));
    const auto log = reordered.WaitForLog(3);
    QCOMPARE(log.size(), std::size_t{3});
    QCOMPARE(log[1].bytes, FromHex("53455451c0a80101ffffff00c0a8014d001a2b3c4d5e0a000001"));
    QCOMPARE(RowTexts(*windows.form.list),
             (QStringList{"1|XYZ9|172.20.0.7|172.20.0.1|255.255.0.0|172.20.0.1|00.1A.2B.3C.4D.99",
                          "2|ABC1|192.168.1.77|192.168.1.1|255.255.255.0|10.0.0.1|00.1A.2B.3C.4D.5E"}));
  }

  // A failure of the exchange itself goes to the default error report; the
  // dialog stays open as it was and no discovery runs.
  void exchangeFailureIsReported() {
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    dialog.gw->setText(QStringLiteral("10.0.0.254"));
    const QStringList as_typed = Boxes4(dialog);
    {
      nimbrel::UdpEndpoint holder;
      holder.BindAny(nimbrel::tool_port);
      dialog.Button1->click();
    }
    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, QStringLiteral("Could not bind socket. Address and port are already in use."));
    QCOMPARE(Boxes()[0].caption, QStringLiteral("Nimbrel Configuration Tool"));
    QCOMPARE(Boxes()[0].icon, QMessageBox::Critical);
    QVERIFY(dialog.isVisible());
    QCOMPARE(Boxes4(dialog), as_typed);
    QCOMPARE(HexLogUpToNewSearch(simulator, windows.form), (QStringList{search_hex, search_hex}));
  }

  void keyFilter_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");  // what the keyboard types, when not the key's own
    QTest::addColumn<QString>("after");
    // Each box holds "1.2" and has just had "3" typed at its end.
    QTest::newRow("digit") << int(Qt::Key_7) << 0 << "" << "1.237";
    QTest::newRow("dot") << int(Qt::Key_Period) << 0 << "" << "1.23.";
    QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << "" << "1.2";
    QTest::newRow("letter") << int(Qt::Key_A) << 0 << "" << "1.23";
    QTest::newRow("capital letter") << int(Qt::Key_X) << int(Qt::ShiftModifier) << "X" << "1.23";
    QTest::newRow("accented letter") << int(Qt::Key_Eacute) << 0 << "\u00e9" << "1.23";
    QTest::newRow("space") << int(Qt::Key_Space) << 0 << "" << "1.23";
    QTest::newRow("comma") << int(Qt::Key_Comma) << 0 << "" << "1.23";
    QTest::newRow("slash") << int(Qt::Key_Slash) << 0 << "" << "1.23";
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "" << "1.23";
    QTest::newRow("Escape") << int(Qt::Key_Escape) << 0 << "" << "1.23";
    QTest::newRow("Ctrl+A, no selection") << int(Qt::Key_A) << int(Qt::ControlModifier) << "" << "1.23";
    QTest::newRow("Ctrl+Z, no undo") << int(Qt::Key_Z) << int(Qt::ControlModifier) << "" << "1.23";
    // Keys that type no character are not filtered.
    QTest::newRow("Left and Delete") << int(Qt::Key_Left) << 0 << "" << "1.2";
    QTest::newRow("Home") << int(Qt::Key_Home) << 0 << "" << "1.23";
  }

  void keyFilter() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(QString, after);
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    for (QLineEdit* box : {dialog.lip, dialog.mask, dialog.gw, dialog.dns, dialog.ad_ip, dialog.ad_mask, dialog.ad_gw,
                           dialog.ad_dns}) {
      box->setText(QStringLiteral("1.2"));
      box->setFocus();
      QTest::keyClick(box, Qt::Key_3);
      const auto mods = Qt::KeyboardModifiers(modifiers);
      if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key(key), mods);
      } else {
        QTest::sendKeyEvent(QTest::Press, box, Qt::Key(key), text, mods);
        QTest::sendKeyEvent(QTest::Release, box, Qt::Key(key), text, mods);
      }
      if (key == Qt::Key_Left) QTest::keyClick(box, Qt::Key_Delete);  // also typed nothing
      QCOMPARE(box->text(), after);
      QVERIFY(!box->hasSelectedText());
      QCOMPARE(QApplication::focusWidget(), box);
      QVERIFY(dialog.isVisible());
    }
    QVERIFY(Boxes().empty());
  }

  // Copy, cut and paste work, pasted text is not filtered, Tab moves on.
  void editingKeysWork() {
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    QLineEdit* box = dialog.mask;
    box->setFocus();
    box->setText(QStringLiteral("255.255.0.0"));
    box->setSelection(0, 4);
    QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("255."));
    QTest::keyClick(box, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("255.0.0"));
    QApplication::clipboard()->setText(QStringLiteral("ab c"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("ab c255.0.0"));
    QTest::keyClick(box, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), dialog.gw);
  }

  // Neither Enter nor Escape closes the dialog or clicks a button.
  void enterAndEscapeDoNothing() {
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    for (QWidget* focus : std::initializer_list<QWidget*>{dialog.Button1, dialog.Button2, dialog.Button3, dialog.lip}) {
      focus->setFocus();
      for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(focus, key);
      QVERIFY(dialog.isVisible());
    }
    QCOMPARE(dialog.ComboBox1->count(), 0);
    QVERIFY(Boxes().empty());
    QCOMPARE(HexLogUpToNewSearch(simulator, windows.form), (QStringList{search_hex, search_hex}));
  }

  // The PC's adapters, from interfaces this test adds to its private
  // network beside the PC's own link nb-pc.
  void hostAdapters() {
    nimbrel::test::RunIpHere({"link", "add", "nb-ad1", "type", "veth", "peer", "name", "nb-ad2"});
    nimbrel::test::RunIpHere({"link", "set", "nb-ad1", "up"});
    nimbrel::test::RunIpHere({"link", "set", "nb-ad2", "up"});
    nimbrel::test::RunIpHere({"address", "add", "172.16.5.9/20", "dev", "nb-ad1"});
    nimbrel::test::RunIpHere({"address", "add", "192.168.77.5/16", "dev", "nb-ad1"});
    nimbrel::test::RunIpHere({"route", "add", "172.30.0.0/16", "via", "172.16.0.254", "dev", "nb-ad1"});
    struct Adapter {
      QString name, ip, mask, gateway;
    };
    std::vector<Adapter> expected{{"nb-pc", "192.168.1.10", "255.255.255.0", "0.0.0.0"},
                                  {"nb-ad1", "172.16.5.9", "255.255.240.0", "172.16.0.254"},
                                  {"nb-ad2", "0.0.0.0", "0.0.0.0", "0.0.0.0"}};
    std::ranges::sort(expected, {}, [](const Adapter& a) { return ::if_nametoindex(a.name.toUtf8().constData()); });
    QStringList names;
    for (const Adapter& adapter : expected) names << adapter.name;

    Simulator simulator;
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    const auto adapter_boxes = [&] { return QStringList{dialog.ad_ip->text(), dialog.ad_mask->text(), dialog.ad_gw->text()}; };
    const auto of = [](const Adapter& a) { return QStringList{a.ip, a.mask, a.gateway}; };
    const QString dns_before = dialog.dns->text();

    dialog.ad_ip->setText(QStringLiteral("typed"));
    dialog.Button3->click();
    QCOMPARE(Items(*dialog.ComboBox1), names);
    QCOMPARE(dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE(adapter_boxes(), of(expected[0]));
    QCOMPARE(dialog.frameGeometry().height(), 347);
    QCOMPARE(dialog.width(), 353);

    // Picking the third item, as the keyboard does it, overwrites typing.
    dialog.ad_gw->setText(QStringLiteral("typed"));
    dialog.ComboBox1->setFocus();
    QTest::keyClick(dialog.ComboBox1, Qt::Key_Down);
    QTest::keyClick(dialog.ComboBox1, Qt::Key_Down);
    QCOMPARE(dialog.ComboBox1->currentIndex(), 2);
    QCOMPARE(adapter_boxes(), of(expected[2]));

    const auto nb_ad1 = std::ranges::find(expected, QStringLiteral("nb-ad1"), &Adapter::name) - expected.begin();
    dialog.ComboBox1->setCurrentIndex(static_cast<int>(nb_ad1));
    emit dialog.ComboBox1->activated(static_cast<int>(nb_ad1));
    QCOMPARE(adapter_boxes(), of(expected[static_cast<std::size_t>(nb_ad1)]));

    dialog.Button2->setFocus();
    dialog.copy_button->click();
    QCOMPARE(Boxes4(dialog), (QStringList{"172.16.5.9", "255.255.240.0", "172.16.0.254", dns_before}));
    QCOMPARE(QApplication::focusWidget(), dialog.lip);
    QCOMPARE(dialog.lip->cursorPosition(), dialog.lip->text().size());
    QVERIFY(!dialog.lip->hasSelectedText());

    // What was copied is what Config sends.
    dialog.Button1->click();
    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, QStringLiteral("Successful."));
    const auto log = simulator.WaitForLog(2);
    QCOMPARE(log[1].bytes, FromHex("53455451"
                                   "ac1000fe"       // gateway 172.16.0.254
                                   "fffff000"       // mask 255.255.240.0
                                   "ac100509"       // address 172.16.5.9
                                   "024e42000001"   // station S001
                                   "0a000001"));    // DNS as it was

    // Shown again for another device: still enlarged, the same items and
    // adapter boxes; the device boxes refilled.
    QVERIFY(windows.Show(1));
    QCOMPARE(dialog.frameGeometry().height(), 347);
    QCOMPARE(Items(*dialog.ComboBox1), names);
    QCOMPARE(adapter_boxes(), of(expected[static_cast<std::size_t>(nb_ad1)]));
    QCOMPARE(dialog.lip->text(), QStringLiteral("10.0.0.102"));

    // Reading again rebuilds the items and starts from the first.
    dialog.Button3->click();
    QCOMPARE(Items(*dialog.ComboBox1), names);
    QCOMPARE(dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE(adapter_boxes(), of(expected[0]));
    QCOMPARE(dialog.frameGeometry().height(), 347);
    nimbrel::test::RunIpHere({"link", "delete", "nb-ad1"});
  }

  // No adapter to list: one empty item, empty boxes, still enlarged, and no
  // message.
  void noAdapterToList() {
    Simulator simulator({"--stations", "1"});
    Windows windows;
    TForm2& dialog = windows.dialog;
    QVERIFY(windows.Show(0));
    for (QLineEdit* box : {dialog.ad_ip, dialog.ad_mask, dialog.ad_gw}) box->setText(QStringLiteral("typed"));
    QVERIFY(WithoutAdapters([&] { dialog.Button3->click(); }));
    QCOMPARE(Items(*dialog.ComboBox1), QStringList{QString()});
    QCOMPARE(dialog.ComboBox1->currentIndex(), 0);
    QCOMPARE((QStringList{dialog.ad_ip->text(), dialog.ad_mask->text(), dialog.ad_gw->text()}),
             (QStringList{"", "", ""}));
    QCOMPARE(dialog.frameGeometry().height(), 347);
    QVERIFY(Boxes().empty());
  }
};

NIMBREL_APP_TEST_MAIN(Form2Tests)

#include "form2_tests.moc"
