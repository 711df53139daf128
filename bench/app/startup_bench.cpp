// Time from process start to the main window shown, with three simulated
// stations, against the protocol's floor: the first discovery cannot end
// before its last answer has come and one answer wait has passed.
//
//   startup_bench [RUNS]
//
// Each run starts this program afresh as a child that goes through the very
// start-up of nimbrel-config and reports when its window is first exposed.
// The platform is whatever the environment says (offscreen when there is no
// display, xcb under Xvfb).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QEvent>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Unit1.h"
#include "application.h"
#include "core/exchange.h"
#include "private_network.h"
#include "simulator.h"
#include "startup.h"

namespace {

constexpr const char* child_flag = "--child";

double NowMs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string NamespaceOf(const char* path) {
  char target[128] = {};
  const ssize_t length = ::readlink(path, target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// Moments of one start-up, in CLOCK_MONOTONIC milliseconds.
struct Moments {
  double application = 0;   // the application object exists
  double form_created = 0;  // start-up done, the first discovery included
  double exposed = 0;       // the main window is on the screen
  int rows = 0;
};

class ExposeWatch : public QObject {
 public:
  explicit ExposeWatch(Moments& moments) : moments_(moments) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed() && moments_.exposed == 0) {
      moments_.exposed = NowMs();
      QCoreApplication::quit();
    }
    return false;
  }

 private:
  Moments& moments_;
};

// The child: nimbrel-config's start-up, timed.
int Child(int argc, char** argv, int report_fd) {
  // It must only ever run inside the private network its parent made.
  if (NamespaceOf("/proc/self/ns/net") == NamespaceOf("/proc/1/ns/net")) {
    std::fprintf(stderr, "startup_bench: the child runs only inside the private network\n");
    return 2;
  }
  Moments moments;
  nimbrel::app::Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("nimbrel-config"));
  moments.application = NowMs();

  const auto form = nimbrel::app::StartUp(app);
  moments.form_created = NowMs();
  moments.rows = form->list->topLevelItemCount();

  ExposeWatch watch(moments);
  form->show();
  form->windowHandle()->installEventFilter(&watch);
  if (form->windowHandle()->isExposed())
    moments.exposed = NowMs();
  else
    app.exec();
  const auto written = ::write(report_fd, &moments, sizeof moments);
  return written == static_cast<ssize_t>(sizeof moments) ? 0 : 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], child_flag) == 0) return Child(argc, argv, std::atoi(argv[2]));

  nimbrel::test::EnterPrivateNetwork();
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  nimbrel::test::Simulator stations;  // three

  std::vector<double> total, floor, overhead, to_app, to_form, to_shown;
  for (int run = 0; run < runs; ++run) {
    int report[2];
    if (::pipe(report) != 0) return 1;
    const std::string fd = std::to_string(report[1]);
    const double start = NowMs();
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(report[0]);
      ::execl("/proc/self/exe", argv[0], child_flag, fd.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(report[1]);
    Moments moments;
    const auto got = ::read(report[0], &moments, sizeof moments);
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof moments) || moments.rows != 3) {
      std::fprintf(stderr, "run %d failed (rows %d, status %d)\n", run, moments.rows, status);
      return 1;
    }
    const double answer_wait = static_cast<double>(nimbrel::answer_wait.count());
    total.push_back(moments.exposed - start);
    // No start-up can show a filled list before one answer wait has passed
    // after the request; the stations answer within a millisecond here.
    floor.push_back(answer_wait);
    overhead.push_back(moments.exposed - start - answer_wait);
    to_app.push_back(moments.application - start);
    to_form.push_back(moments.form_created - moments.application);
    to_shown.push_back(moments.exposed - moments.form_created);
  }
  std::printf("platform %s, %d runs, three stations (milliseconds, median [min..max])\n",
              qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("default")).toUtf8().constData(), runs);
  const auto line = [](const char* name, const std::vector<double>& values) {
    std::printf("  %-34s %8.1f  [%6.1f .. %6.1f]\n", name, Median(values), *std::min_element(values.begin(), values.end()),
                *std::max_element(values.begin(), values.end()));
  };
  line("process start to window shown", total);
  line("protocol floor (one answer wait)", floor);
  line("overhead beyond the floor", overhead);
  line("  process start to application", to_app);
  line("  application to window made", to_form);
  line("  window made to window shown", to_shown);
  std::printf("target: overhead within 150 ms -> %s\n", Median(overhead) <= 150 ? "met" : "MISSED");
  return 0;
}
