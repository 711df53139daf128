// One collection against 0, 1, 10 and 100 simulated stations answering in a
// burst. The protocol's floor is the arrival of the last answer plus one
// answer wait; the overhead is what the exchange takes beyond it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/exchange.h"
#include "core/messages.h"
#include "private_network.h"
#include "simulator.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct Run {
  double wall_ms;
  double floor_ms;
  std::size_t received;
};

Run CollectOnce() {
  const auto request = nimbrel::BuildSearchRequest();
  const auto start = clock_type::now();
  auto last = start;
  std::size_t received = 0;
  nimbrel::BroadcastAndCollect(request, [&](const nimbrel::CollectionBuffer&, std::size_t) {
    last = clock_type::now();
    ++received;
    return nimbrel::Collect::more;
  });
  const auto end = clock_type::now();
  const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
  return {ms(end - start), ms(last - start) + ms(nimbrel::answer_wait), received};
}

double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  const int repeats = argc > 1 ? std::atoi(argv[1]) : 20;
  std::printf("%-9s %8s %10s %10s %14s %14s %8s %6s\n", "stations", "runs", "wall ms", "floor ms",
              "overhead med", "overhead max", "ratio", "lost");
  for (int stations : {0, 1, 10, 100}) {
    nimbrel::test::Simulator sim({"--stations", std::to_string(stations)});
    std::vector<double> overhead, ratio, wall, floor;
    std::size_t lost = 0;
    for (int i = 0; i < repeats; ++i) {
      const Run run = CollectOnce();
      wall.push_back(run.wall_ms);
      floor.push_back(run.floor_ms);
      overhead.push_back(run.wall_ms - run.floor_ms);
      ratio.push_back(run.wall_ms / run.floor_ms);
      lost += static_cast<std::size_t>(stations) - std::min<std::size_t>(run.received, static_cast<std::size_t>(stations));
    }
    std::printf("%-9d %8d %10.2f %10.2f %14.3f %14.3f %8.4f %6zu\n", stations, repeats, Percentile(wall, 0.5),
                Percentile(floor, 0.5), Percentile(overhead, 0.5), Percentile(overhead, 1.0),
                Percentile(ratio, 0.5), lost);
  }
  return 0;
}
