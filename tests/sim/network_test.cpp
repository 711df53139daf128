// nimbrel-sim on the wire: the stations live in the far namespace, this test
// talks to them from the PC side as the tool would. Every broadcast stays in
// the private network that main() set up with EnterPrivateNetwork().
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "private_network.h"
#include "simulator.h"
#include "udp_port.h"

namespace nimbrel::test {
namespace {

using std::chrono::milliseconds;

const Bytes search{0x53, 0x52, 0x43, 0x48};

// The three stations nimbrel-sim makes up when given no station.
const Bytes s001{0x53, 0x30, 0x30, 0x31, 0x0A, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x0A,
                 0x00, 0x00, 0x65, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x01};
const Bytes s002{0x53, 0x30, 0x30, 0x32, 0x0A, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x0A,
                 0x00, 0x00, 0x66, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x01};
const Bytes s003{0x53, 0x30, 0x30, 0x33, 0x0A, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00, 0x00, 0x0A,
                 0x00, 0x00, 0x67, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x03, 0x0A, 0x00, 0x00, 0x01};
const std::string s001_state =
    R"({"id":"S001","mac":"02.4E.42.00.00.01","ip":"10.0.0.101","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":[]})";
const std::string s002_state =
    R"({"id":"S002","mac":"02.4E.42.00.00.02","ip":"10.0.0.102","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":[]})";
const std::string s003_state =
    R"({"id":"S003","mac":"02.4E.42.00.00.03","ip":"10.0.0.103","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":[]})";
const std::string default_state = s001_state + "\n" + s002_state + "\n" + s003_state + "\n";

const std::string abc1_option = "ABC1,192.168.1.50,192.168.1.1,255.255.255.0,10.0.0.1,00.1A.2B.3C.4D.5E";
const Bytes abc1{0x41, 0x42, 0x43, 0x31, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                 0xA8, 0x01, 0x32, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x0A, 0x00, 0x00, 0x01};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(SimStations, DefaultStationsAnnounceAndAreListedInTheState) {
  Simulator simulator;
  EXPECT_EQ(simulator.State(), default_state);
  UdpPort tool(8444);
  tool.Broadcast(search);
  const auto answers = tool.Collect();
  EXPECT_EQ(BytesOf(answers), (std::vector<Bytes>{s001, s002, s003}));
  for (const auto& answer : answers) EXPECT_EQ(answer.from, "10.0.0.2:1444");
}

TEST(SimStations, ExplicitStationsComeFirstAndGeneratedOnesAreNumberedOn) {
  Simulator simulator({"--station", abc1_option, "--stations", "2"});
  UdpPort tool(8444);
  tool.Broadcast(search);
  EXPECT_EQ(BytesOf(tool.Collect()), (std::vector<Bytes>{abc1, s002, s003}));
  EXPECT_EQ(Lines(simulator.State()).at(0),
            R"({"id":"ABC1","mac":"00.1A.2B.3C.4D.5E","ip":"192.168.1.50","gateway":"192.168.1.1","netmask":"255.255.255.0","dns":"10.0.0.1","commands":[]})");
}

TEST(SimStations, OnlyExplicitStationsWithoutStationCount) {
  // The id is taken by its length, so a comma or a control character in it is fine.
  Simulator simulator({"--station", std::string("A,\x01\"") + ",1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1,0a:0b:0c:0d:0e:0f",
                       "--station", "ZZ99,0.0.0.0,0.0.0.0,0.0.0.0,255.255.255.255,FF-FF-FF-FF-FF-FF"});
  UdpPort tool(8444);
  tool.Broadcast(search);
  EXPECT_EQ(BytesOf(tool.Collect()),
            (std::vector<Bytes>{{0x41, 0x2C, 0x01, 0x22, 1, 2, 3, 1, 255, 0, 0, 0, 1,
                                 2, 3, 4, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 1, 2, 3, 1},
                                {0x5A, 0x5A, 0x39, 0x39, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 255, 255, 255, 255}}));
  EXPECT_EQ(simulator.State(),
            R"({"id":"A,\u0001\"","mac":"0A.0B.0C.0D.0E.0F","ip":"1.2.3.4","gateway":"1.2.3.1","netmask":"255.0.0.0","dns":"1.2.3.1","commands":[]})"
            "\n"
            R"({"id":"ZZ99","mac":"FF.FF.FF.FF.FF.FF","ip":"0.0.0.0","gateway":"0.0.0.0","netmask":"0.0.0.0","dns":"255.255.255.255","commands":[]})"
            "\n");
}

TEST(SimStations, GeneratedNumbersWrapIdAndCarryIntoAddressAndMac) {
  Simulator simulator({"--stations", "1000"});
  const auto lines = Lines(simulator.State());
  ASSERT_EQ(lines.size(), 1000u);
  EXPECT_EQ(lines[255],
            R"({"id":"S256","mac":"02.4E.42.00.01.00","ip":"10.0.1.100","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":[]})");
  EXPECT_EQ(lines[999],
            R"({"id":"S000","mac":"02.4E.42.00.03.E8","ip":"10.0.4.76","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":[]})");
}

// Expected datagrams of a misbehaving answer.
Bytes WithExtra(const Bytes& announcement, std::size_t extra) {
  return Concat(announcement, Bytes(extra, 0xEE));
}
const Bytes oversize(600, 0x4F);
const Bytes empty;
Bytes Prefix(const Bytes& announcement, std::size_t length) { return Bytes(announcement.begin(), announcement.begin() + static_cast<std::ptrdiff_t>(length)); }

struct AnswerCase {
  const char* name;
  std::vector<std::string> arguments;
  std::vector<Bytes> expected;
  int min_first_ms = 0;  // no datagram may come sooner than this after the request
  int min_last_ms = 0;
};

TEST(SimSearch, MisbehavioursShapeTheAnswer) {
  const AnswerCase cases[] = {
      {"burst", {}, {s001, s002, s003}},
      {"extra bytes", {"--extra-bytes", "3"}, {WithExtra(s001, 3), WithExtra(s002, 3), WithExtra(s003, 3)}},
      {"twice", {"--twice"}, {s001, s001, s002, s002, s003, s003}},
      {"oversize after 1", {"--oversize-after", "1"}, {s001, oversize, s002, s003}},
      {"empty after 0", {"--empty-after", "0"}, {empty, s001, s002, s003}},
      {"short after 2", {"--short-after", "2"}, {s001, s002, Prefix(s003, 10), s003}},
      {"short after 3 of 4 bytes", {"--short-after", "3", "--short-length", "4"}, {s001, s002, s003, Prefix(s001, 4)}},
      {"odd ones on one count", {"--oversize-after", "1", "--empty-after", "1", "--short-after", "1"},
       {s001, oversize, empty, Prefix(s002, 10), s002, s003}},
      {"count never reached", {"--oversize-after", "3", "--empty-after", "4"}, {s001, s002, s003, oversize}},
      {"flood", {"--flood", "4"}, {s001, s002, s003, s001, s002, s003, s001}},
      {"flood counts as announcements", {"--flood", "2", "--empty-after", "4"}, {s001, s002, s003, s001, empty, s002}},
      {"twice with extra bytes and oversize",
       {"--twice", "--extra-bytes", "1", "--oversize-after", "3"},
       {WithExtra(s001, 1), WithExtra(s001, 1), WithExtra(s002, 1), oversize, WithExtra(s002, 1),
        WithExtra(s003, 1), WithExtra(s003, 1)}},
      {"delay and pause", {"--delay", "150", "--pause", "100"}, {s001, s002, s003}, 150, 350},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator simulator(c.arguments);
    UdpPort tool(8444);
    const auto sent = Clock::now();
    tool.Broadcast(search);
    const auto answers = tool.Collect();
    EXPECT_EQ(BytesOf(answers), c.expected);
    if (answers.empty()) continue;
    EXPECT_GE(answers.front().at - sent, milliseconds(c.min_first_ms));
    EXPECT_GE(answers.back().at - sent, milliseconds(c.min_last_ms));
  }
}

TEST(SimSearch, AnswersGoWhereTheOptionsSay) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::uint16_t device_port;
    std::uint16_t answered_port;
    const char* from;
  };
  const Case cases[] = {
      {"broadcast to the tool port", {}, 1444, 8444, "10.0.0.2:1444"},
      {"back to the sender", {"--reply-to", "sender"}, 1444, 9555, "10.0.0.2:1444"},
      {"other tool port", {"--tool-port", "8555"}, 1444, 8555, "10.0.0.2:1444"},
      {"other device port", {"--port", "1555"}, 1555, 8444, "10.0.0.2:1555"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator simulator(c.arguments);
    UdpPort tool(8444), sender(9555), other(8555);
    sender.Broadcast(search, c.device_port);
    for (auto* port : {&tool, &sender, &other}) {
      const bool answered = (port == &tool && c.answered_port == 8444) ||
                            (port == &sender && c.answered_port == 9555) ||
                            (port == &other && c.answered_port == 8555);
      const auto answers = port->Collect(answered ? 400 : 100);
      EXPECT_EQ(answers.size(), answered ? 3u : 0u);
      for (const auto& answer : answers) EXPECT_EQ(answer.from, c.from);
    }
  }
}

TEST(SimSearch, RequestsArrivingDuringAnAnswerAreAnsweredAfterIt) {
  Simulator simulator({"--pause", "100"});
  UdpPort tool(8444);
  tool.Broadcast(search);
  tool.Broadcast(search);
  EXPECT_EQ(BytesOf(tool.Collect()), (std::vector<Bytes>{s001, s002, s003, s001, s002, s003}));
}

// Station 2 becomes 192.168.1.99/24, gateway 192.168.1.1, DNS 8.8.4.4.
const Bytes configure_s002{0x53, 0x45, 0x54, 0x51, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                           0xA8, 0x01, 0x63, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x02, 0x08, 0x08, 0x04, 0x04};
const Bytes s002_configured{0x53, 0x30, 0x30, 0x32, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                            0xA8, 0x01, 0x63, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x02, 0x08, 0x08, 0x04, 0x04};
const std::string s002_configured_state =
    R"({"id":"S002","mac":"02.4E.42.00.00.02","ip":"192.168.1.99","gateway":"192.168.1.1","netmask":"255.255.255.0","dns":"8.8.4.4","commands":[]})";

TEST(SimConfiguration, StationWithTheMacTakesTheSettingsAndReplies) {
  const Bytes reply{0x53, 0x45, 0x54, 0x52, 0xC0, 0xA8, 0x01, 0x01, 0xFF, 0xFF, 0xFF, 0x00, 0xC0,
                    0xA8, 0x01, 0x63, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x02, 0x08, 0x08, 0x04, 0x04};
  Bytes lower_reply = reply;
  lower_reply[0] = 0x73, lower_reply[1] = 0x65, lower_reply[2] = 0x74, lower_reply[3] = 0x72;
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    Bytes request;
    std::vector<Bytes> replies;
    int min_reply_ms = 0;
  };
  const Case cases[] = {
      {"normal", {}, configure_s002, {reply}},
      {"lower", {"--config-reply", "lower"}, configure_s002, {lower_reply}},
      {"short", {"--config-reply", "short"}, configure_s002, {{0x53, 0x45, 0x54}}},
      {"none", {"--config-reply", "none"}, configure_s002, {}},
      {"delayed, longer request", {"--config-delay", "200"}, Concat(configure_s002, {1, 2, 3}), {reply}, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Simulator simulator(c.arguments);
    UdpPort tool(8444);
    const auto sent = Clock::now();
    tool.Broadcast(c.request);
    const auto replies = tool.Collect();
    EXPECT_EQ(BytesOf(replies), c.replies);
    if (!replies.empty()) {
      EXPECT_GE(replies.front().at - sent, milliseconds(c.min_reply_ms));
    }
    const std::string configured_state = s001_state + "\n" + s002_configured_state + "\n" + s003_state + "\n";
    EXPECT_EQ(simulator.WaitForState(configured_state), configured_state);
    tool.Broadcast(search);
    EXPECT_EQ(BytesOf(tool.Collect()), (std::vector<Bytes>{s001, s002_configured, s003}));
  }
}

TEST(SimConfiguration, RequestsNoStationTakesAreOnlyLogged) {
  Bytes other_mac = configure_s002;
  other_mac[21] = 0x09;
  Bytes lower_tag = configure_s002;
  lower_tag[0] = 0x73;
  const Bytes truncated(configure_s002.begin(), configure_s002.end() - 1);
  Simulator simulator;
  UdpPort tool(8444);
  for (const auto& request : {other_mac, lower_tag, truncated}) tool.Broadcast(request);
  EXPECT_TRUE(tool.Collect().empty());
  const auto log = simulator.WaitForLog(3);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].bytes, other_mac);
  EXPECT_EQ(log[1].bytes, lower_tag);
  EXPECT_EQ(log[2].bytes, truncated);
  EXPECT_EQ(simulator.State(), default_state);
}

TEST(SimCommand, StationsRecordTheirCommandsInOrderWithoutReplying) {
  const Bytes reboot_s001{0x52, 0x45, 0x42, 0x54, 0x0A, 0x00, 0x00, 0x01, 0xFF, 0x00, 0x00,
                          0x00, 0x0A, 0x00, 0x00, 0x65, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x01};
  Bytes stop_s001 = reboot_s001;
  stop_s001[0] = 0x53, stop_s001[1] = 0x54, stop_s001[2] = 0x4F, stop_s001[3] = 0x50;
  // Only the MAC picks the station; the addresses in the message may be anything.
  const Bytes binary_s003{0x01, 0xFF, 0x00, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x02, 0x4E, 0x42, 0x00, 0x00, 0x03};
  Bytes unknown_mac = reboot_s001;
  unknown_mac[21] = 0x09;
  const Bytes too_long = Concat(reboot_s001, {0});
  const Bytes too_short(reboot_s001.begin(), reboot_s001.end() - 1);

  Simulator simulator;
  UdpPort tool(8444);
  for (const auto& message : {reboot_s001, unknown_mac, too_long, too_short, binary_s003, stop_s001})
    tool.Broadcast(message);
  EXPECT_TRUE(tool.Collect().empty());
  const std::string expected =
      R"({"id":"S001","mac":"02.4E.42.00.00.01","ip":"10.0.0.101","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":["52454254","53544f50"]})"
      "\n" +
      s002_state + "\n" +
      R"({"id":"S003","mac":"02.4E.42.00.00.03","ip":"10.0.0.103","gateway":"10.0.0.1","netmask":"255.0.0.0","dns":"10.0.0.1","commands":["01ff007f"]})"
      "\n";
  EXPECT_EQ(simulator.WaitForState(expected), expected);
}

TEST(SimLog, EveryDatagramIsOneJsonLineWithAllItsBytes) {
  Simulator simulator;
  UdpPort sender(9555);
  const Bytes large(2000, 0x5A);
  sender.Broadcast({0x00, 0xAB, 0x10});
  sender.Broadcast(large);
  sender.Broadcast({});
  ASSERT_EQ(simulator.WaitForLog(3).size(), 3u);

  std::ifstream file(simulator.log_path());
  std::stringstream text;
  text << file.rdbuf();
  const auto lines = Lines(text.str());
  ASSERT_EQ(lines.size(), 3u);
  // The hex part is compared whole: std::regex recurses per character.
  const std::regex head(R"(\{"time":(\d+\.\d{3}),"from":"192\.168\.1\.10:9555","length":(\d+))");
  const std::string hex_marker = ",\"hex\":\"";
  std::string large_hex;
  for (std::size_t i = 0; i < large.size(); ++i) large_hex += "5a";
  const std::pair<const char*, std::string> expected[] = {{"3", "00ab10"}, {"2000", large_hex}, {"0", ""}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i].substr(0, 120));
    const auto hex_at = lines[i].find(hex_marker);
    ASSERT_NE(hex_at, std::string::npos);
    std::smatch fields;
    const std::string before_hex = lines[i].substr(0, hex_at);
    ASSERT_TRUE(std::regex_match(before_hex, fields, head));
    EXPECT_NEAR(std::stod(fields[1]), static_cast<double>(std::time(nullptr)), 10.0);
    EXPECT_EQ(fields[2], expected[i].first);
    EXPECT_EQ(lines[i].substr(hex_at + hex_marker.size()), expected[i].second + "\"}");
  }
}

// The simulator service of the Windows runner starts and ends a thread per
// request; a thread that was ending while the next request checked the
// isolation once made the check fail and ended the whole run.
TEST(PrivateNetwork, ThreadsThatAreEndingDoNotBreakTheIsolationCheck) {
  std::atomic<bool> stop{false};
  std::thread churn([&stop] {
    while (!stop) std::thread([] {}).detach();
  });
  int failures = 0;
  for (int check = 0; check < 2000; ++check)
    if (!InPrivateNetwork()) ++failures;
  stop = true;
  churn.join();
  EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace nimbrel::test
