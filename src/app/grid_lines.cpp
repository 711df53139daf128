#include "grid_lines.h"

#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace nimbrel::app {

void GridLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  const QStyle* style = option.widget != nullptr ? option.widget->style() : nullptr;
  QColor line = style != nullptr
                    ? QColor::fromRgba(static_cast<QRgb>(style->styleHint(QStyle::SH_Table_GridLineColor, &option,
                                                                           option.widget)))
                    : option.palette.color(QPalette::Mid);
  // Across a chosen row the lines are a darker shade of its colour.
  if (option.state.testFlag(QStyle::State_Selected) && option.state.testFlag(QStyle::State_Enabled))
    line = option.palette.color(QPalette::Highlight).darker(124);
  const QRect cell = option.rect;
  painter->save();
  painter->setPen(QPen(line, 0));
  painter->drawLine(cell.topRight(), cell.bottomRight());
  painter->drawLine(cell.bottomLeft(), cell.bottomRight());
  painter->restore();
}

QSize GridLineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  return QStyledItemDelegate::sizeHint(option, index) + QSize(1, 1);
}

}  // namespace nimbrel::app
