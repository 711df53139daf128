// The visual styles the program carries, chosen by name at start-up.
#pragma once

#include <QString>
#include <QStringList>

class QApplication;

namespace nimbrel::app {

// Applies the named style to the whole application: Fusion as the base,
// the style's palette and its style sheet from the program's resources.
// Returns false and changes nothing when no style of that name is carried
// (the caller reports "Style 'NAME' not found").
bool SelectStyle(QApplication& app, const QString& name);

// Names of every carried style, in registry order.
QStringList StyleNames();

}  // namespace nimbrel::app
