// The font every window of the program lays its fixed controls out for.
#pragma once

#include <QFont>

class QWidget;

namespace nimbrel::app {

// Tahoma at an 11-pixel height, or the nearest installed font of its width.
QFont FormFont();

// Gives the window and each of its controls the form font. Each control gets
// it itself: under an application style sheet the children would take the
// application's font instead of the window's.
void ApplyFormFont(QWidget& window);

}  // namespace nimbrel::app
