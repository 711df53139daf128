// The steps of start-up that come before the event loop.
#pragma once

#include <QIcon>
#include <QString>

#include <memory>

#include "Unit1.h"
#include "application.h"

namespace nimbrel::app {

inline constexpr const char* default_style_name = "Ruby Graphite";

// Selects the style by name; when the program carries none of that name,
// says so in a box with one close button and keeps the standard look.
void SelectStyleOrReport(Application& app, const QString& name);

// The program icon, from the vector artwork and its drawn sizes.
QIcon ProgramIcon();

// Style, application title, then the main window, whose creation runs the
// first discovery, then its dialogs, hidden. The main window is returned
// unshown; the dialogs live as long as it does.
std::unique_ptr<TForm1> StartUp(Application& app, const QString& style_name = QString::fromUtf8(default_style_name));

}  // namespace nimbrel::app
