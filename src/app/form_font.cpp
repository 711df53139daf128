#include "form_font.h"

#include <QStringList>
#include <QWidget>

namespace nimbrel::app {

QFont FormFont() {
  QFont font;
  // The usual fallback, DejaVu Sans, is a fifth wider than Tahoma and cuts
  // "Auto refresh 5s" and the MAC addresses short.
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                    QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"),
                    QStringLiteral("DejaVu Sans")});
  font.setPixelSize(11);
  return font;
}

void ApplyFormFont(QWidget& window) {
  const QFont font = FormFont();
  window.setFont(font);
  for (QWidget* control : window.findChildren<QWidget*>()) control->setFont(font);
}

}  // namespace nimbrel::app
