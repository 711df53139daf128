#include "Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <exception>
#include <span>

#include "core/device.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "application.h"
#include "form_font.h"
#include "grid_lines.h"
#include "launch.h"
#include "message_box.h"
#include "ui_Unit1.h"

namespace nimbrel::app {

TForm1* Form1 = nullptr;

namespace {

enum Column { number_column, id_column, ip_column, gateway_column, netmask_column, dns_column, mac_column };

constexpr int number_width = 35;
constexpr int id_width = 50;
constexpr int address_max_width = 95;  // IP, Gateway, NetMask and DNS
constexpr int shared_columns = 5;      // those four and "MAC Addr"

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm1>()) {
  ui->setupUi(this);
  if (Form1 == nullptr) Form1 = this;

  // A frame with a close box only. Not Qt::Tool: a tool window gets no
  // task-bar entry, and this window is the program's task-bar window.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QString::fromUtf8(form1_caption));
  setFixedSize(595, 210);
  ApplyFormFont(*this);

  list = ui->list;
  Button1 = ui->Button1;
  Button2 = ui->Button2;
  autorefresh = ui->autorefresh;
  Label1 = ui->Label1;
  Label2 = ui->Label2;
  Ping1 = ui->Ping1;
  HTTP1 = ui->HTTP1;
  Sendcommand1 = ui->Sendcommand1;
  IP1 = ui->IP1;

  SetUpList();

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addActions({Ping1, HTTP1, Sendcommand1, IP1});

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(timer1_interval_ms);
  // A coarse timer may fire up to 5 % early; automatic discoveries are to
  // follow each other a full interval apart.
  Timer1->setTimerType(Qt::PreciseTimer);
  Timer1->setSingleShot(false);

  QFont link_font = Label1->font();
  link_font.setUnderline(true);
  Label1->setFont(link_font);
  Label1->setForegroundRole(QPalette::Link);
  Label1->installEventFilter(this);
  QFont credit_font = Label2->font();
  credit_font.setItalic(true);
  Label2->setFont(credit_font);
  // A muted text colour: the classic dark-shadow colour would vanish on a
  // dark window.
  Label2->setForegroundRole(QPalette::PlaceholderText);

  // Each handler runs to its end; a failure leaving one ends at the default
  // error report.
  const auto reported = [this](void (TForm1::*handler)()) {
    return [this, handler] { RunReported([this, handler] { (this->*handler)(); }); };
  };
  connect(Button1, &QPushButton::clicked, this, reported(&TForm1::Button1Click));
  connect(Button2, &QPushButton::clicked, this, reported(&TForm1::Button2Click));
  connect(autorefresh, &QCheckBox::toggled, this, reported(&TForm1::autorefreshClick));
  connect(Timer1, &QTimer::timeout, this, reported(&TForm1::Timer1Timer));
  connect(Ping1, &QAction::triggered, this, reported(&TForm1::Ping1Click));
  connect(HTTP1, &QAction::triggered, this, reported(&TForm1::HTTP1Click));
  connect(Sendcommand1, &QAction::triggered, this, reported(&TForm1::Sendcommand1Click));
  connect(IP1, &QAction::triggered, this, reported(&TForm1::IP1Click));
  connect(list, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) { RunReported([&] { ShowPopupMenu1(position); }); });

  FormCreate();
}

TForm1::~TForm1() {
  if (Form1 == this) Form1 = nullptr;
}

void TForm1::FormCreate() { Button1->click(); }

void TForm1::SetUpList() {
  QHeaderView* header = list->header();
  header->setMinimumSectionSize(1);
  header->setSectionsMovable(false);
  header->setSectionResizeMode(QHeaderView::Fixed);
  // FitColumns sizes "MAC Addr" itself: the header's own stretching keeps
  // an old width when the list narrows.
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list->setColumnWidth(number_column, number_width);
  list->setColumnWidth(id_column, id_width);
  list->setItemDelegate(new GridLineDelegate(list));
  list->viewport()->installEventFilter(this);
  FitColumns();
}

// The address columns and "MAC Addr" share what "№" and "ID" leave of the
// visible width; the addresses stop at their maximum and MAC takes the rest.
void TForm1::FitColumns() {
  const int free_width = std::max(0, list->viewport()->width() - number_width - id_width);
  const int share = std::min(address_max_width, free_width / shared_columns);
  for (int column = ip_column; column <= dns_column; ++column) list->setColumnWidth(column, share);
  list->setColumnWidth(mac_column, free_width - (dns_column - ip_column + 1) * share);
}

int TForm1::SelectedDevice() const {
  const QModelIndexList rows = list->selectionModel()->selectedRows();
  if (rows.isEmpty()) return 0;
  const int device = rows.first().row() + 1;
  return device <= device_count ? device : 0;
}

void TForm1::ShowError(const QString& message) {
  ShowMessageBox({.icon = QMessageBox::Critical,
                  .caption = QStringLiteral("Error!"),
                  .text = message,
                  .buttons = QMessageBox::Ok,
                  .application_modal = false});
}

void TForm1::Button1Click() {
  try {
    list->clear();
    const SearchRequest request = BuildSearchRequest();
    // device_count changes only once the first receive has returned: a
    // failure before then keeps the previous discovery's count.
    bool received = false;
    bool failed = false;
    BroadcastAndCollect(
        request,
        [this, &received](const CollectionBuffer& buffer, std::size_t length) {
          if (!received) {
            received = true;
            device_count = 0;
          }
          const int k = ++device_count;
          const Announcement announcement = DecodeAnnouncement(std::span(buffer.data(), length));
          const AnnouncementTexts texts = FormatAnnouncement(announcement);
          StoreAnnouncement(devices[k], announcement, texts);
          auto* row = new QTreeWidgetItem(list);
          row->setText(number_column, QString::number(k));
          row->setText(id_column, QString::fromStdU16String(texts.id));
          row->setText(ip_column, QString::fromStdU16String(texts.ip));
          row->setText(gateway_column, QString::fromStdU16String(texts.gateway));
          row->setText(netmask_column, QString::fromStdU16String(texts.netmask));
          row->setText(dns_column, QString::fromStdU16String(texts.dns));
          row->setText(mac_column, QString::fromStdU16String(texts.mac));
          // The table is full: stop here, so that no flood of answers can
          // keep the window frozen and nothing is written past the table.
          return k == DeviceTable::capacity ? Collect::stop : Collect::more;
        },
        [&failed](const std::exception& failure) {
          failed = true;
          ShowError(QString::fromLocal8Bit(failure.what()));
        });
    if (failed) return;  // a row the user chose while the error box was open stays chosen
    if (!received) device_count = 0;  // the first receive found nothing
    list->selectionModel()->clear();
  } catch (const std::exception& failure) {
    ShowError(QString::fromLocal8Bit(failure.what()));
  }
}

void TForm1::Button2Click() { close(); }

void TForm1::autorefreshClick() {
  if (autorefresh->isChecked())
    Timer1->start();
  else
    Timer1->stop();
}

void TForm1::Timer1Timer() {
  // Stopped while discovering, so that ticks never pile up and the next one
  // comes a full interval after this discovery has ended.
  Timer1->stop();
  Button1->click();
  Timer1->start();
}

void TForm1::listDblClick() {
  if (SelectedDevice() == 0) return;
  if (show_ip_configuration) show_ip_configuration();
}

void TForm1::IP1Click() { listDblClick(); }

void TForm1::Sendcommand1Click() {
  if (SelectedDevice() == 0) return;
  if (show_send_command) show_send_command();
}

void TForm1::Ping1Click() {
  const int device = SelectedDevice();
  if (device == 0) return;
  StartPing(QString::fromStdU16String(devices[device].ip.Read()));
}

void TForm1::HTTP1Click() {
  const int device = SelectedDevice();
  if (device == 0) return;
  OpenAddress(QStringLiteral("http://") + QString::fromStdU16String(devices[device].ip.Read()));
}

void TForm1::Label1Click() { OpenAddress(QString::fromUtf8(maker_address)); }

void TForm1::ShowPopupMenu1(const QPoint& position) {
  PopupMenu1->popup(list->viewport()->mapToGlobal(position));
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list->viewport()) {
    if (event->type() == QEvent::Resize) {
      FitColumns();
    } else if (event->type() == QEvent::MouseButtonDblClick &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
      RunReported([this] { listDblClick(); });
      // Handled here: the list's own handling, coming after a dialog that
      // refreshed the list, would select the row under the pointer again.
      return true;
    }
  } else if (watched == Label1 && event->type() == QEvent::MouseButtonRelease) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && Label1->rect().contains(mouse->position().toPoint())) {
      RunReported([this] { Label1Click(); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  event->accept();
  emit closed();
}

void TForm1::showEvent(QShowEvent* event) {
  if (!centred_) {
    centred_ = true;
    if (const QScreen* screen = this->screen())
      move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, frameGeometry().size(),
                               screen->availableGeometry())
               .topLeft());
  }
  QWidget::showEvent(event);
}

}  // namespace nimbrel::app
