// Grid lines for a list in report style: every cell closes on its right and
// bottom edge, drawn by the list itself whatever style the program runs with.
#pragma once

#include <QStyledItemDelegate>

namespace nimbrel::app {

class GridLineDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // One pixel more than the cell's own height: the room of its bottom line.
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace nimbrel::app
