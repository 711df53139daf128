#include "message_box.h"

#include <QAbstractButton>
#include <QEventLoop>

#include <utility>

namespace nimbrel::app {
namespace {

BoxHandler& Handler() {
  static BoxHandler handler;
  return handler;
}

}  // namespace

QMessageBox::StandardButton ShowMessageBox(const BoxRequest& request) {
  if (const BoxHandler& handler = Handler()) return handler(request);

  QMessageBox box(request.icon, request.caption, request.text, request.buttons);
  if (request.application_modal) return static_cast<QMessageBox::StandardButton>(box.exec());

  // exec() would make the box application modal; an owner-less box leaves
  // the main window working, so wait in a loop of our own instead.
  QEventLoop loop;
  QMessageBox::StandardButton pressed = QMessageBox::NoButton;
  QObject::connect(&box, &QMessageBox::buttonClicked, &loop, [&](QAbstractButton* button) {
    pressed = box.standardButton(button);
  });
  QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
  box.setWindowModality(Qt::NonModal);
  box.show();
  box.raise();
  box.activateWindow();
  loop.exec();
  return pressed;
}

void SetBoxHandler(BoxHandler handler) { Handler() = std::move(handler); }

}  // namespace nimbrel::app
