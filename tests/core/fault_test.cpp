// The exchange under faults of the network and of what arrives: every
// failure reaches the caller as a clear message, nothing handed over before
// it is lost, and the tool port is free again afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/exchange.h"
#include "core/messages.h"
#include "private_network.h"
#include "scripted_station.h"
#include "simulator.h"
#include "tool_port.h"

namespace nimbrel {
namespace {

using test::Datagram;
using test::ToolPortFree;
using namespace std::chrono_literals;

constexpr std::size_t largest_datagram = 65507;  // the largest UDP payload over IPv4
const std::string message_too_long = "Socket Error # 10040\nMessage too long.";
const std::string network_unreachable = "Socket Error # 10051\nNetwork is unreachable.";
const Datagram search_request{0x53, 0x52, 0x43, 0x48};

// Sizes 0 to 65 507 with a pattern that differs from one datagram to the next.
Datagram Filled(std::size_t size) {
  Datagram datagram(size);
  for (std::size_t i = 0; i < size; ++i) datagram[i] = static_cast<std::uint8_t>(i * 7 + size);
  return datagram;
}

struct Collected {
  std::vector<Datagram> datagrams;
  std::vector<std::string> failures;
};

// One collection; each datagram handed over lets the station send its next.
Collected Collect(test::ScriptedStation* station = nullptr) {
  Collected result;
  BroadcastAndCollect(
      search_request,
      [&](const CollectionBuffer& buffer, std::size_t length) {
        result.datagrams.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        if (station) station->Release();
        return nimbrel::Collect::more;
      },
      [&](const std::exception& failure) { result.failures.push_back(failure.what()); });
  return result;
}

TEST(Faults, EveryDatagramSizeDuringACollection) {
  test::ScriptedStation station;
  for (std::size_t size = 0; size <= largest_datagram; ++size) {
    const Datagram datagram = Filled(size);
    station.Script({datagram, {}});  // the empty datagram ends the collection
    const Collected collected = Collect(&station);
    if (size == 0) {
      ASSERT_TRUE(collected.datagrams.empty() && collected.failures.empty()) << size;
    } else if (size <= collection_buffer_size) {
      ASSERT_EQ(collected.datagrams, std::vector<Datagram>{datagram}) << size;
      ASSERT_TRUE(collected.failures.empty()) << size << ": " << collected.failures[0];
    } else {
      ASSERT_TRUE(collected.datagrams.empty()) << size;
      ASSERT_EQ(collected.failures, std::vector<std::string>{message_too_long}) << size;
    }
  }
  EXPECT_TRUE(ToolPortFree());
}

TEST(Faults, EveryDatagramSizeAsAConfigurationReply) {
  test::ScriptedStation station;
  for (std::size_t size = 0; size <= largest_datagram; ++size) {
    const Datagram datagram = Filled(size);
    station.Script({datagram});
    if (size <= text_answer_buffer_size) {
      ASSERT_EQ(BroadcastAndReceiveText(search_request), DecodeAnswerText(datagram)) << size;
    } else {
      try {
        BroadcastAndReceiveText(search_request);
        FAIL() << size << ": no failure";
      } catch (const NetworkError& failure) {
        ASSERT_EQ(failure.what(), message_too_long) << size;
      }
    }
  }
  EXPECT_TRUE(ToolPortFree());
}

TEST(Faults, AStationAnsweringFromThePCsOwnAddressIsListedLikeAnyOther) {
  // The station sits on 192.168.1.10, the PC's own address, and names it.
  const Datagram own{0x50, 0x43, 0x30, 0x31, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                     0xA8, 0x01, 0x0A, 0x02, 0x00, 0x00, 0x00, 0x00, 0x0A, 0xC0, 0xA8, 0x01, 0x01};
  test::ScriptedStation station;
  station.Script({own, own, {}});
  const Collected collected = Collect(&station);
  EXPECT_TRUE(collected.failures.empty());
  EXPECT_EQ(collected.datagrams, (std::vector<Datagram>{own, own}));
  const AnnouncementTexts texts = FormatAnnouncement(DecodeAnnouncement(collected.datagrams.at(0)));
  EXPECT_EQ(texts.id, u"PC01");
  EXPECT_EQ(texts.ip, u"192.168.1.10");
  EXPECT_EQ(station.Requests(), std::vector<Datagram>{search_request});
}

TEST(Faults, NoRouteForTheBroadcastFailsClearlyAndSendsNothing) {
  test::Simulator sim({"--stations", "2"});
  test::SetDefaultRoute(false);
  const Collected collected = Collect();
  std::string text_failure;
  try {
    BroadcastAndReceiveText(search_request);
  } catch (const NetworkError& failure) {
    text_failure = failure.what();
  }
  test::SetDefaultRoute(true);
  EXPECT_TRUE(collected.datagrams.empty());
  EXPECT_EQ(collected.failures, std::vector<std::string>{network_unreachable});
  EXPECT_EQ(text_failure, network_unreachable);
  EXPECT_TRUE(ToolPortFree());
  EXPECT_TRUE(sim.Log().empty()) << "nothing may leave without a route";
  EXPECT_EQ(Collect().datagrams.size(), 2u) << "the route is back";
}

TEST(Faults, TheInterfaceGoingDownEndsTheCollectionWithWhatArrived) {
  test::Simulator sim({"--stations", "5", "--pause", "150"});
  Collected collected;
  BroadcastAndCollect(
      search_request,
      [&](const CollectionBuffer& buffer, std::size_t length) {
        collected.datagrams.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        if (collected.datagrams.size() == 2) test::SetPcLink(false);
        return nimbrel::Collect::more;
      },
      [&](const std::exception& failure) { collected.failures.push_back(failure.what()); });
  // The announcements received stay; the rest cannot arrive, and the
  // collection ends at its answer wait. (One may still be on its way while
  // the link goes down.)
  EXPECT_GE(collected.datagrams.size(), 2u);
  EXPECT_LT(collected.datagrams.size(), 5u);
  EXPECT_TRUE(collected.failures.empty());
  EXPECT_TRUE(ToolPortFree());

  const Collected while_down = Collect();
  test::SetPcLink(true);
  EXPECT_EQ(while_down.failures, std::vector<std::string>{network_unreachable});
  EXPECT_TRUE(ToolPortFree());
  std::this_thread::sleep_for(800ms);  // the rest of the first answer, sent while the link was down
  EXPECT_EQ(Collect().datagrams.size(), 5u) << "the link is back";
}

}  // namespace
}  // namespace nimbrel
