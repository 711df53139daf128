#include "launch.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include <array>

namespace nimbrel::app {
namespace {

#ifndef Q_OS_WIN
// Each terminal has its own way of being told which program to run; every
// one of these takes the program and its arguments as separate arguments,
// so no shell ever parses the address.
struct Terminal {
  const char* program;
  const char* run_option;  // nullptr: the command follows directly
};

// x-terminal-emulator first: it is the desktop's own choice on Debian and
// its derivatives, and "-e program args..." is its contract.
constexpr std::array<Terminal, 10> terminals{{
    {"x-terminal-emulator", "-e"},
    {"gnome-terminal", "--"},
    {"konsole", "-e"},
    {"xfce4-terminal", "-x"},
    {"mate-terminal", "-x"},
    {"terminator", "-x"},
    {"alacritty", "-e"},
    {"kitty", nullptr},
    {"foot", nullptr},
    {"xterm", "-e"},
}};
#endif

}  // namespace

std::optional<Launch> PingLaunch(const QString& address) {
#ifdef Q_OS_WIN
  // On Windows ping stops after four replies unless told -t.
  return Launch{QStringLiteral("ping.exe"), {QStringLiteral("-t"), address}};
#else
  // Here ping runs until stopped by itself; its -t would set the TTL.
  for (const Terminal& terminal : terminals) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(terminal.program));
    if (path.isEmpty()) continue;
    QStringList arguments;
    if (terminal.run_option != nullptr) arguments << QString::fromLatin1(terminal.run_option);
    arguments << QStringLiteral("ping") << address;
    return Launch{path, arguments};
  }
  return std::nullopt;
#endif
}

bool StartPing(const QString& address) noexcept {
  try {
    const std::optional<Launch> launch = PingLaunch(address);
    if (!launch) return false;
    QProcess process;
    process.setProgram(launch->program);
    process.setArguments(launch->arguments);
#ifdef Q_OS_WIN
    // A console of its own, visible, that outlives this program.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* create) {
      create->flags |= CREATE_NEW_CONSOLE;
      create->flags &= ~static_cast<DWORD>(CREATE_NO_WINDOW);
      create->startupInfo->dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
    });
#endif
    return process.startDetached();
  } catch (...) {
    // A ping that cannot start goes unreported.
  }
  return false;
}

void OpenAddress(const QString& address) noexcept {
  try {
    QDesktopServices::openUrl(QUrl(address));
  } catch (...) {
    // A missing browser goes unreported.
  }
}

}  // namespace nimbrel::app
