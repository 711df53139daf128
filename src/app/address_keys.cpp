#include "address_keys.h"

#include <QString>

namespace nimbrel::app {

std::optional<char16_t> TypedCharacter(const QKeyEvent& event) {
  const int key = event.key();
  const bool control = event.modifiers().testFlag(Qt::ControlModifier) && !event.modifiers().testFlag(Qt::AltModifier);
  if (control && key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<char16_t>(key - Qt::Key_A + 1);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return control ? u'\n' : u'\r';
    case Qt::Key_Escape:
      return u'\x1B';
    case Qt::Key_Backspace:
      return control ? u'\x7F' : u'\b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return u'\t';
    case Qt::Key_Delete:
      return std::nullopt;  // some keyboards spell it 127, yet it types nothing
    default:
      break;
  }
  const QString text = event.text();
  if (text.isEmpty()) return std::nullopt;
  return static_cast<char16_t>(text.front().unicode());
}

}  // namespace nimbrel::app
