// Starting the continuous ping of a device in a window of its own, and
// opening an address with the desktop's handler. Both are fire and forget:
// nothing is waited for, examined or reported.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace nimbrel::app {

struct Launch {
  QString program;
  QStringList arguments;

  friend bool operator==(const Launch&, const Launch&) = default;
};

// The program and arguments that ping `address` continuously in a new
// console or terminal window; none when no terminal is found on PATH.
std::optional<Launch> PingLaunch(const QString& address);

// Starts PingLaunch(address) detached. Every failure is swallowed; the
// result only says whether a program was started.
bool StartPing(const QString& address) noexcept;

// Opens the address with the desktop's URL handler (the default browser for
// "http://"). Every failure is swallowed.
void OpenAddress(const QString& address) noexcept;

}  // namespace nimbrel::app
