// Every box the program shows goes through here, so that tests can read and
// answer boxes without a nested event loop blocking them.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

namespace nimbrel::app {

struct BoxRequest {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString caption;
  QString text;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  // false: a box with no owner window; the other windows stay enabled while
  // it waits, so timers and clicks on them still run. true: every other
  // window of the program waits until it is closed.
  bool application_modal = false;
};

// Shows the box and returns, once it is closed, the button that closed it
// (NoButton when the program is quitting meanwhile).
QMessageBox::StandardButton ShowMessageBox(const BoxRequest& request);

// Replaces how boxes are shown; an empty handler brings back the real boxes.
using BoxHandler = std::function<QMessageBox::StandardButton(const BoxRequest&)>;
void SetBoxHandler(BoxHandler handler);

}  // namespace nimbrel::app
