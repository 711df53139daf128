// Many exchanges in a row: discoveries of 100 simulated stations, then
// configuration exchanges with one of them. Open file descriptors, resident
// memory and heap in use must stay flat after warm-up.
//
//   soak_bench [DISCOVERIES [CONFIGURATIONS]]     (default 1000 each)
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/device.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "private_network.h"
#include "process_usage.h"
#include "simulator.h"

namespace {

using nimbrel::bench::OpenDescriptors;
using nimbrel::bench::ResidentKiB;

void Report(const char* what, int done, int count) {
  std::printf("%-15s %6d %6d %5d %9ld %14zu\n", what, done, count, OpenDescriptors(), ResidentKiB(),
              mallinfo2().uordblks);
  std::fflush(stdout);
}

bool Checkpoint(int done, int total) { return done == 1 || done == 10 || done == 100 || done % 250 == 0 || done == total; }

// Discovery's own work per answer: decode, format, store (up to 100).
int Discover() {
  int count = 0;
  nimbrel::BroadcastAndCollect(nimbrel::BuildSearchRequest(),
                               [&](const nimbrel::CollectionBuffer& buffer, std::size_t length) {
                                 const auto announcement = nimbrel::DecodeAnnouncement(std::span(buffer.data(), length));
                                 nimbrel::StoreAnnouncement(nimbrel::devices[++count], announcement,
                                                            nimbrel::FormatAnnouncement(announcement));
                                 return count == nimbrel::DeviceTable::capacity ? nimbrel::Collect::stop
                                                                                : nimbrel::Collect::more;
                               });
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  nimbrel::test::EnterPrivateNetwork();
  const int discoveries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const int configurations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  nimbrel::test::Simulator stations({"--stations", "100"});

  std::printf("%-15s %6s %6s %5s %9s %14s\n", "exchange", "done", "count", "fds", "RSS KiB", "heap in use B");
  int short_discoveries = 0;
  for (int done = 1; done <= discoveries; ++done) {
    const int found = Discover();
    if (found != 100) ++short_discoveries;
    if (Checkpoint(done, discoveries)) Report("discovery", done, found);
  }

  // Station 1 (MAC 02.4E.42.00.00.01) takes a new address each time.
  const nimbrel::MacBytes station_1{0x02, 0x4E, 0x42, 0x00, 0x00, 0x01};
  int unacknowledged = 0;
  for (int done = 1; done <= configurations; ++done) {
    const auto request = nimbrel::BuildConfigurationRequest(
        {10, 0, 0, 1}, {255, 0, 0, 0}, {10, 1, static_cast<std::uint8_t>(done >> 8), static_cast<std::uint8_t>(done)},
        station_1, {10, 0, 0, 1});
    const bool acknowledged = nimbrel::IsConfigurationReply(nimbrel::BroadcastAndReceiveText(request));
    if (!acknowledged) ++unacknowledged;
    if (Checkpoint(done, configurations)) Report("configuration", done, acknowledged ? 1 : 0);
  }
  std::printf("discoveries short of 100: %d, configurations without SETR: %d\n", short_discoveries, unacknowledged);
  return short_discoveries == 0 && unacknowledged == 0 ? 0 : 1;
}
