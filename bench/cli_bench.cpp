// Wall time of `nimbrel discover --json`, as a script runs it, with 0, 10 and
// 100 simulated stations, against the protocol's floor (the last answer's
// arrival plus the 250 ms answer wait, both timed from the process's start)
// and beside a minimal Python client doing the same exchange in the same
// run. Answers are timed as they reach the PC's interface by a packet
// socket, so the floor is the same clock for both programs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "private_network.h"
#include "simulator.h"

namespace {

using clock_type = std::chrono::steady_clock;

// Arrival times of datagrams to UDP port 8444 on the PC's veth.
class AnswerClock {
 public:
  AnswerClock() {
    fd_ = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    sockaddr_ll link{};
    link.sll_family = AF_PACKET;
    link.sll_protocol = htons(ETH_P_IP);
    link.sll_ifindex = static_cast<int>(::if_nametoindex("nb-pc"));
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&link), sizeof link) != 0) {
      std::perror("packet socket");
      std::exit(1);
    }
    reader_ = std::thread([this] { Read(); });
  }
  ~AnswerClock() {
    stop_ = true;
    reader_.join();
    ::close(fd_);
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    arrivals_.clear();
  }
  std::vector<clock_type::time_point> Arrivals() {
    std::lock_guard lock(mutex_);
    return arrivals_;
  }

 private:
  void Read() {
    unsigned char packet[2048];
    while (!stop_) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 20) <= 0) continue;
      sockaddr_ll from{};
      socklen_t from_size = sizeof from;
      const ssize_t got = ::recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &from_size);
      const auto at = clock_type::now();
      if (got < 28 || from.sll_pkttype == PACKET_OUTGOING || packet[9] != IPPROTO_UDP) continue;
      const std::size_t udp = (packet[0] & 0x0F) * 4u;
      if (static_cast<std::size_t>(got) < udp + 8) continue;
      if (((packet[udp + 2] << 8) | packet[udp + 3]) != 8444) continue;
      std::lock_guard lock(mutex_);
      arrivals_.push_back(at);
    }
  }

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<clock_type::time_point> arrivals_;
  std::thread reader_;
};

struct Run {
  double wall_ms;
  double floor_ms;
  std::size_t answers;
};

Run RunOnce(AnswerClock& answers, const std::vector<std::string>& command) {
  std::vector<std::string> words = command;
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  answers.Clear();
  const auto start = clock_type::now();
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  const auto end = clock_type::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0]);
    std::exit(1);
  }
  const auto arrivals = answers.Arrivals();
  const auto last = arrivals.empty() ? start : *std::max_element(arrivals.begin(), arrivals.end());
  const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
  return {ms(end - start), ms(last - start) + 250.0, arrivals.size()};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 10;
  AnswerClock answers;
  const std::vector<std::string> nimbrel{NIMBREL_CLI_PATH, "discover", "--json"};
  const std::vector<std::string> python{"/usr/bin/python3", NIMBREL_PYTHON_CLIENT};

  std::printf("%-9s %5s | %10s %10s %12s | %10s %12s | %8s\n", "stations", "runs", "floor ms", "nimbrel ms",
              "over floor", "python ms", "over floor", "ratio");
  for (int stations : {0, 10, 100}) {
    nimbrel::test::Simulator sim({"--stations", std::to_string(stations)});
    std::vector<double> tool_wall, tool_over, py_wall, py_over, ratio;
    for (int i = 0; i < repeats; ++i) {
      // Alternate, so that both meet the same machine load.
      const Run tool = RunOnce(answers, nimbrel);
      const Run py = RunOnce(answers, python);
      if (tool.answers != static_cast<std::size_t>(stations) || py.answers != static_cast<std::size_t>(stations))
        std::fprintf(stderr, "answers seen: nimbrel %zu, python %zu of %d\n", tool.answers, py.answers, stations);
      tool_wall.push_back(tool.wall_ms);
      tool_over.push_back(tool.wall_ms - tool.floor_ms);
      py_wall.push_back(py.wall_ms);
      py_over.push_back(py.wall_ms - py.floor_ms);
      ratio.push_back(tool.wall_ms / py.wall_ms);
    }
    std::printf("%-9d %5d | %10.2f %10.2f %12.2f | %10.2f %12.2f | %8.3f\n", stations, repeats,
                Median(tool_wall) - Median(tool_over), Median(tool_wall), Median(tool_over), Median(py_wall),
                Median(py_over), Median(ratio));
  }
  return 0;
}
