// The send command dialog: four characters sent to one listed station,
// followed by a fresh discovery in the main window.
#pragma once

#include <QDialog>

#include <memory>

#include "core/device.h"

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace Ui {
class TForm3;
}

namespace nimbrel::app {

class TForm1;

inline constexpr const char* command_length_message = "Command Length of 4 characters!";

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  // Hidden until opened; owned by the main window and modal to it alone, so
  // that boxes without an owner stay usable while it is open.
  explicit TForm3(TForm1& main_window);
  ~TForm3() override;

  // Shows the dialog modally for devices[device] and returns once it has
  // closed. The station is taken as it is listed now: a discovery while the
  // dialog is open (auto refresh) changes neither the station nor its
  // addresses.
  void ShowModalFor(int device);

  // The 1-based index into `devices` the dialog was last opened for; 0 until
  // it is first opened.
  int cur_device = 0;

  QLabel* Label1 = nullptr;
  QLineEdit* command = nullptr;
  QPushButton* Button1 = nullptr;

 public slots:
  void Button1Click();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();

  std::unique_ptr<Ui::TForm3> ui;
  TForm1& main_window_;
  TDevice device_;  // the station as listed when the dialog opened
};

// Creates the dialog hidden, as a child of the main window, and lets the main
// window's "Send command" open it for the selected station.
TForm3* CreateForm3(TForm1& main_window);

// The one send command dialog.
extern TForm3* Form3;

}  // namespace nimbrel::app
