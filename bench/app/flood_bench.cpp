// The program's discovery under two senders that never stop: one flooding
// the tool port at full speed, one answering every 240 ms (just inside the
// answer wait, so no wait ever passes in silence). Discovery must end at 100
// rows either way; the figure is the longest freeze of the window, measured
// as the longest gap between ticks of a 10 ms timer. Beside it,
// `nimbrel discover --deadline 2` must end at its deadline.
//
//   flood_bench [DISCOVERIES]      (per sender, default 3)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "Unit1.h"
#include "application.h"
#include "core/device.h"
#include "core/exchange.h"
#include "message_box.h"
#include "private_network.h"
#include "startup.h"

namespace {

// A process on the far side sending announcements to the PC's tool port,
// each `interval` apart (0: as fast as it can), until it is killed.
class Sender {
 public:
  explicit Sender(std::chrono::microseconds interval) {
    const std::string far = nimbrel::test::FarNamespacePath();
    pid_ = ::fork();
    if (pid_ < 0) std::abort();
    if (pid_ > 0) return;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int ns = ::open(far.c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0 || ::setns(ns, CLONE_NEWNET) != 0) ::_exit(3);
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in pc{};
    pc.sin_family = AF_INET;
    pc.sin_port = htons(nimbrel::tool_port);
    ::inet_pton(AF_INET, nimbrel::test::pc_address, &pc.sin_addr);
    std::array<std::uint8_t, 26> announcement{'F', 'L', 'D', '0', 10, 0, 0, 1, 255, 0, 0, 0, 10, 0, 9, 9,
                                              0x02, 0x4E, 0x42, 0xFF, 0, 0, 10, 0, 0, 1};
    for (std::uint32_t n = 0;; ++n) {
      announcement[20] = static_cast<std::uint8_t>(n >> 8);
      announcement[21] = static_cast<std::uint8_t>(n);
      ::sendto(fd, announcement.data(), announcement.size(), 0, reinterpret_cast<sockaddr*>(&pc), sizeof pc);
      if (interval.count() > 0) std::this_thread::sleep_for(interval);
    }
  }
  ~Sender() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

// Runs `nimbrel discover --deadline SECONDS --csv`; its wall time in
// ms and the number of stations it printed.
std::pair<long long, int> RunDiscoverCommand(const char* seconds) {
  int output[2];
  if (::pipe(output) != 0) std::abort();
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) std::abort();
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[0]);
    ::close(output[1]);
    ::execl(NIMBREL_CLI_PATH, "nimbrel", "discover", "--deadline", seconds, "--csv", nullptr);
    ::_exit(127);
  }
  ::close(output[1]);
  std::string text;
  char chunk[4096];
  for (ssize_t got; (got = ::read(output[0], chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(got));
  ::close(output[0]);
  ::waitpid(child, nullptr, 0);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  return {took.count(), std::max(0, lines - 1)};  // less the header
}

}  // namespace

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  const int discoveries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  nimbrel::app::Application app(argc, argv);
  nimbrel::test::RequirePrivateNetwork();
  int boxes = 0;
  nimbrel::app::SetBoxHandler([&](const nimbrel::app::BoxRequest&) {
    ++boxes;
    return QMessageBox::Ok;
  });
  const auto form = nimbrel::app::StartUp(app);  // nobody answers yet
  form->show();
  QCoreApplication::processEvents();

  QElapsedTimer clock;
  clock.start();
  qint64 last_tick = 0;
  qint64 longest_gap = 0;
  QTimer heartbeat;
  heartbeat.setInterval(10);
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longest_gap = std::max(longest_gap, now - last_tick);
    last_tick = now;
  });

  std::printf("%-16s %11s %6s %16s %16s\n", "sender", "discovery", "rows", "discovery ms", "longest gap ms");
  bool all_hundred = true;
  bool deadline_kept = true;
  for (const auto& [name, interval] : {std::pair{"flood", std::chrono::microseconds(0)},
                                       std::pair{"every 240 ms", std::chrono::microseconds(240'000)}}) {
    Sender sender(interval);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 1; i <= discoveries; ++i) {
      // A quiet moment of the event loop first, then Refresh from a timer
      // tick, as the user's click or auto refresh would come.
      longest_gap = 0;
      last_tick = clock.elapsed();
      heartbeat.start();
      qint64 took = -1;
      QTimer::singleShot(50, [&] {
        QElapsedTimer discovery;
        discovery.start();
        form->Button1->click();
        took = discovery.elapsed();
      });
      while (took < 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      const qint64 settle = clock.elapsed() + 50;  // ticks after the freeze record its gap
      while (clock.elapsed() < settle) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
      heartbeat.stop();
      const int rows = form->list->topLevelItemCount();
      all_hundred = all_hundred && rows == 100;
      std::printf("%-16s %11d %6d %16lld %16lld\n", name, i, rows, static_cast<long long>(took),
                  static_cast<long long>(longest_gap));
      std::fflush(stdout);
    }
    const auto [wall_ms, stations] = RunDiscoverCommand("2");
    std::printf("%-16s nimbrel discover --deadline 2: %lld ms, %d stations printed\n", name, wall_ms, stations);
    deadline_kept = deadline_kept && wall_ms < 2000 + 500;
  }
  if (boxes != 0 || !all_hundred || !deadline_kept) {
    std::fprintf(stderr, "flood_bench: %d boxes, every discovery 100 rows: %s, deadline kept: %s\n", boxes,
                 all_hundred ? "yes" : "no", deadline_kept ? "yes" : "no");
    return 1;
  }
  return 0;
}
