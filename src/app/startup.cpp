#include "startup.h"

#include <QMessageBox>

#include "Unit2.h"
#include "Unit3.h"
#include "message_box.h"
#include "style/style_registry.h"

namespace nimbrel::app {

void SelectStyleOrReport(Application& app, const QString& name) {
  if (SelectStyle(app, name)) return;
  ShowMessageBox({.icon = QMessageBox::Critical,
                  .caption = Application::Title(),
                  .text = QStringLiteral("Style '%1' not found").arg(name),
                  .buttons = QMessageBox::Close,
                  .application_modal = true});
}

QIcon ProgramIcon() {
  // The drawn sizes keep the icon there when no SVG plugin is installed.
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/nimbrel-config-%1.png").arg(size), QSize(size, size));
  icon.addFile(QStringLiteral(":/icons/nimbrel-config.svg"));
  return icon;
}

std::unique_ptr<TForm1> StartUp(Application& app, const QString& style_name) {
  SelectStyleOrReport(app, style_name);
  Application::SetTitle(QString::fromUtf8(application_title));
  QApplication::setWindowIcon(ProgramIcon());
  auto form1 = std::make_unique<TForm1>();
  new TForm2(form1.get());  // hidden, owned by the main window
  CreateForm3(*form1);
  return form1;
}

}  // namespace nimbrel::app
