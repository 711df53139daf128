// The application object, and the boundary that no exception crosses: a
// failure leaving any handler ends at the default error report and the
// event loop goes on.
#pragma once

#include <QApplication>
#include <QString>

#include <exception>
#include <utility>

namespace nimbrel::app {

inline constexpr const char* application_title = "Nimbrel Configuration Tool";

class Application : public QApplication {
  Q_OBJECT

 public:
  Application(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The caption of the program's own boxes. Kept apart from Qt's display
  // name, which the X11 platform would append to every window caption.
  static QString Title();
  static void SetTitle(const QString& title);
};

// The default error report: the message, an error icon, the application
// title as caption. Never throws.
void ShowErrorReport(const QString& message) noexcept;

// The text reported for a failure that carries no message.
QString UnexpectedFailureText();

// Runs one handler to its end; a failure leaving it ends at the default
// error report instead of unwinding through Qt.
template <typename Handler>
void RunReported(Handler&& handler) noexcept {
  try {
    std::forward<Handler>(handler)();
  } catch (const std::exception& failure) {
    ShowErrorReport(QString::fromLocal8Bit(failure.what()));
  } catch (...) {
    ShowErrorReport(UnexpectedFailureText());
  }
}

}  // namespace nimbrel::app
