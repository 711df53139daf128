#include "style_registry.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <memory>

// The resources may come from a static library, where nothing else would pull
// their registration into the program; registering twice is harmless.
static void RegisterStyleResources() {
  Q_INIT_RESOURCE(style);
}

namespace nimbrel::app {
namespace {

QPalette RubyGraphitePalette() {
  const QColor window(0x2b, 0x2d, 0x31);
  const QColor base(0x1f, 0x20, 0x23);
  const QColor alternate(0x26, 0x28, 0x2c);
  const QColor text(0xe6, 0xe6, 0xe6);
  const QColor button(0x38, 0x3a, 0x3f);
  const QColor selection(0x9b, 0x1b, 0x30);
  const QColor disabled_text(0x7c, 0x7f, 0x85);

  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, alternate);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(0xff, 0x7a, 0x8f));
  p.setColor(QPalette::Light, QColor(0x4a, 0x4d, 0x53));
  p.setColor(QPalette::Midlight, QColor(0x40, 0x43, 0x48));
  p.setColor(QPalette::Mid, QColor(0x33, 0x36, 0x3b));
  p.setColor(QPalette::Dark, QColor(0x1a, 0x1b, 0x1e));
  p.setColor(QPalette::Shadow, QColor(0x10, 0x11, 0x13));
  p.setColor(QPalette::Highlight, selection);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0xff, 0x7a, 0x8f));
  p.setColor(QPalette::LinkVisited, QColor(0xe0, 0x8f, 0xc8));
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9d, 0xa3));

  // A selected row must read the same when its window is not active.
  p.setColor(QPalette::Inactive, QPalette::Highlight, selection);
  p.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::white);

  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                          QPalette::HighlightedText, QPalette::Link}) {
    p.setColor(QPalette::Disabled, role, disabled_text);
  }
  p.setColor(QPalette::Disabled, QPalette::Base, window);
  p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x30, 0x32, 0x36));
  p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x4a, 0x33, 0x38));
  return p;
}

struct StyleEntry {
  const char16_t* name;
  const char* base_style;
  const char16_t* sheet;
  QPalette (*palette)();
};

constexpr StyleEntry kStyles[] = {
    {u"Ruby Graphite", "Fusion", u":/style/ruby_graphite.qss", &RubyGraphitePalette},
};

const StyleEntry* FindStyle(const QString& name) {
  for (const auto& entry : kStyles) {
    if (name == QStringView(entry.name)) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

bool SelectStyle(QApplication& app, const QString& name) {
  RegisterStyleResources();
  const StyleEntry* entry = FindStyle(name);
  if (entry == nullptr) {
    return false;
  }

  // Gather every piece before touching the application, so a style that
  // cannot be assembled leaves the current look exactly as it was.
  QFile sheet_file(QString::fromUtf16(entry->sheet));
  if (!sheet_file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    return false;
  }
  const QString sheet = QString::fromUtf8(sheet_file.readAll());
  std::unique_ptr<QStyle> base(QStyleFactory::create(QString::fromLatin1(entry->base_style)));
  if (base == nullptr) {
    return false;
  }

  app.setStyle(base.release());  // the application owns it from here
  app.setPalette(entry->palette());
  app.setStyleSheet(sheet);
  return true;
}

QStringList StyleNames() {
  QStringList names;
  for (const auto& entry : kStyles) {
    names.append(QString::fromUtf16(entry.name));
  }
  return names;
}

}  // namespace nimbrel::app
