// The main window: the device list, its commands, auto refresh, and
// discovery, which rebuilds the list and the device table together.
#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QCloseEvent;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace Ui {
class TForm1;
}

namespace nimbrel::app {

inline constexpr const char* form1_caption = "Nimbrel Configuration Tool x64 ver 1.0.1 -  18.04.2016";
inline constexpr const char* maker_address = "http://nimbrel.example";
inline constexpr int timer1_interval_ms = 5000;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // Creating the window runs one discovery, before it is ever shown.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The selected-device rule: the 1-based index into `devices` of the
  // selected row, or 0 when no row is selected or the row lies beyond
  // `device_count`.
  int SelectedDevice() const;

  // Discovery's error box: no owner window, caption "Error!".
  static void ShowError(const QString& message);

  // Open the IP configuration and send command dialogs. They read the
  // selected row themselves; until they exist these do nothing.
  std::function<void()> show_ip_configuration;
  std::function<void()> show_send_command;

  QTreeWidget* list = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QCheckBox* autorefresh = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* Ping1 = nullptr;
  QAction* HTTP1 = nullptr;
  QAction* Sendcommand1 = nullptr;
  QAction* IP1 = nullptr;
  QTimer* Timer1 = nullptr;

 signals:
  // The window was closed: the program ends.
  void closed();

 public slots:
  void Button1Click();
  void Button2Click();
  void autorefreshClick();
  void Timer1Timer();
  void listDblClick();
  void IP1Click();
  void Sendcommand1Click();
  void Ping1Click();
  void HTTP1Click();
  void Label1Click();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormCreate();
  void SetUpList();
  void FitColumns();
  void ShowPopupMenu1(const QPoint& position);

  std::unique_ptr<Ui::TForm1> ui;
  bool centred_ = false;
};

// The one main window, for the dialogs to reach.
extern TForm1* Form1;

}  // namespace nimbrel::app
