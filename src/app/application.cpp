#include "application.h"

#include <exception>

#include "message_box.h"

// Resources of a static library need an explicit initialisation; outside
// any namespace, as Qt requires.
static void InitialiseResources() { Q_INIT_RESOURCE(style); }

namespace nimbrel::app {
namespace {

QString& TitleStorage() {
  static QString title;
  return title;
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
  InitialiseResources();
}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& failure) {
    ShowErrorReport(QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    ShowErrorReport(UnexpectedFailureText());
  }
  return false;
}

QString Application::Title() {
  const QString& title = TitleStorage();
  return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

void Application::SetTitle(const QString& title) { TitleStorage() = title; }

QString UnexpectedFailureText() { return QStringLiteral("An unexpected error occurred."); }

void ShowErrorReport(const QString& message) noexcept {
  try {
    ShowMessageBox({.icon = QMessageBox::Critical,
                    .caption = Application::Title(),
                    .text = message,
                    .buttons = QMessageBox::Ok,
                    .application_modal = true});
  } catch (...) {
    // Nothing is left to report with; the event loop goes on regardless.
  }
}

}  // namespace nimbrel::app
