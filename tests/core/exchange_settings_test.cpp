// The exchange under settings of the command-line tool: a longer wait, a
// deadline, and the request sent through each interface of a PC with two
// LANs (this binary adds the second one).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "core/broadcast_interfaces.h"
#include "core/exchange.h"
#include "core/messages.h"
#include "private_network.h"
#include "simulator.h"

namespace nimbrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Simulator;
using namespace std::chrono_literals;

const Bytes search_request{0x53, 0x52, 0x43, 0x48};

struct Collected {
  std::vector<Bytes> datagrams;
  CollectEnd end = CollectEnd::quiet;
};

Collected Collect(const ExchangeSettings& settings, std::size_t stop_after = 0) {
  Collected collected;
  collected.end = BroadcastAndCollect(search_request, settings, [&](const CollectionBuffer& buffer, std::size_t length) {
    collected.datagrams.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
    return collected.datagrams.size() == stop_after ? Collect::stop : Collect::more;
  });
  return collected;
}

ExchangeSettings WithDeadline(std::chrono::milliseconds from_now) {
  ExchangeSettings settings;
  settings.deadline = std::chrono::steady_clock::now() + from_now;
  return settings;
}

TEST(ExchangeSettings, SaysWhatEndedTheCollection) {
  Simulator simulator;
  EXPECT_EQ(Collect({}).end, CollectEnd::quiet);
  const Collected quiet = Collect(WithDeadline(5s));
  EXPECT_EQ(quiet.end, CollectEnd::quiet);
  EXPECT_EQ(quiet.datagrams.size(), 3u);
  EXPECT_EQ(Collect({}, 2).end, CollectEnd::stopped);
}

TEST(ExchangeSettings, TheDeadlineEndsAFloodWithWhatCameSoFar) {
  Simulator simulator({"--flood", "1000000"});
  const auto started = std::chrono::steady_clock::now();
  const Collected flooded = Collect(WithDeadline(300ms));
  EXPECT_EQ(flooded.end, CollectEnd::deadline);
  EXPECT_GT(flooded.datagrams.size(), 3u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);  // a hang guard, not a speed check
}

TEST(ExchangeSettings, ADeadlineShorterThanTheWaitCutsTheWait) {
  Simulator simulator({"--stations", "0"});
  EXPECT_EQ(Collect(WithDeadline(100ms)).end, CollectEnd::deadline);
}

TEST(ExchangeSettings, ALongerWaitCollectsSlowAnswers) {
  Simulator simulator({"--pause", "400"});
  ExchangeSettings patient;
  patient.wait = 700ms;
  EXPECT_EQ(Collect(patient).datagrams.size(), 3u);
}

TEST(ExchangeSettings, ReceiveGivesTheAnswersBytesUnchanged) {
  Simulator simulator({"--station", "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E"});
  const auto request =
      BuildConfigurationRequest({10, 0, 0, 1}, {255, 255, 0, 0}, {10, 0, 0, 7}, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                                {10, 0, 0, 53});
  EXPECT_EQ(BroadcastAndReceive(request, {}),
            test::FromHex("53455452" "0a000001" "ffff0000" "0a000007" "001a2b3c4d5e" "0a000035"));
  EXPECT_EQ(BroadcastAndReceive(BuildCommandMessage(u"NONE", {}, {}, {}, {}), {}), Bytes{});
}

TEST(ExchangeSettings, EachInterfaceCarriesTheRequestOnce) {
  test::AddSecondLan();
  const auto interfaces = ReadBroadcastInterfaces();
  std::vector<std::string> names;
  for (const auto& found : interfaces) names.push_back(found.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"nb-pc", "nb-pc2"}));  // loopback cannot broadcast

  Simulator near;
  Simulator far({"--station", "FAR2,172.16.0.50,172.16.0.1,255.255.0.0,172.16.0.1,00.1A.2B.3C.4D.5E"},
                test::SecondFarNamespacePath());
  EXPECT_EQ(Collect({}).datagrams.size(), 3u);  // routed: the first LAN only
  ExchangeSettings everywhere;
  for (const auto& found : interfaces) everywhere.interfaces.push_back(found.index);
  EXPECT_EQ(Collect(everywhere).datagrams.size(), 4u);
  const auto near_log = near.WaitForLog(2);
  const auto far_log = far.WaitForLog(1);
  ASSERT_EQ(near_log.size(), 2u);
  ASSERT_EQ(far_log.size(), 1u);
  EXPECT_EQ(far_log[0].bytes, search_request);
  EXPECT_EQ(far_log[0].from, std::string(test::second_pc_address) + ":8444");
}

}  // namespace
}  // namespace nimbrel
