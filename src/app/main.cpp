// Start-up: the style, the title, the main window (whose creation runs the
// first discovery), then the event loop until the main window closes.
#include <exception>
#include <memory>

#include "Unit1.h"
#include "application.h"
#include "startup.h"

int main(int argc, char* argv[]) {
  nimbrel::app::Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("nimbrel-config"));
  QGuiApplication::setDesktopFileName(QStringLiteral("nimbrel-config"));
  try {
    const std::unique_ptr<nimbrel::app::TForm1> form = nimbrel::app::StartUp(app);
    QObject::connect(form.get(), &nimbrel::app::TForm1::closed, &app, &QCoreApplication::quit);
    form->show();
    return app.exec();
  } catch (const std::exception& failure) {
    nimbrel::app::ShowErrorReport(QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    nimbrel::app::ShowErrorReport(nimbrel::app::UnexpectedFailureText());
  }
  return 1;
}
