#include "app_test_support.h"

#include <QImage>
#include <QPixmap>
#include <QTreeWidget>

namespace nimbrel::app::test {

BoxRecorder::BoxRecorder() {
  SetBoxHandler([this](const BoxRequest& request) {
    boxes.push_back(request);
    if (while_open) while_open(request);
    for (int bit = 0; bit < 32; ++bit) {
      const auto button = static_cast<QMessageBox::StandardButton>(1u << bit);
      if (request.buttons.testFlag(button)) return button;
    }
    return QMessageBox::NoButton;
  });
}

BoxRecorder::~BoxRecorder() { SetBoxHandler({}); }

QString RowText(const QTreeWidget& list, int row) {
  const QTreeWidgetItem* item = list.topLevelItem(row);
  if (item == nullptr) return {};
  QStringList cells;
  for (int column = 0; column < list.columnCount(); ++column) cells << item->text(column);
  return cells.join(u'|');
}

QStringList RowTexts(const QTreeWidget& list) {
  QStringList rows;
  for (int row = 0; row < list.topLevelItemCount(); ++row) rows << RowText(list, row);
  return rows;
}

QString GeneratedRow(int number, int k) {
  return QStringLiteral("%1|S%2|10.0.0.%3|10.0.0.1|255.0.0.0|10.0.0.1|02.4E.42.00.%4.%5")
      .arg(number)
      .arg(k % 1000, 3, 10, QChar(u'0'))
      .arg(100 + k)
      .arg(QStringLiteral("%1").arg(k >> 8, 2, 16, QChar(u'0')).toUpper())
      .arg(QStringLiteral("%1").arg(k & 0xFF, 2, 16, QChar(u'0')).toUpper());
}

CellColours DrawnCell(QTreeWidget& list, int row, int column) {
  const QImage image = list.viewport()->grab().toImage();
  const QRect cell = list.visualItemRect(list.topLevelItem(row)).intersected(
      QRect(list.columnViewportPosition(column), 0, list.columnWidth(column), list.viewport()->height()));
  const int middle_y = cell.top() + cell.height() / 2;
  return {image.pixelColor(cell.left() + 1, cell.top() + 1), image.pixelColor(cell.right(), middle_y),
          image.pixelColor(cell.left() + cell.width() / 2, cell.bottom())};
}

std::vector<std::string> Words(const QStringList& list) {
  std::vector<std::string> words;
  for (const QString& word : list) words.push_back(word.toStdString());
  return words;
}

int Searches(const nimbrel::test::Simulator& simulator) {
  int count = 0;
  for (const auto& datagram : simulator.Log())
    if (datagram.bytes == nimbrel::test::FromHex("53524348")) ++count;
  return count;
}

}  // namespace nimbrel::app::test
