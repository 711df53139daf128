// The font of every window of the program: Tahoma, 11 pixels high.
#pragma once

#include <QFont>

class QWidget;

namespace nimbrel::app {

// Tahoma where it is installed; else fonts of much its width, so that the
// texts still fit the fixed layouts.
QFont FormFont();

// Gives the window and each of its controls the font. Each control gets it
// itself: under an application style sheet the children would take the
// application's font instead of the window's.
void ApplyFormFont(QWidget& window);

}  // namespace nimbrel::app
