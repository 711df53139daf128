// The main window against simulated stations: discovery, the list, the row
// commands, auto refresh and the failure boundary.
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Unit1.h"
#include "app_test_support.h"
#include "application.h"
#include "core/device.h"
#include "core/exchange.h"
#include "core/udp_endpoint.h"
#include "launch.h"
#include "simulator.h"

using nimbrel::app::BoxRequest;
using nimbrel::app::TForm1;
using nimbrel::app::test::BoxRecorder;
using nimbrel::app::test::DrawnCell;
using nimbrel::app::test::GeneratedRow;
using nimbrel::app::test::RowText;
using nimbrel::app::test::RowTexts;
using nimbrel::app::test::Searches;
using nimbrel::app::test::Words;
using nimbrel::test::Simulator;

namespace {

constexpr const char* fixture_station = "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E";
constexpr const char* bind_failure = "Could not bind socket. Address and port are already in use.";
constexpr const char* too_long_failure = "Socket Error # 10040\nMessage too long.";

QString Text(const nimbrel::ShortText& field) { return QString::fromStdU16String(field.Read()); }

bool NothingSelected(const TForm1& form) {
  return form.list->selectionModel()->selectedRows().isEmpty() && !form.list->currentIndex().isValid();
}

void SelectRow(TForm1& form, int row) { form.list->setCurrentItem(form.list->topLevelItem(row)); }

QPoint RowCentre(const TForm1& form, int row) {
  return form.list->visualItemRect(form.list->topLevelItem(row)).center();
}

QPoint BelowRows(const TForm1& form) { return {60, form.list->viewport()->height() - 4}; }

}  // namespace

// Stands in for the desktop's browser.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void open(const QUrl& url) { urls << url; }
};

// An object whose event handler fails, as a faulty handler anywhere would.
class FailingObject : public QObject {
 public:
  bool event(QEvent*) override { throw std::runtime_error("event handler failed"); }
};

class Form1Tests : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir terminal_dir_;
  UrlRecorder browser_;
  std::unique_ptr<BoxRecorder> boxes_;
  QByteArray original_path_;

  // What the fake terminal was asked to run, one entry per start.
  QStringList Launches() const {
    QStringList launches;
    const QDir dir(terminal_dir_.path());
    for (const QString& name : dir.entryList({QStringLiteral("launch-*")}, QDir::Files, QDir::Name)) {
      if (name.endsWith(QStringLiteral(".part"))) continue;
      QFile file(dir.filePath(name));
      if (file.open(QIODevice::ReadOnly)) launches << QString::fromUtf8(file.readAll()).trimmed();
    }
    return launches;
  }

  void ClearLaunches() const {
    const QDir dir(terminal_dir_.path());
    for (const QString& name : dir.entryList({QStringLiteral("launch-*")}, QDir::Files)) QFile::remove(dir.filePath(name));
  }

  void WriteScript(const QString& path, const QByteArray& body) const {
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n" + body);
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  }

  std::vector<BoxRequest>& Boxes() { return boxes_->boxes; }

 private slots:
  void initTestCase() {
    nimbrel::test::RequirePrivateNetwork();
    nimbrel::app::Application::SetTitle(QString::fromUtf8(nimbrel::app::application_title));
    QVERIFY(terminal_dir_.isValid());
    // A terminal that records what it was asked to run, first on PATH.
    WriteScript(terminal_dir_.filePath(QStringLiteral("x-terminal-emulator")),
                "out=\"" + terminal_dir_.path().toUtf8() +
                    "/launch-$$\"\nprintf '%s\\n' \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n");
    original_path_ = qgetenv("PATH");
    qputenv("PATH", terminal_dir_.path().toUtf8() + ':' + original_path_);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser_, "open");
  }

  void cleanupTestCase() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    qputenv("PATH", original_path_);
  }

  void init() {
    boxes_ = std::make_unique<BoxRecorder>();
    nimbrel::device_count = 0;
    browser_.urls.clear();
    ClearLaunches();
  }

  void cleanup() { boxes_.reset(); }

  void announcementFixtureRow() {
    Simulator stations({"--station", fixture_station});
    TForm1 form;

    QCOMPARE(RowTexts(*form.list),
             QStringList{"1|ABC1|192.168.1.50|192.168.1.1|255.255.255.0|10.0.0.1|00.1A.2B.3C.4D.5E"});
    QCOMPARE(nimbrel::device_count, 1);
    const nimbrel::TDevice& device = nimbrel::devices[1];
    QCOMPARE(Text(device.id), QStringLiteral("ABC1"));
    QCOMPARE(Text(device.ip), QStringLiteral("192.168.1.50"));
    QCOMPARE(Text(device.gateway), QStringLiteral("192.168.1.1"));
    QCOMPARE(Text(device.netmask), QStringLiteral("255.255.255.0"));
    QCOMPARE(Text(device.dns_addr), QStringLiteral("10.0.0.1"));
    QCOMPARE(Text(device.mac_text), QStringLiteral("00.1A.2B.3C.4D.5E"));
    QVERIFY(device.mac == (nimbrel::MacBytes{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));

    // Exactly one request went out, the 4 bytes "SRCH" from the tool port.
    const auto received = stations.WaitForLog(1);
    QCOMPARE(received.size(), std::size_t{1});
    QCOMPARE(received[0].bytes, nimbrel::test::FromHex("53524348"));
    QCOMPARE(QString::fromStdString(received[0].from), QStringLiteral("192.168.1.10:8444"));
    QVERIFY(NothingSelected(form));
    QVERIFY(Boxes().empty());
  }

  void discoveriesWithoutFailure_data() {
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("none") << QStringList{"--stations", "0"} << QStringList{};
    QTest::newRow("one") << QStringList{"--stations", "1"} << QStringList{GeneratedRow(1, 1)};
    QTest::newRow("three") << QStringList{} << QStringList{GeneratedRow(1, 1), GeneratedRow(2, 2), GeneratedRow(3, 3)};
    QTest::newRow("answers 150 ms apart")
        << QStringList{"--pause", "150"} << QStringList{GeneratedRow(1, 1), GeneratedRow(2, 2), GeneratedRow(3, 3)};
    QTest::newRow("same station twice")
        << QStringList{"--stations", "1", "--twice"} << QStringList{GeneratedRow(1, 1), GeneratedRow(2, 1)};
    QTest::newRow("40-byte announcement")
        << QStringList{"--stations", "1", "--extra-bytes", "14"} << QStringList{GeneratedRow(1, 1)};
    QTest::newRow("empty datagram ends it")
        << QStringList{"--stations", "3", "--empty-after", "1"} << QStringList{GeneratedRow(1, 1)};
    // Only the datagram's own 10 bytes count; the rest reads as zero, not as
    // what the first announcement left in the buffer.
    QTest::newRow("10-byte datagram")
        << QStringList{"--stations", "1", "--short-after", "1", "--short-length", "10"}
        << QStringList{GeneratedRow(1, 1), "2|S001|0.0.0.0|10.0.0.1|255.0.0.0|0.0.0.0|00.00.00.00.00.00"};
  }

  void discoveriesWithoutFailure() {
    QFETCH(QStringList, stations);
    QFETCH(QStringList, rows);
    Simulator simulator(Words(stations));
    nimbrel::device_count = 42;
    TForm1 form;

    QCOMPARE(RowTexts(*form.list), rows);
    QCOMPARE(nimbrel::device_count, rows.size());
    for (int k = 1; k <= rows.size(); ++k) {
      const QStringList cells = rows[k - 1].split(u'|');
      QCOMPARE(Text(nimbrel::devices[k].id), cells[1]);
      QCOMPARE(Text(nimbrel::devices[k].ip), cells[2]);
      QCOMPARE(Text(nimbrel::devices[k].mac_text), cells[6]);
    }
    QVERIFY(NothingSelected(form));
    QVERIFY(Boxes().empty());
  }

  void refreshAfterThreeThenOne() {
    auto three = std::make_unique<Simulator>();
    TForm1 form;
    QCOMPARE(form.list->topLevelItemCount(), 3);
    SelectRow(form, 2);
    three.reset();

    Simulator one({"--station", fixture_station});
    form.Button1->click();
    QCOMPARE(RowTexts(*form.list),
             QStringList{"1|ABC1|192.168.1.50|192.168.1.1|255.255.255.0|10.0.0.1|00.1A.2B.3C.4D.5E"});
    QCOMPARE(nimbrel::device_count, 1);
    QVERIFY(NothingSelected(form));
    // Entries past the count keep what the earlier discovery stored.
    QCOMPARE(Text(nimbrel::devices[3].id), QStringLiteral("S003"));
    QVERIFY(Boxes().empty());
  }

  void failureBeforeFirstReceiveKeepsCount_data() {
    QTest::addColumn<bool>("hold_tool_port");
    QTest::addColumn<QStringList>("stations");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("searches");
    QTest::newRow("tool port held") << true << QStringList{"--stations", "2"} << bind_failure << 0;
    QTest::newRow("first datagram too long")
        << false << QStringList{"--stations", "2", "--oversize-after", "0"} << too_long_failure << 1;
  }

  void failureBeforeFirstReceiveKeepsCount() {
    QFETCH(bool, hold_tool_port);
    QFETCH(QStringList, stations);
    QFETCH(QString, message);
    QFETCH(int, searches);
    Simulator simulator(Words(stations));
    nimbrel::UdpEndpoint holder;
    if (hold_tool_port) holder.BindAny(nimbrel::tool_port);
    nimbrel::device_count = 7;  // as the previous discovery left it

    TForm1 form;
    QCOMPARE(form.list->topLevelItemCount(), 0);
    QCOMPARE(nimbrel::device_count, 7);
    QCOMPARE(Boxes().size(), std::size_t{1});
    const BoxRequest& box = Boxes()[0];
    QCOMPARE(box.text, message);
    QCOMPARE(box.caption, QStringLiteral("Error!"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.application_modal);
    QTest::qWait(100);
    QCOMPARE(Searches(simulator), searches);

    // Nothing stays held: the next discovery works once the port is free.
    holder.Close();
    Boxes().clear();
    form.Button1->click();
    QCOMPARE(Boxes().size(), hold_tool_port ? std::size_t{0} : std::size_t{1});
  }

  void oversizeAfterTwo() {
    Simulator simulator({"--stations", "3", "--oversize-after", "2"});
    nimbrel::device_count = 7;
    TForm1 form;
    QCOMPARE(RowTexts(*form.list), (QStringList{GeneratedRow(1, 1), GeneratedRow(2, 2)}));
    QCOMPARE(nimbrel::device_count, 2);
    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, QString::fromLatin1(too_long_failure));
    QCOMPARE(Boxes()[0].caption, QStringLiteral("Error!"));
  }

  // The error box leaves the main window working; a Refresh meanwhile finds
  // the tool port still held by the first discovery.
  void secondDiscoveryWhileErrorBoxOpen() {
    Simulator simulator({"--stations", "3", "--oversize-after", "2"});
    boxes_->while_open = [this](const BoxRequest&) {
      if (Boxes().size() == 1) nimbrel::app::Form1->Button1->click();
    };
    TForm1 form;
    QCOMPARE(Boxes().size(), std::size_t{2});
    QCOMPARE(Boxes()[0].text, QString::fromLatin1(too_long_failure));
    QCOMPARE(Boxes()[1].text, QString::fromLatin1(bind_failure));
    // The second emptied the list; the first touches neither list nor table again.
    QCOMPARE(form.list->topLevelItemCount(), 0);
    QCOMPARE(nimbrel::device_count, 2);
    QCOMPARE(Searches(simulator), 1);
  }

  void collectionEndsAtHundred() {
    Simulator simulator({"--stations", "120"});
    TForm1 form;
    QCOMPARE(form.list->topLevelItemCount(), 100);
    QCOMPARE(RowText(*form.list, 99), GeneratedRow(100, 100));
    QCOMPARE(nimbrel::device_count, 100);
    QVERIFY(Boxes().empty());
  }

  void windowLayout() {
    Simulator simulator({"--stations", "0"});
    TForm1 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Nimbrel Configuration Tool x64 ver 1.0.1 -  18.04.2016"));
    QCOMPARE(form.size(), QSize(595, 210));
    QCOMPARE(form.minimumSize(), QSize(595, 210));
    QCOMPARE(form.maximumSize(), QSize(595, 210));
    const Qt::WindowFlags flags = form.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Window);  // a window of its own, with a task-bar entry
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.font().pixelSize(), 11);

    const struct {
      QWidget* control;
      QRect geometry;
      QString text;
    } controls[] = {
        {form.list, {1, 1, 590, 177}, {}},
        {form.Button1, {368, 183, 115, 25}, "Refresh"},
        {form.Button2, {496, 183, 94, 25}, "Exit"},
        {form.autorefresh, {265, 187, 97, 17}, "Auto refresh 5s"},
        {form.Label1, {8, 191, 114, 13}, "http://nimbrel.example"},
        {form.Label2, {128, 191, 116, 13}, {}},
    };
    for (const auto& [control, geometry, text] : controls) {
      QCOMPARE(control->geometry(), geometry);
      if (text.isEmpty()) continue;
      if (auto* button = qobject_cast<QAbstractButton*>(control)) QCOMPARE(button->text(), text);
      if (auto* label = qobject_cast<QLabel*>(control)) QCOMPARE(label->text(), text);
    }
    QVERIFY(!form.Label2->text().isEmpty());
    // Each text fits its control in the font that was actually found.
    for (const auto& [control, geometry, text] : controls) {
      if (text.isEmpty()) continue;
      int room = control->contentsRect().width();
      if (auto* check = qobject_cast<QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(check);
        option.text = check->text();
        room = check->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, check).width();
      } else if (qobject_cast<QPushButton*>(control) != nullptr) {
        room -= 2 * control->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control);
      }
      const int advance = QFontMetrics(control->font()).horizontalAdvance(text);
      QVERIFY2(advance <= room, qPrintable(QStringLiteral("\"%1\" needs %2 of %3 pixels in %4")
                                               .arg(text)
                                               .arg(advance)
                                               .arg(room)
                                               .arg(QFontInfo(control->font()).family())));
    }
    QVERIFY(form.Label1->font().underline());
    QCOMPARE(form.Label1->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(form.Label2->font().italic());
    QVERIFY(!form.autorefresh->isChecked());

    QStringList captions;
    for (int column = 0; column < form.list->columnCount(); ++column)
      captions << form.list->headerItem()->text(column);
    QCOMPARE(captions, (QStringList{"№", "ID", "IP", "Gateway", "NetMask", "DNS", "MAC Addr"}));
    QCOMPARE(form.list->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(form.list->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!form.list->rootIsDecorated());
    QCOMPARE(form.list->contextMenuPolicy(), Qt::CustomContextMenu);
    QCOMPARE(form.list->layoutDirection(), Qt::LeftToRight);

    QStringList items;
    for (const QAction* action : form.PopupMenu1->actions()) {
      items << action->text();
      QVERIFY(action->isEnabled());
    }
    QCOMPARE(items, (QStringList{"Ping", "HTTP", "Send command", "IP configuration"}));
    QCOMPARE(form.Timer1->interval(), 5000);
    QCOMPARE(form.Timer1->timerType(), Qt::PreciseTimer);
    QVERIFY(!form.Timer1->isSingleShot());
    QVERIFY(!form.Timer1->isActive());

    // Centred when first shown; Tab walks Refresh, list, Exit, Auto refresh.
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QRect screen = form.screen()->availableGeometry();
    QVERIFY(qAbs(form.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(form.frameGeometry().center().y() - screen.center().y()) <= 1);
    QCOMPARE(QApplication::focusWidget(), form.Button1);
    for (QWidget* next : std::initializer_list<QWidget*>{form.list, form.Button2, form.autorefresh, form.Button1}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
  }

  // Widths as the standard look lays them out: a 1-pixel frame, a 14-pixel
  // scroll bar.
  void columnsShareFreeWidth_data() {
    QTest::addColumn<int>("list_width");
    QTest::addColumn<int>("stations");
    QTest::addColumn<QList<int>>("widths");
    QTest::newRow("as laid out") << 590 << 3 << QList<int>{35, 50, 95, 95, 95, 95, 123};
    QTest::newRow("with a scroll bar") << 590 << 40 << QList<int>{35, 50, 95, 95, 95, 95, 109};
    QTest::newRow("narrow") << 400 << 3 << QList<int>{35, 50, 62, 62, 62, 62, 65};
  }

  void columnsShareFreeWidth() {
    QFETCH(int, list_width);
    QFETCH(int, stations);
    QFETCH(QList<int>, widths);
    Simulator simulator({"--stations", std::to_string(stations)});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.list->resize(list_width, form.list->height());
    QCoreApplication::processEvents();

    QList<int> seen;
    for (int column = 0; column < form.list->columnCount(); ++column) seen << form.list->columnWidth(column);
    QCOMPARE(seen, widths);
    QCOMPARE(form.list->header()->length(), form.list->viewport()->width());
    if (list_width < 590) return;

    // What the rows show fits, and so does the widest address.
    const int margins = 2 * (form.list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, form.list) + 1);
    const QFontMetrics metrics(form.list->font());
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("255.255.255.255")) + margins <= widths[2]);
    for (int row = 0; row < form.list->topLevelItemCount(); ++row) {
      for (int column = 0; column < form.list->columnCount(); ++column) {
        const QString text = form.list->topLevelItem(row)->text(column);
        QVERIFY2(metrics.horizontalAdvance(text) + margins <= widths[column],
                 qPrintable(QStringLiteral("\"%1\" in %2 pixels").arg(text).arg(widths[column])));
      }
    }
  }

  // A dialog opened by a double-click refreshes the list before it closes;
  // no row may be selected afterwards, as after any discovery.
  void doubleClickLeavesNoSelectionAfterDialogRefresh() {
    Simulator simulator;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.list->topLevelItemCount(), 3);
    int opened = 0;
    form.show_ip_configuration = [&] {
      ++opened;
      form.Button1->click();
    };
    const QPoint at = RowCentre(form, 1);
    QTest::mouseClick(form.list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(form.list->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(opened, 1);
    QCoreApplication::processEvents();
    QCOMPARE(form.list->topLevelItemCount(), 3);
    QVERIFY(form.list->selectionModel()->selectedRows().isEmpty());
  }

  void rowCommandsFollowSelectedDeviceRule_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("effect");
    QTest::newRow("double-click") << "double-click" << "IP configuration of 2";
    QTest::newRow("IP configuration") << "IP configuration" << "IP configuration of 2";
    QTest::newRow("Send command") << "Send command" << "send command to 2";
    QTest::newRow("Ping") << "Ping" << "terminal: -e ping 10.0.0.102";
    QTest::newRow("HTTP") << "HTTP" << "browser: http://10.0.0.102";
  }

  void rowCommandsFollowSelectedDeviceRule() {
    QFETCH(QString, command);
    QFETCH(QString, effect);
    Simulator simulator;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.list->topLevelItemCount(), 3);

    QStringList dialogs;
    form.show_ip_configuration = [&] { dialogs << QStringLiteral("IP configuration of %1").arg(form.SelectedDevice()); };
    form.show_send_command = [&] { dialogs << QStringLiteral("send command to %1").arg(form.SelectedDevice()); };
    const auto run = [&](int row) {
      if (command == "double-click") {
        // As a mouse does it: the first click selects, the second makes it double.
        const QPoint at = row < 0 ? BelowRows(form) : RowCentre(form, row);
        QTest::mouseClick(form.list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(form.list->viewport(), Qt::LeftButton, {}, at);
      } else {
        QAction* action = command == "IP configuration" ? form.IP1
                          : command == "Send command"   ? form.Sendcommand1
                          : command == "Ping"           ? form.Ping1
                                                        : form.HTTP1;
        if (row >= 0) SelectRow(form, row);
        action->trigger();
      }
    };
    const auto effects = [&] {
      QStringList seen = dialogs;
      for (const QString& launch : Launches()) seen << "terminal: " + QString(launch).replace(u'\n', u' ');
      for (const QUrl& url : browser_.urls) seen << "browser: " + url.toString();
      return seen;
    };

    // No row selected: nothing happens.
    form.list->selectionModel()->clear();
    run(-1);
    QTest::qWait(300);
    QCOMPARE(effects(), QStringList{});

    // A selected row beyond device_count: nothing happens either.
    nimbrel::device_count = 1;
    run(1);
    QTest::qWait(300);
    QCOMPARE(effects(), QStringList{});

    nimbrel::device_count = 3;
    form.list->selectionModel()->clear();
    run(1);
    QTRY_COMPARE(effects(), QStringList{effect});
    QVERIFY(Boxes().empty());
  }

  // A real right-button press: on a row it chooses the row and the menu acts
  // on it; outside the rows the menu still opens, and with no row chosen its
  // commands do nothing.
  void contextMenuOnRowsAndOutside() {
    Simulator simulator;
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList opened;
    form.show_send_command = [&] { opened << QStringLiteral("send command to %1").arg(form.SelectedDevice()); };
    const auto right_press = [&](const QPoint& at) {
      QTest::mousePress(form.list->viewport(), Qt::RightButton, {}, at);
      QTRY_VERIFY(form.PopupMenu1->isVisible());
      QVERIFY((form.PopupMenu1->geometry().topLeft() - form.list->viewport()->mapToGlobal(at)).manhattanLength() <= 2);
    };
    const auto close_menu = [&](const QPoint& at) {
      form.PopupMenu1->close();
      QTest::mouseRelease(form.list->viewport(), Qt::RightButton, {}, at);
    };

    right_press(RowCentre(form, 1));
    QCOMPARE(form.SelectedDevice(), 2);
    form.Sendcommand1->trigger();
    close_menu(RowCentre(form, 1));
    QCOMPARE(opened, QStringList{"send command to 2"});

    form.list->selectionModel()->clear();
    right_press(BelowRows(form));
    QCOMPARE(form.SelectedDevice(), 0);
    form.Sendcommand1->trigger();
    form.Ping1->trigger();
    form.HTTP1->trigger();
    close_menu(BelowRows(form));
    QTest::qWait(300);
    QCOMPARE(opened, QStringList{"send command to 2"});
    QVERIFY(Launches().isEmpty());
    QVERIFY(browser_.urls.isEmpty());
  }

  void webLabelOpensMakerAddress() {
    Simulator simulator({"--stations", "0"});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.Label1, Qt::LeftButton);
    QCOMPARE(browser_.urls, QList<QUrl>{QUrl(QStringLiteral("http://nimbrel.example"))});
  }

  void pingTerminalConventions_data() {
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    const QString ping = QStringLiteral("ping");
    const QString address = QStringLiteral("10.0.0.5");
    QTest::newRow("x-terminal-emulator first")
        << QStringList{"xterm", "gnome-terminal", "x-terminal-emulator"} << "x-terminal-emulator"
        << QStringList{"-e", ping, address};
    QTest::newRow("gnome-terminal") << QStringList{"xterm", "gnome-terminal"} << "gnome-terminal"
                                    << QStringList{"--", ping, address};
    QTest::newRow("konsole") << QStringList{"konsole"} << "konsole" << QStringList{"-e", ping, address};
    QTest::newRow("xfce4-terminal") << QStringList{"xfce4-terminal"} << "xfce4-terminal"
                                    << QStringList{"-x", ping, address};
    QTest::newRow("kitty") << QStringList{"kitty"} << "kitty" << QStringList{ping, address};
    QTest::newRow("xterm") << QStringList{"xterm"} << "xterm" << QStringList{"-e", ping, address};
    QTest::newRow("no terminal") << QStringList{} << QString() << QStringList{};
  }

  void pingTerminalConventions() {
    QFETCH(QStringList, installed);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QTemporaryDir bin;
    for (const QString& name : installed) WriteScript(bin.filePath(name), "exit 0\n");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    const auto launch = nimbrel::app::PingLaunch(QStringLiteral("10.0.0.5"));
    const bool started = nimbrel::app::StartPing(QStringLiteral("10.0.0.5"));
    qputenv("PATH", path);

    QCOMPARE(started, !program.isEmpty());
    QCOMPARE(launch.has_value(), !program.isEmpty());
    if (!launch) return;
    QCOMPARE(QFileInfo(launch->program).fileName(), program);
    QCOMPARE(launch->arguments, arguments);
  }

  void autoRefresh() {
    Simulator simulator({"--stations", "1"});
    TForm1 form;
    QCOMPARE(Searches(simulator), 1);
    QList<bool> timer_running_while_listing;
    connect(form.list->model(), &QAbstractItemModel::rowsInserted, &form,
            [&] { timer_running_while_listing << form.Timer1->isActive(); });

    // Ticking starts a full interval and runs no discovery at once.
    form.autorefresh->click();
    QVERIFY(form.Timer1->isActive());
    QCOMPARE(form.Timer1->interval(), 5000);
    QVERIFY(form.Timer1->remainingTime() > 4000);
    QTest::qWait(300);
    QCOMPARE(Searches(simulator), 1);

    // A tick: timer stopped while discovering, started again afterwards.
    QVERIFY(QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection));
    QCOMPARE(Searches(simulator), 2);
    QCOMPARE(timer_running_while_listing, QList<bool>{false});
    QVERIFY(form.Timer1->isActive());
    QVERIFY(form.Timer1->remainingTime() > 4000);

    form.autorefresh->click();
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(Boxes().empty());
  }

  // Real ticks: the first automatic discovery a full interval after ticking,
  // the next a full interval after the previous one ended, never earlier.
  void autoRefreshFollowsRealTicks() {
    Simulator simulator({"--stations", "1"});
    TForm1 form;
    QElapsedTimer clock;
    QList<qint64> starts;
    QList<qint64> ends;
    // Connected after the window's own handler: "clicked" comes here once
    // the discovery is over.
    connect(form.Button1, &QPushButton::pressed, &form, [&] { starts << clock.elapsed(); });
    connect(form.Button1, &QPushButton::clicked, &form, [&] { ends << clock.elapsed(); });
    clock.start();
    form.autorefresh->click();
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 2, 15000);
    form.autorefresh->click();
    QCOMPARE(Searches(simulator), 3);
    QVERIFY2(starts[0] >= 5000 && starts[0] < 5000 + 1000, qPrintable(QString::number(starts[0])));
    QVERIFY2(starts[1] - ends[0] >= 5000 && starts[1] - ends[0] < 5000 + 1000,
             qPrintable(QString::number(starts[1] - ends[0])));
    QVERIFY(Boxes().empty());
  }

  // A failed discovery touches the list no more once its error box is closed:
  // a row the user chose meanwhile stays chosen.
  void selectionKeptAfterFailedDiscovery() {
    Simulator simulator({"--stations", "3", "--oversize-after", "2"});
    TForm1 form;
    QCOMPARE(form.list->topLevelItemCount(), 2);
    QTest::qWait(300);  // the third station's late answer finds no endpoint open
    boxes_->while_open = [&form](const BoxRequest&) { SelectRow(form, 1); };
    form.Button1->click();
    QCOMPARE(Boxes().size(), std::size_t{2});
    QCOMPARE(Boxes()[1].text, QString::fromLatin1(too_long_failure));
    QCOMPARE(RowTexts(*form.list), (QStringList{GeneratedRow(1, 1), GeneratedRow(2, 2)}));
    QCOMPARE(form.SelectedDevice(), 2);
  }

  // The standard look, as when the program's style is not found: the list
  // still closes every cell with a grid line.
  void gridLinesInStandardLook() {
    QVERIFY(qApp->styleSheet().isEmpty());
    Simulator simulator({"--stations", "2"});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (const auto& [row, column] : {std::pair{0, 0}, std::pair{0, 3}, std::pair{1, 6}}) {
      const auto cell = DrawnCell(*form.list, row, column);
      QVERIFY(cell.right_edge != cell.inside);
      QCOMPARE(cell.bottom_edge, cell.right_edge);
    }
  }

  void exitClosesWindow() {
    Simulator simulator({"--stations", "0"});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.autorefresh->click();
    QSignalSpy closed(&form, &TForm1::closed);
    QTest::mouseClick(form.Button2, Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!form.isVisible());
    QVERIFY(Boxes().empty());
  }

  void failureLeavingHandlerIsReported() {
    Simulator simulator({"--stations", "1"});
    TForm1 form;
    SelectRow(form, 0);
    form.show_ip_configuration = [] { throw std::runtime_error("dialog failed"); };
    form.show_send_command = [] { throw 42; };

    form.IP1->trigger();
    form.Sendcommand1->trigger();
    FailingObject failing;
    QEvent event(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&failing, &event));

    QCOMPARE(Boxes().size(), std::size_t{3});
    const QStringList texts{"dialog failed", "An unexpected error occurred.", "event handler failed"};
    for (std::size_t i = 0; i < Boxes().size(); ++i) {
      QCOMPARE(Boxes()[i].text, texts[static_cast<int>(i)]);
      QCOMPARE(Boxes()[i].caption, QStringLiteral("Nimbrel Configuration Tool"));
      QCOMPARE(Boxes()[i].icon, QMessageBox::Critical);
      QCOMPARE(Boxes()[i].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    // The program goes on.
    form.Button1->click();
    QCOMPARE(form.list->topLevelItemCount(), 1);
  }

  // The real box, not the recorder: no owner, and the main window stays
  // usable while it waits.
  void errorBoxHasNoOwner() {
    boxes_.reset();
    Simulator simulator({"--stations", "0"});
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    struct Seen {
      bool found = false;
      QString caption, text;
      QMessageBox::Icon icon = QMessageBox::NoIcon;
      int buttons = 0;
      bool owned = true, main_window_usable = false;
    } seen;
    QTimer::singleShot(0, &form, [&] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box == nullptr || !box->isVisible()) continue;
        seen = {true, box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size()),
                box->parentWidget() != nullptr,
                form.isEnabled() && QApplication::activeModalWidget() == nullptr};
        box->button(QMessageBox::Ok)->click();
      }
    });
    TForm1::ShowError(QStringLiteral("Socket Error # 10065\nNo route to host."));
    QVERIFY(seen.found);
    QCOMPARE(seen.caption, QStringLiteral("Error!"));
    QCOMPARE(seen.text, QStringLiteral("Socket Error # 10065\nNo route to host."));
    QCOMPARE(seen.icon, QMessageBox::Critical);
    QCOMPARE(seen.buttons, 1);
    QVERIFY(!seen.owned);
    QVERIFY(seen.main_window_usable);
  }
};

NIMBREL_APP_TEST_MAIN(Form1Tests)

#include "form1_tests.moc"
