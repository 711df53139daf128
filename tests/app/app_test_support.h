// Helpers shared by the window tests.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QTest>

#include <functional>
#include <string>
#include <vector>

#include "application.h"
#include "message_box.h"
#include "private_network.h"
#include "simulator.h"

class QTreeWidget;

namespace nimbrel::app::test {

// Takes the place of every box while it lives: records it and answers with
// its first button at once, so that no box ever waits for a user.
class BoxRecorder {
 public:
  BoxRecorder();
  ~BoxRecorder();
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  std::vector<BoxRequest> boxes;
  // Runs while the box would be open, as a user's action would.
  std::function<void(const BoxRequest&)> while_open;
};

// The cells of one row joined by "|", every row of the list.
QString RowText(const QTreeWidget& list, int row);
QStringList RowTexts(const QTreeWidget& list);

// The row nimbrel-sim's generated station k gives when listed as row `number`.
QString GeneratedRow(int number, int k);

// Colours of one listed cell as drawn: a point inside it, the middle of its
// right edge and of its bottom edge.
struct CellColours {
  QColor inside;
  QColor right_edge;
  QColor bottom_edge;
};
CellColours DrawnCell(QTreeWidget& list, int row, int column);

// Simulator arguments from a test's data table.
std::vector<std::string> Words(const QStringList& list);

// How many search requests ("SRCH", nothing more) the stations received.
int Searches(const nimbrel::test::Simulator& simulator);

}  // namespace nimbrel::app::test

// Isolation first, before Qt can start a thread; then the application.
#define NIMBREL_APP_TEST_MAIN(TestClass)                      \
  int main(int argc, char** argv) {                           \
    nimbrel::test::EnterPrivateNetwork();                     \
    nimbrel::app::Application app(argc, argv);               \
    nimbrel::test::RequirePrivateNetwork();                   \
    TestClass test;                                           \
    return QTest::qExec(&test, argc, argv);                   \
  }
