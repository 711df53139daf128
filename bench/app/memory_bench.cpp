// The program's memory and open file descriptors after 1, 100 and 1000
// discoveries of 100 stations: after warm-up neither may grow.
//
//   memory_bench [DISCOVERIES]
#include <malloc.h>

#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "Unit1.h"
#include "application.h"
#include "core/device.h"
#include "message_box.h"
#include "private_network.h"
#include "process_usage.h"
#include "simulator.h"
#include "startup.h"

using nimbrel::bench::OpenDescriptors;
using nimbrel::bench::ResidentKiB;

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  const int discoveries = argc > 1 ? std::max(100, std::atoi(argv[1])) : 1000;
  nimbrel::app::Application app(argc, argv);
  nimbrel::test::RequirePrivateNetwork();
  int boxes = 0;
  nimbrel::app::SetBoxHandler([&](const nimbrel::app::BoxRequest&) {
    ++boxes;
    return QMessageBox::Ok;
  });
  nimbrel::test::Simulator stations({"--stations", "100"});

  const auto form = nimbrel::app::StartUp(app);  // discovery 1
  form->show();
  std::printf("%12s %10s %14s %6s %5s\n", "discoveries", "RSS KiB", "heap in use B", "rows", "fds");
  const auto report = [&](int done) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    std::printf("%12d %10ld %14zu %6d %5d\n", done, ResidentKiB(), mallinfo2().uordblks,
                form->list->topLevelItemCount(), OpenDescriptors());
    std::fflush(stdout);
  };
  report(1);
  for (int done = 2; done <= discoveries; ++done) {
    form->Button1->click();
    QCoreApplication::processEvents();
    if (done == 10 || done == 100 || done % 250 == 0 || done == discoveries) report(done);
  }
  if (boxes != 0 || nimbrel::device_count != 100) {
    std::fprintf(stderr, "memory_bench: %d boxes, device_count %d\n", boxes, nimbrel::device_count);
    return 1;
  }
  return 0;
}
