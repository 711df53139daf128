// The datagram exchange on the private network, against nimbrel-sim in the
// far namespace (10.0.0.0/8, a subnet that does not fit the PC's) or a peer
// socket in this process.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/exchange.h"
#include "core/messages.h"
#include "simulator.h"
#include "tool_port.h"

namespace nimbrel {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::Simulator;
using test::ToolPortFree;
using namespace std::chrono_literals;

const std::string station_a = "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E";
const Bytes announcement_a{0x41, 0x42, 0x43, 0x31, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                           0xA8, 0x01, 0x32, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x0A, 0x00, 0x00, 0x01};
const std::string station_b = "WX02,10.9.8.7,10.0.0.1,255.0.0.0,10.0.0.53,02.00.00.00.00.02";
const Bytes announcement_b{0x57, 0x58, 0x30, 0x32, 0x0A, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x0A,
                           0x09, 0x08, 0x07, 0x02, 0x00, 0x00, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x35};
const std::string station_c = "ZZ03,172.16.0.9,172.16.0.1,255.255.0.0,172.16.0.1,0A.0B.0C.0D.0E.0F";

const Bytes search_request{0x53, 0x52, 0x43, 0x48};
const std::string message_too_long = "Socket Error # 10040" + std::string(line_break) + "Message too long.";

// A literal with its embedded zero characters.
template <std::size_t N>
std::u16string Text(const char16_t (&literal)[N]) {
  return {literal, N - 1};
}

struct Collected {
  std::vector<Bytes> datagrams;
  std::vector<std::string> failures;
  std::vector<bool> port_held_during_failure;
  std::chrono::milliseconds took{};
};

Collected Collect(std::span<const std::uint8_t> request = search_request, std::size_t stop_after = 1000) {
  Collected result;
  const auto start = std::chrono::steady_clock::now();
  BroadcastAndCollect(
      request,
      [&](const CollectionBuffer& buffer, std::size_t length) {
        result.datagrams.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        return result.datagrams.size() >= stop_after ? nimbrel::Collect::stop : nimbrel::Collect::more;
      },
      [&](const std::exception& failure) {
        result.failures.push_back(failure.what());
        result.port_held_during_failure.push_back(!ToolPortFree());
      });
  result.took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  return result;
}

#ifndef _WIN32
// Under Wine the adapter list is checked before any test starts.
TEST(PrivateNetwork, HoldsOnlyLoopbackAndTheVethPair) {
  std::vector<std::string> names;
  if (struct if_nameindex* interfaces = ::if_nameindex()) {
    for (auto* i = interfaces; i->if_index != 0; ++i) names.emplace_back(i->if_name);
    ::if_freenameindex(interfaces);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"lo", "nb-pc"}));
}

#endif

TEST(Exchange, ASendFailureReportsTheSocketLayersNumberAndDescription) {
#ifdef _WIN32
  GTEST_SKIP() << "a Windows program cannot make a network without routes for itself; "
                  "the Linux build of this test covers the failure's text";
#else
  // A namespace without any route, made in a child so this one stays intact.
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string text = "unshare failed";
    if (::unshare(CLONE_NEWNET) == 0) {
      text = "no failure";
      BroadcastAndCollect(
          search_request, [](const CollectionBuffer&, std::size_t) { return nimbrel::Collect::more; },
          [&](const std::exception& failure) { text = failure.what(); });
      if (!ToolPortFree()) text += " (port still held)";
    }
    (void)!::write(report[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(report[1]);
  std::string text(256, '\0');
  const ssize_t got = ::read(report[0], text.data(), text.size());
  ::close(report[0]);
  ::waitpid(child, nullptr, 0);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  EXPECT_EQ(text, "Socket Error # 10051\nNetwork is unreachable.");
#endif
}

TEST(Exchange, NoDeviceGivesNothingAfterOneAnswerWait) {
  Simulator sim({"--stations", "0"});
  const Collected collected = Collect();
  EXPECT_TRUE(collected.datagrams.empty());
  EXPECT_TRUE(collected.failures.empty());
  EXPECT_GE(collected.took, 245ms);
  EXPECT_EQ(BroadcastAndReceiveText(search_request), u"");
  EXPECT_TRUE(ToolPortFree());
}

TEST(Exchange, CollectsEveryAnswerInArrivalOrderFromAForeignSubnet) {
  Simulator sim({"--station", station_a, "--station", station_b, "--pause", "100"});
  const Collected collected = Collect();
  ASSERT_TRUE(collected.failures.empty()) << collected.failures[0];
  ASSERT_EQ(collected.datagrams.size(), 2u);
  EXPECT_EQ(collected.datagrams[0], announcement_a);
  EXPECT_EQ(collected.datagrams[1], announcement_b);
  // Answers 100 ms apart keep it going; it ends one answer wait after the last.
  EXPECT_GE(collected.took, 100ms + 245ms);

  const auto log = sim.WaitForLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].bytes, search_request);
  EXPECT_EQ(log[0].from, "192.168.1.10:8444");
  EXPECT_TRUE(ToolPortFree());
}

TEST(Exchange, HandsOverLongerDatagramsWholeAndDuplicatesAsTheyCome) {
  Simulator sim({"--station", station_a, "--extra-bytes", "14", "--twice"});
  const Collected collected = Collect();
  ASSERT_EQ(collected.datagrams.size(), 2u);
  Bytes forty = announcement_a;
  forty.resize(40, 0xEE);
  EXPECT_EQ(collected.datagrams[0], forty);
  EXPECT_EQ(collected.datagrams[1], forty);
}

TEST(Exchange, TheBufferKeepsTheTailOfALongerEarlierDatagram) {
  Simulator sim({"--station", station_a, "--short-after", "1", "--short-length", "10"});
  std::vector<std::size_t> lengths;
  CollectionBuffer seen{};
  BroadcastAndCollect(search_request, [&](const CollectionBuffer& buffer, std::size_t length) {
    lengths.push_back(length);
    seen = buffer;
    return nimbrel::Collect::more;
  });
  ASSERT_EQ(lengths, (std::vector<std::size_t>{26, 10}));
  EXPECT_TRUE(std::equal(announcement_a.begin(), announcement_a.end(), seen.begin()))
      << "bytes 10 to 25 still hold the first datagram";
  EXPECT_TRUE(std::all_of(seen.begin() + 26, seen.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(Exchange, AZeroByteDatagramEndsTheCollection) {
  Simulator sim({"--station", station_a, "--station", station_b, "--empty-after", "1"});
  const Collected collected = Collect();
  ASSERT_EQ(collected.datagrams.size(), 1u);
  EXPECT_EQ(collected.datagrams[0], announcement_a);
  EXPECT_TRUE(collected.failures.empty());
}

TEST(Exchange, TheHandlerCanEndTheCollection) {
  Simulator sim({"--stations", "5"});
  const Collected collected = Collect(search_request, 2);
  EXPECT_EQ(collected.datagrams.size(), 2u);
  EXPECT_TRUE(ToolPortFree());
}

TEST(Exchange, AnOversizeDatagramFailsWhileEarlierOnesStayHandedOver) {
  Simulator sim({"--stations", "3", "--oversize-after", "2"});
  const Collected collected = Collect();
  EXPECT_EQ(collected.datagrams.size(), 2u);
  ASSERT_EQ(collected.failures.size(), 1u);
  EXPECT_EQ(collected.failures[0], message_too_long);
  EXPECT_TRUE(collected.port_held_during_failure[0]) << "the caller reports while the endpoint is open";
  EXPECT_TRUE(ToolPortFree());

  // Without a failure handler the failure is thrown once the port is free.
  try {
    BroadcastAndCollect(search_request, [](const CollectionBuffer&, std::size_t) { return nimbrel::Collect::more; });
    FAIL() << "no failure";
  } catch (const NetworkError& failure) {
    EXPECT_EQ(failure.code(), 10040);
    EXPECT_EQ(failure.what(), message_too_long);
    EXPECT_TRUE(ToolPortFree());
  }
}

TEST(Exchange, AFailingHandlerIsReportedLikeANetworkFailure) {
  Simulator sim({"--stations", "2"});
  std::vector<std::string> failures;
  BroadcastAndCollect(
      search_request,
      [](const CollectionBuffer&, std::size_t) -> nimbrel::Collect { throw std::runtime_error("list refused"); },
      [&](const std::exception& failure) { failures.push_back(failure.what()); });
  EXPECT_EQ(failures, std::vector<std::string>{"list refused"});
  EXPECT_TRUE(ToolPortFree());
}

TEST(Exchange, APortHeldElsewhereFailsTheBindAndSendsNothing) {
  Simulator sim({"--stations", "2"});
  {
    UdpEndpoint holder;
    holder.BindAny(tool_port);
    const Collected collected = Collect();
    EXPECT_TRUE(collected.datagrams.empty());
    ASSERT_EQ(collected.failures.size(), 1u);
    EXPECT_EQ(collected.failures[0], "Could not bind socket. Address and port are already in use.");
    try {
      BroadcastAndReceiveText(search_request);
      FAIL() << "no failure";
    } catch (const NetworkError& failure) {
      EXPECT_STREQ(failure.what(), "Could not bind socket. Address and port are already in use.");
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(sim.Log().empty()) << "nothing may be sent after a failed bind";
  }
  EXPECT_TRUE(ToolPortFree());
  EXPECT_EQ(Collect().datagrams.size(), 2u);
}

TEST(Exchange, AnAnswerAfterAFullWaitIsLostButALateOneCountsInTheNextExchange) {
  Simulator sim({"--station", station_a, "--delay", "400"});
  EXPECT_TRUE(Collect().datagrams.empty()) << "the answer comes 400 ms after the request";
  std::this_thread::sleep_for(300ms);  // it arrives while no exchange is open and is dropped

  // A second exchange whose own request nobody answers receives the late
  // answer to the first one.
  const Bytes unanswered(22, 0x00);
  EXPECT_TRUE(Collect().datagrams.empty());
  const Collected next = Collect(unanswered);
  ASSERT_EQ(next.datagrams.size(), 1u);
  EXPECT_EQ(next.datagrams[0], announcement_a);
}

TEST(Exchange, RequestsGoOutWithExactlyTheirOwnLength) {
  Simulator sim({"--station", station_a, "--config-reply", "none"});
  const MacBytes mac_a{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const auto configuration = BuildConfigurationRequest({192, 168, 1, 1}, {255, 255, 255, 0}, {192, 168, 1, 20},
                                                       mac_a, {192, 168, 1, 1});
  const auto command = BuildCommandMessage(u"REBT", {192, 168, 1, 1}, {255, 255, 255, 0}, {192, 168, 1, 50}, mac_a);
  Collect();
  EXPECT_EQ(BroadcastAndReceiveText(configuration), u"");
  EXPECT_EQ(BroadcastAndReceiveText(command), u"");

  const auto log = sim.WaitForLog(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].bytes, search_request);
  EXPECT_EQ(log[1].bytes, (Bytes{0x53, 0x45, 0x54, 0x51, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                                 0xA8, 0x01, 0x14, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xC0, 0xA8, 0x01, 0x01}));
  EXPECT_EQ(log[2].bytes, (Bytes{0x52, 0x45, 0x42, 0x54, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                                 0xA8, 0x01, 0x32, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
  for (const auto& datagram : log) EXPECT_EQ(datagram.from, "192.168.1.10:8444");
}

TEST(Exchange, ReceivesTheConfigurationReplyAsText) {
  const MacBytes mac_a{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const auto request = BuildConfigurationRequest({10, 0, 0, 1}, {255, 0, 0, 0}, {10, 1, 2, 3}, mac_a, {10, 0, 0, 1});
  struct Case {
    const char* mode;
    std::u16string answer;
  };
  const Case cases[] = {
      {"normal", Text(u"SETR\n\0\0\x01\uFFFD\0\0\0\n\x01\x02\x03\0\x1A+<M^\n\0\0\x01")},
      {"lower", Text(u"setr\n\0\0\x01\uFFFD\0\0\0\n\x01\x02\x03\0\x1A+<M^\n\0\0\x01")},
      {"short", Text(u"SET")},
      {"none", Text(u"")},
  };
  for (const auto& c : cases) {
    Simulator sim({"--station", station_a, "--config-reply", c.mode});
    const std::u16string answer = BroadcastAndReceiveText(request);
    EXPECT_EQ(answer, c.answer) << c.mode;
    EXPECT_EQ(IsConfigurationReply(answer), c.mode == std::string("normal")) << c.mode;
    EXPECT_TRUE(ToolPortFree());
  }
}

// A peer socket in this process: it hears the broadcast looped back and
// answers from its own address to the tool port.
class Peer {
 public:
#ifdef _WIN32
  using Handle = SOCKET;
#else
  using Handle = int;
#endif

  explicit Peer(std::size_t answer_size) : answer_size_(answer_size) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(device_port);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) throw std::runtime_error("peer bind");
#ifdef _WIN32
    // Winsock cannot wake a blocked receive by shutdown: the peer gives up by itself.
    const DWORD give_up_ms = 3000;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&give_up_ms), sizeof give_up_ms);
#endif
    thread_ = std::thread([this] { Serve(); });
  }
  ~Peer() {
#ifdef _WIN32
    thread_.join();
    ::closesocket(fd_);
#else
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
#endif
  }

 private:
  void Serve() {
    std::vector<char> request(64);
    if (::recv(fd_, request.data(), static_cast<int>(request.size()), 0) <= 0) return;
    const std::vector<char> answer(answer_size_, 0x53);
    sockaddr_in tool{};
    tool.sin_family = AF_INET;
    tool.sin_port = htons(tool_port);
    tool.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(fd_, answer.data(), static_cast<int>(answer.size()), 0, reinterpret_cast<sockaddr*>(&tool), sizeof tool);
  }
  Handle fd_;
  std::size_t answer_size_;
  std::thread thread_;
};

TEST(Exchange, TheTextAnswerBufferTakes8192BytesAndNoMore) {
  {
    Peer peer(8192);
    EXPECT_EQ(BroadcastAndReceiveText(search_request), std::u16string(8192, u'S'));
  }
  {
    Peer peer(8193);
    try {
      BroadcastAndReceiveText(search_request);
      FAIL() << "no failure";
    } catch (const NetworkError& failure) {
      EXPECT_EQ(failure.what(), message_too_long);
    }
    EXPECT_TRUE(ToolPortFree());
  }
  {
    Peer peer(512);  // exactly the collection buffer
    EXPECT_EQ(Collect().datagrams.size(), 1u);
  }
}

}  // namespace
}  // namespace nimbrel
