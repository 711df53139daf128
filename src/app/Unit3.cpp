#include "Unit3.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>

#include "Unit1.h"
#include "application.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "form_font.h"
#include "message_box.h"
#include "ui_Unit3.h"

namespace nimbrel::app {

TForm3* Form3 = nullptr;

namespace {
constexpr int command_length = 4;
}  // namespace

TForm3::TForm3(TForm1& main_window)
    : QDialog(&main_window), ui(std::make_unique<Ui::TForm3>()), main_window_(main_window) {
  ui->setupUi(this);
  if (Form3 == nullptr) Form3 = this;

  // A small caption bar with a close box only.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  // Modal to the main window alone: the boxes without an owner that come up
  // while it is open ("Successful.", discovery's errors during an automatic
  // refresh) must never be blocked by it.
  setWindowModality(Qt::WindowModal);
  setFixedSize(262, 66);
  ApplyFormFont(*this);

  Label1 = ui->Label1;
  command = ui->command;
  Button1 = ui->Button1;
  // Where the installed font is wider than Tahoma the label grows to its
  // text, into the free room before the box, rather than cut it short.
  Label1->resize(std::max(Label1->width(), Label1->fontMetrics().horizontalAdvance(Label1->text())),
                 Label1->height());

  connect(Button1, &QPushButton::clicked, this, [this] { RunReported([this] { Button1Click(); }); });
}

TForm3::~TForm3() {
  if (Form3 == this) Form3 = nullptr;
}

void TForm3::ShowModalFor(int device) {
  device_ = devices[device];
  cur_device = device;
  exec();
}

void TForm3::FormShow() {
  command->setFocus(Qt::OtherFocusReason);
  // The last command stays, selected, so that typing replaces it.
  command->selectAll();
}

void TForm3::Button1Click() {
  if (cur_device == 0) return;
  const QString text = command->text();
  if (text.size() < command_length) {
    ShowMessageBox({.icon = QMessageBox::NoIcon,
                    .caption = Application::Title(),
                    .text = QString::fromUtf8(command_length_message),
                    .buttons = QMessageBox::Ok,
                    .application_modal = true});
    return;
  }
  const CommandMessage message =
      BuildCommandMessage(text.toStdU16String(), ParseIPv4(device_.gateway.Read()),
                          ParseIPv4(device_.netmask.Read()), ParseIPv4(device_.ip.Read()), device_.mac);
  BroadcastAndReceiveText(message);  // whatever the station answers is not read
  ShowMessageBox({.icon = QMessageBox::NoIcon,
                  .caption = QStringLiteral("Configure"),
                  .text = QStringLiteral("Successful."),
                  .buttons = QMessageBox::Ok,
                  .application_modal = false});
  main_window_.Button1->click();
  accept();
}

void TForm3::keyPressEvent(QKeyEvent* event) {
  // Only the close box ends the dialog without sending.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TForm3::showEvent(QShowEvent* event) {
  if (const QScreen* screen = main_window_.screen())
    move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(), screen->availableGeometry())
             .topLeft());
  QDialog::showEvent(event);
  FormShow();
}

TForm3* CreateForm3(TForm1& main_window) {
  auto* dialog = new TForm3(main_window);
  main_window.show_send_command = [dialog = QPointer<TForm3>(dialog), &main_window] {
    if (dialog) dialog->ShowModalFor(main_window.SelectedDevice());
  };
  return dialog;
}

}  // namespace nimbrel::app
