// The IP configuration dialog: a station's IPv4 settings, edited and sent to
// it by MAC, and below them the PC's own adapters to copy settings from.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/device.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class TForm2;
}

namespace nimbrel::app {

class TForm1;

inline constexpr const char* form2_caption = "IP configuration";
inline constexpr int form2_width = 353;
inline constexpr int form2_height = 181;
// The outer height, frame and caption included, once the adapters are read.
inline constexpr int form2_enlarged_height = 347;

class TForm2 : public QDialog {
  Q_OBJECT

 public:
  // Created hidden; `main_window` owns it and is where the selected row and
  // "Refresh" are found.
  explicit TForm2(TForm1* main_window);
  ~TForm2() override;

  // The 1-based index into `devices` of the device shown, set by each
  // showing.
  std::int32_t cur_device = 0;

  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label7 = nullptr;
  QLineEdit* lip = nullptr;
  QLineEdit* mask = nullptr;
  QLineEdit* gw = nullptr;
  QLineEdit* dns = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLineEdit* ad_ip = nullptr;
  QLineEdit* ad_mask = nullptr;
  QLineEdit* ad_gw = nullptr;
  QPushButton* copy_button = nullptr;
  QLineEdit* ad_dns = nullptr;

 public slots:
  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void ComboBox1Change();
  void copy_buttonClick();

 protected:
  // Each clears `key` to swallow the character typed.
  void lipKeyPress(char16_t& key);
  void maskKeyPress(char16_t& key);
  void gwKeyPress(char16_t& key);

  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void FillAdapterBoxes(int adapter);
  void SetOuterHeight(int height);

  std::unique_ptr<Ui::TForm2> ui;
  TForm1* main_window_;
  // The station the dialog was shown for: the list may be rebuilt under the
  // open dialog, and a request must reach the station the user sees.
  std::optional<MacBytes> shown_mac_;
};

// The one IP configuration dialog.
extern TForm2* Form2;

}  // namespace nimbrel::app
