// Start-up: the style by name, the title, and the main window whose creation
// runs the first discovery before the window is ever shown.
#include <QApplication>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <vector>

#include "Unit1.h"
#include "Unit2.h"
#include "app_test_support.h"
#include "application.h"
#include "core/device.h"
#include "core/exchange.h"
#include "core/udp_endpoint.h"
#include "simulator.h"
#include "startup.h"
#include "style/style_registry.h"

using nimbrel::app::Application;
using nimbrel::app::BoxRequest;
using nimbrel::app::TForm1;
using nimbrel::app::test::BoxRecorder;
using nimbrel::app::test::GeneratedRow;
using nimbrel::app::test::RowTexts;
using nimbrel::test::Simulator;

namespace {

// What was true when a box came up.
struct BoxMoment {
  BoxRequest box;
  bool main_window_exists = false;
  bool main_window_shown = false;
  QString style_sheet;
};

}  // namespace

class StartupTests : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<BoxRecorder> boxes_;
  std::vector<BoxMoment> moments_;

 private slots:
  void init() {
    moments_.clear();
    boxes_ = std::make_unique<BoxRecorder>();
    boxes_->while_open = [this](const BoxRequest& box) {
      moments_.push_back({box, nimbrel::app::Form1 != nullptr,
                          nimbrel::app::Form1 != nullptr && nimbrel::app::Form1->isVisible(), qApp->styleSheet()});
    };
  }
  void cleanup() { boxes_.reset(); }

  // First, while the process still has the standard look.
  void missingStyleIsReportedAndStartUpGoesOn() {
    Simulator stations;
    const QPalette standard = QApplication::palette();
    const auto form = nimbrel::app::StartUp(*static_cast<Application*>(qApp), QStringLiteral("Slate Blue"));

    QCOMPARE(moments_.size(), std::size_t{1});
    const BoxMoment& moment = moments_[0];
    QCOMPARE(moment.box.text, QStringLiteral("Style 'Slate Blue' not found"));
    QCOMPARE(moment.box.buttons, QMessageBox::StandardButtons(QMessageBox::Close));
    QCOMPARE(moment.box.icon, QMessageBox::Critical);
    QVERIFY(!moment.main_window_exists);
    QVERIFY(qApp->styleSheet().isEmpty());
    QCOMPARE(QApplication::palette().color(QPalette::Window), standard.color(QPalette::Window));

    QCOMPARE(Application::Title(), QStringLiteral("Nimbrel Configuration Tool"));
    QCOMPARE(form->list->topLevelItemCount(), 3);
    QVERIFY(!form->isVisible());
  }

  void rubyGraphiteThenDiscoveryBeforeShow() {
    QVERIFY(nimbrel::app::StyleNames().contains(QStringLiteral("Ruby Graphite")));
    Simulator stations;
    const auto form = nimbrel::app::StartUp(*static_cast<Application*>(qApp));
    QVERIFY(moments_.empty());
    QVERIFY(!qApp->styleSheet().isEmpty());
    QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 80);  // a dark look
    QVERIFY(!QApplication::windowIcon().isNull());
    // The style sheet leaves every control the window's 11-pixel font.
    for (const QWidget* control : form->findChildren<QWidget*>()) {
      if (qobject_cast<const QMenu*>(control) != nullptr) continue;
      QCOMPARE(control->font().pixelSize(), 11);
    }

    // The list is filled, by exactly one discovery, before the first show.
    QVERIFY(!form->isVisible());
    QCOMPARE(RowTexts(*form->list), (QStringList{GeneratedRow(1, 1), GeneratedRow(2, 2), GeneratedRow(3, 3)}));
    QCOMPARE(stations.WaitForLog(1).size(), std::size_t{1});
    QCOMPARE(form->windowTitle(), QStringLiteral("Nimbrel Configuration Tool x64 ver 1.0.1 -  18.04.2016"));
    // The IP configuration dialog follows, hidden, owned by the main window
    // and opened through it.
    QVERIFY(nimbrel::app::Form2 != nullptr);
    QCOMPARE(nimbrel::app::Form2->parentWidget(), form.get());
    QVERIFY(!nimbrel::app::Form2->isVisible());
    QVERIFY(form->show_ip_configuration);

    // Rows listed before the first show have the styled height already: a
    // Refresh once the window is up must not make them jump.
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const int first_height = form->list->visualItemRect(form->list->topLevelItem(0)).height();
    // The style's grid colour closes every cell, a chosen row's cells too.
    const auto plain = nimbrel::app::test::DrawnCell(*form->list, 0, 2);
    QCOMPARE(plain.right_edge, QColor(0x3a, 0x3d, 0x42));
    QCOMPARE(plain.bottom_edge, QColor(0x3a, 0x3d, 0x42));
    form->list->setCurrentItem(form->list->topLevelItem(1));
    const auto chosen = nimbrel::app::test::DrawnCell(*form->list, 1, 2);
    QVERIFY(chosen.right_edge != chosen.inside);
    QCOMPARE(chosen.bottom_edge, chosen.right_edge);
    form->list->selectionModel()->clear();
    form->Button1->click();
    QCOMPARE(form->list->topLevelItemCount(), 3);
    QCOMPARE(form->list->visualItemRect(form->list->topLevelItem(0)).height(), first_height);
  }

  void startUpDiscoveryFailureComesBeforeTheWindow() {
    Simulator stations;
    nimbrel::UdpEndpoint holder;
    holder.BindAny(nimbrel::tool_port);
    const auto form = nimbrel::app::StartUp(*static_cast<Application*>(qApp));

    QCOMPARE(moments_.size(), std::size_t{1});
    QCOMPARE(moments_[0].box.text, QStringLiteral("Could not bind socket. Address and port are already in use."));
    QCOMPARE(moments_[0].box.caption, QStringLiteral("Error!"));
    QVERIFY(moments_[0].main_window_exists);
    QVERIFY(!moments_[0].main_window_shown);
    QCOMPARE(form->list->topLevelItemCount(), 0);
  }
};

NIMBREL_APP_TEST_MAIN(StartupTests)

#include "startup_tests.moc"
