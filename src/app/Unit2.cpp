#include "Unit2.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

#include <algorithm>
#include <string>
#include <variant>
#include <vector>

#include "Unit1.h"
#include "address_keys.h"
#include "application.h"
#include "core/address_validation.h"
#include "core/exchange.h"
#include "core/host_adapters.h"
#include "core/messages.h"
#include "form_font.h"
#include "message_box.h"
#include "ui_Unit2.h"

namespace nimbrel::app {

TForm2* Form2 = nullptr;

namespace {

constexpr const char* configure_caption = "Configure";

QString Text(const ShortText& field) { return QString::fromStdU16String(field.Read()); }

void ShowConfigureBox(QMessageBox::Icon icon, const QString& text) {
  ShowMessageBox({.icon = icon,
                  .caption = QString::fromUtf8(configure_caption),
                  .text = text,
                  .buttons = QMessageBox::Ok,
                  .application_modal = false});
}

}  // namespace

TForm2::TForm2(TForm1* main_window)
    : QDialog(main_window), ui(std::make_unique<Ui::TForm2>()), main_window_(main_window) {
  ui->setupUi(this);
  if (Form2 == nullptr) Form2 = this;

  // A tool window with a close box only, of one size.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  // Blocks the main window only: the result boxes, which have no owner,
  // stay usable beside it.
  setWindowModality(Qt::WindowModal);
  setWindowTitle(QString::fromUtf8(form2_caption));
  setFixedSize(form2_width, form2_height);
  ApplyFormFont(*this);
  // Labels take the width of their text, so that a fallback font wider than
  // Tahoma does not cut "Network mask" short.
  for (QLabel* label : findChildren<QLabel*>())
    label->resize(label->size().expandedTo(label->sizeHint()));

  GroupBox1 = ui->GroupBox1;
  Label1 = ui->Label1;
  Label2 = ui->Label2;
  Label3 = ui->Label3;
  Label7 = ui->Label7;
  lip = ui->lip;
  mask = ui->mask;
  gw = ui->gw;
  dns = ui->dns;
  Button1 = ui->Button1;
  Button2 = ui->Button2;
  Button3 = ui->Button3;
  GroupBox2 = ui->GroupBox2;
  ComboBox1 = ui->ComboBox1;
  Label4 = ui->Label4;
  Label5 = ui->Label5;
  Label6 = ui->Label6;
  ad_ip = ui->ad_ip;
  ad_mask = ui->ad_mask;
  ad_gw = ui->ad_gw;
  copy_button = ui->copy_button;
  ad_dns = ui->ad_dns;

  for (QLineEdit* box : {lip, mask, gw, dns, ad_ip, ad_mask, ad_gw, ad_dns}) {
    box->installEventFilter(this);
    // Composed input would reach the box past the key filter.
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
  }

  const auto reported = [this](void (TForm2::*handler)()) {
    return [this, handler] { RunReported([this, handler] { (this->*handler)(); }); };
  };
  connect(Button1, &QPushButton::clicked, this, reported(&TForm2::Button1Click));
  connect(Button2, &QPushButton::clicked, this, reported(&TForm2::Button2Click));
  connect(Button3, &QPushButton::clicked, this, reported(&TForm2::Button3Click));
  connect(ComboBox1, &QComboBox::activated, this, reported(&TForm2::ComboBox1Change));
  connect(copy_button, &QPushButton::clicked, this, reported(&TForm2::copy_buttonClick));

  if (main_window_ != nullptr)
    main_window_->show_ip_configuration = [dialog = QPointer<TForm2>(this)] {
      if (dialog) dialog->exec();
    };
}

TForm2::~TForm2() {
  if (Form2 == this) Form2 = nullptr;
}

void TForm2::FormShow() {
  cur_device = main_window_ != nullptr ? main_window_->SelectedDevice() : 0;
  if (cur_device == 0) {  // the main window opens the dialog only on a listed device
    shown_mac_.reset();
    return;
  }
  const TDevice& device = devices[cur_device];
  setWindowTitle(QStringLiteral(" ") + Text(device.id) + QStringLiteral(" ") + Text(device.mac_text));
  lip->setText(Text(device.ip));
  mask->setText(Text(device.netmask));
  gw->setText(Text(device.gateway));
  dns->setText(Text(device.dns_addr));
  shown_mac_ = device.mac;
}

void TForm2::Button1Click() {
  const auto checked = ValidateSettings({.ip = lip->text().toStdU16String(),
                                         .netmask = mask->text().toStdU16String(),
                                         .gateway = gw->text().toStdU16String(),
                                         .dns = dns->text().toStdU16String()});
  if (const auto* problem = std::get_if<SettingsProblem>(&checked)) {
    ShowConfigureBox(QMessageBox::Critical, QString::fromStdString(DescribeProblem(*problem)));
    QLineEdit* const at_fault[] = {lip, mask, gw, dns};
    at_fault[static_cast<int>(problem->field)]->setFocus();
    return;
  }
  if (!shown_mac_) return;

  const IPv4Settings& settings = std::get<IPv4Settings>(checked);
  const ConfigurationRequest request =
      BuildConfigurationRequest(settings.gateway, settings.netmask, settings.ip, *shown_mac_, settings.dns);
  const std::u16string answer = BroadcastAndReceiveText(request);
  if (IsConfigurationReply(answer))
    ShowConfigureBox(QMessageBox::NoIcon, QStringLiteral("Successful."));
  else
    ShowConfigureBox(QMessageBox::Critical, QStringLiteral("Error."));
  if (main_window_ != nullptr) main_window_->Button1->click();
  close();
}

void TForm2::Button2Click() { close(); }

void TForm2::Button3Click() {
  const std::vector<HostAdapter> read = ReadHostAdapters();
  ComboBox1->clear();
  if (read.empty()) {
    // As an unreadable list reads: one adapter with empty texts.
    ComboBox1->addItem(QString());
    adapters[1].ip.StoreBytes({});
    adapters[1].gateway.StoreBytes({});
    adapters[1].netmask.StoreBytes({});
  }
  const int count = static_cast<int>(std::min<std::size_t>(read.size(), DeviceTable::capacity));
  for (int a = 1; a <= count; ++a) {
    const HostAdapter& adapter = read[static_cast<std::size_t>(a - 1)];
    ComboBox1->addItem(QString::fromStdU16String(FromSystemCodePage(adapter.description)));
    adapters[a].ip.StoreBytes(adapter.ip);
    adapters[a].gateway.StoreBytes(adapter.gateway);
    adapters[a].netmask.StoreBytes(adapter.netmask);
  }
  ComboBox1->setCurrentIndex(0);
  FillAdapterBoxes(1);
  SetOuterHeight(form2_enlarged_height);
}

void TForm2::ComboBox1Change() {
  const int item = ComboBox1->currentIndex();
  if (item >= 0 && item < DeviceTable::capacity) FillAdapterBoxes(item + 1);
}

void TForm2::copy_buttonClick() {
  lip->setText(ad_ip->text());
  gw->setText(ad_gw->text());
  mask->setText(ad_mask->text());
  lip->setFocus();
  lip->deselect();
  lip->end(false);
}

void TForm2::FillAdapterBoxes(int adapter) {
  ad_ip->setText(Text(adapters[adapter].ip));
  ad_gw->setText(Text(adapters[adapter].gateway));
  ad_mask->setText(Text(adapters[adapter].netmask));
}

// Outer height: the frame and caption count where the platform draws them.
void TForm2::SetOuterHeight(int height) {
  const int frame = std::max(0, frameGeometry().height() - geometry().height());
  setFixedHeight(std::max(1, height - frame));
}

void TForm2::lipKeyPress(char16_t& key) {
  if (!AddressKeyPasses(key)) key = 0;
}

void TForm2::maskKeyPress(char16_t& key) {
  if (!AddressKeyPasses(key)) key = 0;
}

void TForm2::gwKeyPress(char16_t& key) {
  if (!AddressKeyPasses(key)) key = 0;
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    if (const std::optional<char16_t> typed = TypedCharacter(*static_cast<QKeyEvent*>(event))) {
      char16_t key = *typed;
      if (watched == lip || watched == ad_ip)
        lipKeyPress(key);
      else if (watched == mask || watched == ad_mask)
        maskKeyPress(key);
      else if (watched == gw || watched == dns || watched == ad_gw || watched == ad_dns)
        gwKeyPress(key);
      if (key == 0) return true;  // swallowed: the box never sees it
    }
  }
  return QDialog::eventFilter(watched, event);
}

// Neither Enter nor Escape closes the dialog: it has no default and no
// cancel button.
void TForm2::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      event->accept();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

void TForm2::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    RunReported([this] { FormShow(); });
    if (const QScreen* screen = this->screen())
      move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(), screen->availableGeometry())
               .topLeft());
  }
  QDialog::showEvent(event);
}

}  // namespace nimbrel::app
