// The send command dialog against simulated stations: what reaches the wire,
// the length rule, the refresh afterwards, and the ways it closes.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Unit1.h"
#include "Unit3.h"
#include "app_test_support.h"
#include "application.h"
#include "core/device.h"
#include "core/exchange.h"
#include "core/udp_endpoint.h"
#include "simulator.h"
#include "startup.h"

using nimbrel::app::BoxRequest;
using nimbrel::app::CreateForm3;
using nimbrel::app::TForm1;
using nimbrel::app::TForm3;
using nimbrel::app::test::BoxRecorder;
using nimbrel::app::test::RowTexts;
using nimbrel::app::test::Searches;
using nimbrel::test::FromHex;
using nimbrel::test::LoggedDatagram;
using nimbrel::test::Simulator;

namespace {

constexpr const char* station_a = "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E";
constexpr const char* station_b = "XYZ9,10.20.30.40,10.20.30.1,255.255.0.0,10.20.0.53,02.00.00.AA.BB.CC";
// Bytes 4 to 21 of each station's announcement: gateway, mask, address, MAC.
constexpr const char* station_a_tail = "c0a80101ffffff00c0a80132001a2b3c4d5e";
constexpr const char* station_b_tail = "0a141e01ffff00000a141e28020000aabbcc";

// What the stations received that is not a search request.
std::vector<LoggedDatagram> Commands(const Simulator& simulator) {
  std::vector<LoggedDatagram> commands;
  for (LoggedDatagram& datagram : simulator.Log())
    if (datagram.bytes != FromHex("53524348")) commands.push_back(std::move(datagram));
  return commands;
}

// Types the text key by key, as a keyboard with those characters would.
void Type(QWidget* widget, const QString& text) {
  for (const QChar character : text) {
    const auto key = static_cast<Qt::Key>(character.toUpper().unicode());
    QTest::sendKeyEvent(QTest::Press, widget, key, QString(character), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, key, QString(character), Qt::NoModifier);
  }
}

void SelectRow(TForm1& form, int row) { form.list->setCurrentItem(form.list->topLevelItem(row)); }

QMessageBox* VisibleBox() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) return box;
  return nullptr;
}

// Opens the dialog as the main window's "Send command" does for `row`, runs
// `inside` while it is open, then closes it with its close box if it is
// still open. Returns whether the dialog opened at all.
bool OpenAndRun(TForm1& form, TForm3& dialog, int row, const std::function<void()>& inside) {
  SelectRow(form, row);
  bool opened = false;
  QTimer::singleShot(0, &dialog, [&] {
    if (!dialog.isVisible()) return;
    opened = true;
    inside();
    if (dialog.isVisible()) dialog.close();
  });
  form.Sendcommand1->trigger();
  if (!opened) QCoreApplication::processEvents();  // let the timer go by harmlessly
  return opened;
}

}  // namespace

class Form3Tests : public QObject {
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
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Send command"));
    QCOMPARE(dialog->size(), QSize(262, 66));
    QCOMPARE(dialog->minimumSize(), QSize(262, 66));
    QCOMPARE(dialog->maximumSize(), QSize(262, 66));
    const Qt::WindowFlags flags = dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog->font().pixelSize(), 11);

    QCOMPARE(dialog->Label1->pos(), QPoint(16, 32));
    QVERIFY(dialog->Label1->width() >= 51);
    QVERIFY(dialog->Label1->geometry().right() < dialog->command->x());
    QCOMPARE(dialog->Label1->height(), 13);
    QCOMPARE(dialog->Label1->text(), QStringLiteral("Command:"));
    QCOMPARE(dialog->command->geometry(), QRect(80, 24, 81, 21));
    QCOMPARE(dialog->command->maxLength(), 4);
    QCOMPARE(dialog->Button1->geometry(), QRect(179, 22, 75, 25));
    QCOMPARE(dialog->Button1->text(), QStringLiteral("Send"));
    QVERIFY(!dialog->Button1->isDefault());
    QVERIFY(!dialog->Button1->autoDefault());
    // The texts fit their controls in the font the dialog ended up with.
    for (const QWidget* control : std::initializer_list<const QWidget*>{dialog->Label1, dialog->Button1}) {
      const QString text = control == dialog->Label1 ? dialog->Label1->text() : dialog->Button1->text();
      const int advance = QFontMetrics(control->font()).horizontalAdvance(text);
      QVERIFY2(advance <= control->contentsRect().width(),
               qPrintable(QStringLiteral("\"%1\" needs %2 pixels in %3").arg(text).arg(advance).arg(QFontInfo(control->font()).family())));
    }

    // Opened: centred on the screen, focus in the box, Tab on to Send.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QRect frame;
    QRect screen;
    QWidget* focus_on_open = nullptr;
    QWidget* focus_after_tab = nullptr;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      QVERIFY(QTest::qWaitForWindowExposed(dialog));
      frame = dialog->frameGeometry();
      screen = dialog->screen()->availableGeometry();
      focus_on_open = QApplication::focusWidget();
      QTest::keyClick(dialog->command, Qt::Key_Tab);
      focus_after_tab = QApplication::focusWidget();
    }));
    QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= 1);
    QCOMPARE(focus_on_open, dialog->command);
    QCOMPARE(focus_after_tab, dialog->Button1);
  }

  void sendsCommandToStation_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("command_hex");
    QTest::newRow("letters as typed") << "ABCD" << "41424344";
    QTest::newRow("lower case and blanks") << "a b " << "61206220";
    QTest::newRow("above U+00FF: low 8 bits") << QString(QChar(0x0416)) + "XYZ" << "1658595a";
  }

  // No station answers a command: "Successful." all the same, a discovery,
  // and the dialog closes.
  void sendsCommandToStation() {
    QFETCH(QString, typed);
    QFETCH(QString, command_hex);
    Simulator stations({"--station", station_b, "--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    QCOMPARE(form.list->topLevelItemCount(), 2);
    bool closed_by_send = false;

    QVERIFY(OpenAndRun(form, *dialog, 1, [&] {
      Type(dialog->command, typed);
      QCOMPARE(dialog->command->text(), typed);
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
      closed_by_send = !dialog->isVisible();
    }));
    QVERIFY(closed_by_send);
    QCOMPARE(dialog->cur_device, 2);

    const auto received = stations.WaitForLog(3);
    QCOMPARE(received.size(), std::size_t{3});
    QCOMPARE(received[0].bytes, FromHex("53524348"));
    QCOMPARE(received[1].bytes, FromHex(command_hex.toStdString() + station_a_tail));
    QCOMPARE(QString::fromStdString(received[1].from), QStringLiteral("192.168.1.10:8444"));
    QCOMPARE(received[2].bytes, FromHex("53524348"));  // the refresh after the box
    QVERIFY(QString::fromStdString(stations.State()).contains("\"commands\":[\"" + command_hex + "\"]"));

    QCOMPARE(Boxes().size(), std::size_t{1});
    const BoxRequest& box = Boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Successful."));
    QCOMPARE(box.caption, QStringLiteral("Configure"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.application_modal);
    QCOMPARE(form.list->topLevelItemCount(), 2);
    QVERIFY(form.list->selectionModel()->selectedRows().isEmpty());
  }

  void fifthCharacterRefused() {
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    QString typed;
    QString pasted;
    QString pasted_after_three;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      QTest::keyClicks(dialog->command, QStringLiteral("ABCDE"));
      typed = dialog->command->text();
      dialog->command->clear();
      QApplication::clipboard()->setText(QStringLiteral("WXYZQ"));
      QTest::keyClick(dialog->command, Qt::Key_V, Qt::ControlModifier);
      pasted = dialog->command->text();
      dialog->command->setText(QStringLiteral("ABC"));
      QTest::keyClick(dialog->command, Qt::Key_V, Qt::ControlModifier);
      pasted_after_three = dialog->command->text();
    }));
    QCOMPARE(typed, QStringLiteral("ABCD"));
    QCOMPARE(pasted, QStringLiteral("WXYZ"));
    QCOMPARE(pasted_after_three, QStringLiteral("ABCW"));
    QVERIFY(Commands(stations).empty());
  }

  void tooShortSendsNothing_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("three characters") << "ABC";
  }

  void tooShortSendsNothing() {
    QFETCH(QString, typed);
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    bool open_after = false;
    QString text_after;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      dialog->command->setText(typed);
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
      open_after = dialog->isVisible();
      text_after = dialog->command->text();
    }));
    QVERIFY(open_after);
    QCOMPARE(text_after, typed);
    QCOMPARE(Boxes().size(), std::size_t{1});
    const BoxRequest& box = Boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Command Length of 4 characters!"));
    QCOMPARE(box.caption, QStringLiteral("Nimbrel Configuration Tool"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QTest::qWait(300);
    QCOMPARE(stations.Log().size(), std::size_t{1});  // the start-up search only
  }

  // Auto refresh rebuilds the list while the dialog is open and leaves no row
  // selected; the command still goes to the station the dialog was opened for,
  // now listed in another row.
  void reachesItsStationAfterAutomaticRefresh() {
    auto first = std::make_unique<Simulator>(std::vector<std::string>{"--station", station_a, "--station", station_b});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    QCOMPARE(form.list->topLevelItem(1)->text(1), QStringLiteral("XYZ9"));
    form.autorefresh->click();
    std::unique_ptr<Simulator> second;
    QStringList rows_while_open;
    bool selection_while_open = true;

    QVERIFY(OpenAndRun(form, *dialog, 1, [&] {
      first.reset();
      second = std::make_unique<Simulator>(std::vector<std::string>{"--station", station_b, "--station", station_a});
      QMetaObject::invokeMethod(form.Timer1, "timeout", Qt::DirectConnection);
      rows_while_open = RowTexts(*form.list);
      selection_while_open = !form.list->selectionModel()->selectedRows().isEmpty();
      QTest::keyClicks(dialog->command, QStringLiteral("RBT1"));
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    }));
    form.autorefresh->click();
    QCOMPARE(rows_while_open.size(), 2);
    QVERIFY(rows_while_open[0].contains(QStringLiteral("XYZ9")));
    QVERIFY(!selection_while_open);

    const auto commands = Commands(*second);
    QCOMPARE(commands.size(), std::size_t{1});
    QCOMPARE(commands[0].bytes, FromHex(std::string("52425431") + station_b_tail));
    const QString state = QString::fromStdString(second->State());
    QVERIFY(state.contains(QStringLiteral("\"id\":\"XYZ9\"")));
    const QStringList lines = state.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].contains(QStringLiteral("\"commands\":[\"52425431\"]")));  // XYZ9
    QVERIFY(lines[1].contains(QStringLiteral("\"commands\":[]")));              // ABC1
    QCOMPARE(Boxes().size(), std::size_t{1});
    QCOMPARE(Boxes()[0].text, QStringLiteral("Successful."));
  }

  void reopeningShowsLastCommand() {
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      QTest::keyClicks(dialog->command, QStringLiteral("STAT"));
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    }));
    QString shown;
    QWidget* focus = nullptr;
    QString typed_over;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      shown = dialog->command->text();
      focus = QApplication::focusWidget();
      QTest::keyClicks(dialog->command, QStringLiteral("RSET"));  // replaces the selected text
      typed_over = dialog->command->text();
    }));
    QCOMPARE(shown, QStringLiteral("STAT"));
    QCOMPARE(focus, dialog->command);
    QCOMPARE(typed_over, QStringLiteral("RSET"));
  }

  // Enter does not send, Escape does not close; the close box closes and
  // sends nothing.
  void onlyTheCloseBoxEndsWithoutSending() {
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    bool open_after_keys = false;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      QTest::keyClicks(dialog->command, QStringLiteral("ABCD"));
      QTest::keyClick(dialog->command, Qt::Key_Return);
      QTest::keyClick(dialog->command, Qt::Key_Enter);
      QTest::keyClick(dialog->command, Qt::Key_Escape);
      open_after_keys = dialog->isVisible();
      dialog->close();
    }));
    QVERIFY(open_after_keys);
    QVERIFY(!dialog->isVisible());
    QTest::qWait(300);
    QCOMPARE(stations.Log().size(), std::size_t{1});  // no command, no further discovery
    QVERIFY(Boxes().empty());
  }

  void exchangeFailureLeavesDialogOpen() {
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    nimbrel::UdpEndpoint holder;
    bool open_after = false;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      holder.BindAny(nimbrel::tool_port);
      QTest::keyClicks(dialog->command, QStringLiteral("ABCD"));
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
      open_after = dialog->isVisible();
    }));
    QVERIFY(open_after);
    QCOMPARE(Boxes().size(), std::size_t{1});
    const BoxRequest& box = Boxes()[0];
    QCOMPARE(box.text, QStringLiteral("Could not bind socket. Address and port are already in use."));
    QCOMPARE(box.caption, QStringLiteral("Nimbrel Configuration Tool"));
    QCOMPARE(box.icon, QMessageBox::Critical);
    QTest::qWait(300);
    QCOMPARE(stations.Log().size(), std::size_t{1});
  }

  // The real boxes: "Successful." has no owner and must still take a click
  // while the dialog is open, or nobody could ever close it.
  void successBoxTakesClicksWhileDialogOpen() {
    boxes_.reset();
    Simulator stations({"--station", station_a});
    TForm1 form;
    TForm3* dialog = CreateForm3(form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    struct {
      bool found = false;
      QString caption, text;
      bool owned = true, closed_by_click = false;
    } seen;
    bool closed_by_send = false;
    QVERIFY(OpenAndRun(form, *dialog, 0, [&] {
      QTest::keyClicks(dialog->command, QStringLiteral("ABCD"));
      QTimer::singleShot(0, dialog, [&] {
        QMessageBox* box = VisibleBox();
        if (box == nullptr) return;
        seen.found = true;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.owned = box->parentWidget() != nullptr;
        if (QTest::qWaitForWindowExposed(box)) QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        seen.closed_by_click = !box->isVisible();
        if (box->isVisible()) box->done(QMessageBox::Ok);  // blocked: free the test
      });
      QTest::mouseClick(dialog->Button1, Qt::LeftButton);
      closed_by_send = !dialog->isVisible();
    }));
    QVERIFY(seen.found);
    QCOMPARE(seen.caption, QStringLiteral("Configure"));
    QCOMPARE(seen.text, QStringLiteral("Successful."));
    QVERIFY(!seen.owned);
    QVERIFY(seen.closed_by_click);
    QVERIFY(closed_by_send);
  }

  // Last: start-up gives the whole process its style.
  void startUpCreatesItHidden() {
    Simulator stations({"--stations", "1"});
    const auto form = nimbrel::app::StartUp(*static_cast<nimbrel::app::Application*>(qApp));
    TForm3* dialog = nimbrel::app::Form3;
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->parentWidget(), form.get());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->cur_device, 0);
    QCOMPARE(Searches(stations), 1);  // only the main window's own discovery
    QVERIFY(Boxes().empty());
  }
};

NIMBREL_APP_TEST_MAIN(Form3Tests)

#include "form3_tests.moc"
