// The built nimbrel against nimbrel-sim, both in this binary's private
// network: the PC side runs nimbrel, the stations live on the far side.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nimbrel_process.h"
#include "private_network.h"
#include "simulator.h"
#include "udp_port.h"

namespace nimbrel::test {
namespace {

using nlohmann::json;

const std::string s001_mac = "02.4E.42.00.00.01";
const std::string s002_mac = "02.4E.42.00.00.02";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// A minimal RFC 4180 reader: quoted fields with doubled quotes.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const auto& line : Lines(text)) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const char c = line[i];
      if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        fields.emplace_back();
      } else {
        fields.back() += c;
      }
    }
    rows.push_back(fields);
  }
  return rows;
}

json Station(const std::string& id, const std::string& ip, const std::string& mac) {
  return {{"id", id}, {"ip", ip}, {"gateway", "10.0.0.1"}, {"netmask", "255.0.0.0"}, {"dns", "10.0.0.1"}, {"mac", mac}};
}

const json default_stations = json::array({Station("S001", "10.0.0.101", "02.4E.42.00.00.01"),
                                           Station("S002", "10.0.0.102", "02.4E.42.00.00.02"),
                                           Station("S003", "10.0.0.103", "02.4E.42.00.00.03")});

TEST(CliDiscover, JsonListsEveryStationOnceInArrivalOrder) {
  Simulator simulator({"--twice"});  // each station answers twice
  const Outcome outcome = RunNimbrel({"discover", "--json"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(json::parse(outcome.out), default_stations);
  const auto log = simulator.WaitForLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].bytes, (std::vector<std::uint8_t>{0x53, 0x52, 0x43, 0x48}));
  EXPECT_EQ(log[0].from, "192.168.1.10:8444");
}

TEST(CliDiscover, CsvHasAHeaderRowAndQuotesWhereNeeded) {
  Simulator simulator({"--station", "A,\"B,10.0.0.5,10.0.0.1,255.0.0.0,10.0.0.1,00.1A.2B.3C.4D.5E", "--stations", "1"});
  const Outcome outcome = RunNimbrel({"discover", "--csv"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadCsv(outcome.out),
            (std::vector<std::vector<std::string>>{
                {"id", "ip", "gateway", "netmask", "dns", "mac"},
                {"A,\"B", "10.0.0.5", "10.0.0.1", "255.0.0.0", "10.0.0.1", "00.1A.2B.3C.4D.5E"},
                {"S002", "10.0.0.102", "10.0.0.1", "255.0.0.0", "10.0.0.1", "02.4E.42.00.00.02"}}));
}

TEST(CliDiscover, TableColumnsAreAlignedForATerminal) {
  Simulator simulator({"--station", "LONG,192.168.100.200,192.168.100.1,255.255.255.0,192.168.100.1,00.1A.2B.3C.4D.5E",
                       "--stations", "1"});
  const Outcome outcome = RunNimbrel({"discover"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out,
            "\u2116  ID    IP               Gateway        NetMask        DNS            MAC Addr\n"
            "1  LONG  192.168.100.200  192.168.100.1  255.255.255.0  192.168.100.1  00.1A.2B.3C.4D.5E\n"
            "2  S002  10.0.0.102       10.0.0.1       255.0.0.0      10.0.0.1       02.4E.42.00.00.02\n");
}

TEST(CliDiscover, IdentifierBytesNeverReachTheTerminalRaw) {
  // An identifier that would clear the screen, and one with a backslash.
  Simulator simulator({"--station", "\x1b[2J,10.0.0.5,10.0.0.1,255.0.0.0,10.0.0.1,00.1A.2B.3C.4D.5E", "--station",
                       "A\\\x7f" "B,10.0.0.6,10.0.0.1,255.0.0.0,10.0.0.1,00.1A.2B.3C.4D.5F"});
  const Outcome table = RunNimbrel({"discover"});
  EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
  EXPECT_NE(table.out.find("\\x1B[2J"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("A\\\\\\x7FB"), std::string::npos) << table.out;
  const Outcome csv = RunNimbrel({"discover", "--csv"});
  EXPECT_EQ(ReadCsv(csv.out).at(1).at(0), "\\x1B[2J");

  // JSON keeps the exact characters, escaped by JSON itself.
  const Outcome listed = RunNimbrel({"discover", "--json"});
  EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
  const json stations = json::parse(listed.out);
  EXPECT_EQ(stations.at(0).at("id"), "\x1b[2J");
  EXPECT_EQ(stations.at(1).at("id"), "A\\\x7f" "B");
}

TEST(CliDiscover, NoStationGivesAnEmptyList) {
  Simulator simulator({"--stations", "0"});
  const Outcome listed = RunNimbrel({"discover", "--json"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(json::parse(listed.out), json::array());
  EXPECT_EQ(RunNimbrel({"discover", "--csv"}).out, "id,ip,gateway,netmask,dns,mac\n");
}

TEST(CliDiscover, WaitLengthensTheAnswerWait) {
  Simulator simulator({"--pause", "400"});  // 400 ms between answers
  // The long wait first: it sees the simulator's whole answer out.
  EXPECT_EQ(json::parse(RunNimbrel({"discover", "--json", "--wait", "800"}).out), default_stations);
  EXPECT_EQ(json::parse(RunNimbrel({"discover", "--json"}).out).size(), 1u);
}

TEST(CliDiscover, DeadlineEndsAFloodWithTheStationsSoFar) {
  Simulator simulator({"--flood", "1000000"});
  const Outcome outcome = RunNimbrel({"discover", "--json", "--deadline", "0.5"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(json::parse(outcome.out), default_stations);
  EXPECT_NE(outcome.err.find("warning: the search reached its deadline of 0.5 s; the 3 station(s) received so far are listed."), std::string::npos)
      << outcome.err;
}

TEST(CliDiscover, AllInterfacesFindsTheStationsBehindEachAdapter) {
  if (std::getenv("NIMBREL_CLI_UNDER_WINE"))
    GTEST_SKIP() << "Wine 8 sends a datagram out of the routed interface whatever IN_PKTINFO names, so "
                    "--all-interfaces of nimbrel.exe needs Windows itself to be shown";
  AddSecondLan();
  Simulator first;
  Simulator second({"--station", "FAR2,172.16.0.50,172.16.0.1,255.255.0.0,172.16.0.1,00.1A.2B.3C.4D.5E", "--stations",
                    "0"},
                   SecondFarNamespacePath());
  // As the program sends it: the system routes the broadcast out of one interface.
  const json routed = json::parse(RunNimbrel({"discover", "--json"}).out);
  EXPECT_EQ(routed, default_stations);

  const Outcome outcome = RunNimbrel({"discover", "--json", "--all-interfaces"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  const json both = json::parse(outcome.out);
  ASSERT_EQ(both.size(), 4u) << outcome.out;
  json expected = default_stations;
  expected.push_back({{"id", "FAR2"}, {"ip", "172.16.0.50"}, {"gateway", "172.16.0.1"}, {"netmask", "255.255.0.0"},
                      {"dns", "172.16.0.1"}, {"mac", "00.1A.2B.3C.4D.5E"}});
  for (const auto& station : expected) EXPECT_NE(std::find(both.begin(), both.end(), station), both.end()) << station;

  // One search per LAN, each from the PC's address on that LAN.
  const auto first_log = first.WaitForLog(2);
  const auto second_log = second.WaitForLog(1);
  ASSERT_EQ(first_log.size(), 2u);
  EXPECT_EQ(first_log[1].from, "192.168.1.10:8444");
  ASSERT_EQ(second_log.size(), 1u);
  EXPECT_EQ(second_log[0].from, "192.168.2.10:8444");
  EXPECT_EQ(second_log[0].bytes, (std::vector<std::uint8_t>{0x53, 0x52, 0x43, 0x48}));
}

TEST(CliConfig, ReaddressesAStationAndVerifies) {
  Simulator simulator;
  const Outcome outcome = RunNimbrel({"config", "02:4e:42:00:00:01", "--ip", "10.0.0.201", "--verify"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "Successful.\nVerified: IP 10.0.0.201, mask 255.0.0.0, gateway 10.0.0.1, DNS 10.0.0.1.\n");
  const auto log = simulator.WaitForLog(3);
  ASSERT_EQ(log.size(), 3u);  // search, configuration request, search
  // SETQ, gateway and mask kept, the new address, the MAC, DNS kept.
  EXPECT_EQ(log[1].bytes, FromHex("53455451" "0a000001" "ff000000" "0a0000c9" "024e42000001" "0a000001"));
  EXPECT_NE(simulator.State().find(R"("mac":"02.4E.42.00.00.01","ip":"10.0.0.201")"), std::string::npos);
}

TEST(CliConfig, EveryFieldGivenGoesOutAsGiven) {
  Simulator simulator;
  const Outcome outcome = RunNimbrel({"config", s002_mac, "--ip", "192.168.1.20", "--mask", "255.255.255.0",
                                      "--gateway", "192.168.1.1", "--dns", "8.8.4.4"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "Successful.\n");
  const auto log = simulator.WaitForLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].bytes, FromHex("53455451" "c0a80101" "ffffff00" "c0a80114" "024e42000002" "08080404"));
}

TEST(CliConfig, NoAcknowledgementOrNoStationExitsOne) {
  const struct {
    std::vector<std::string> simulator;
    std::string mac;
    std::string says;
    std::size_t datagrams;
  } cases[] = {
      {{"--config-reply", "none"}, s001_mac, "did not answer within 250 ms", 2},
      {{"--config-reply", "lower"}, s001_mac, "does not begin with \"SETR\": setr", 2},
      {{"--config-reply", "short"}, s001_mac, "does not begin with \"SETR\": SET", 2},
      {{}, "00.1A.2B.3C.4D.5E", "no station with MAC 00.1A.2B.3C.4D.5E answered", 1},
  };
  for (const auto& [options, mac, says, datagrams] : cases) {
    SCOPED_TRACE(says);
    Simulator simulator(options);
    const Outcome outcome = RunNimbrel({"config", mac, "--dns", "10.0.0.2"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(says), std::string::npos) << outcome.err;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(simulator.Log().size(), datagrams);
  }
}

TEST(CliConfig, AStationsUnusableCurrentAddressIsNotSentBack) {
  Simulator simulator({"--station", "ZERO,0.0.0.0,10.0.0.1,255.0.0.0,10.0.0.1,00.1A.2B.3C.4D.5E"});
  const Outcome outcome = RunNimbrel({"config", "00.1A.2B.3C.4D.5E", "--dns", "10.0.0.2"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("current IP Address \"0.0.0.0\" cannot be a station's address"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("--ip"), std::string::npos);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(simulator.Log().size(), 1u);  // the search only
}

TEST(CliConfig, VerifyFailsWhenTheStationAcknowledgesButKeepsItsSettings) {
  // A station of the test's own on the PC side, which says "SETR" and changes nothing.
  const Bytes announcement = FromHex("53545542" "0a000001" "ff000000" "0a000005" "001a2b3c4d5e" "0a000001");
  UdpPort station(1444);
  auto running = StartNimbrel({"config", "00.1A.2B.3C.4D.5E", "--ip", "10.0.0.6", "--verify"});
  std::vector<Bytes> requests;
  const auto give_up = Clock::now() + std::chrono::seconds(10);
  while (requests.size() < 3 && Clock::now() < give_up) {
    for (const auto& request : station.Collect(10)) {
      requests.push_back(request.bytes);
      const bool search = request.bytes == Bytes{0x53, 0x52, 0x43, 0x48};
      station.SendTo(search ? announcement : Bytes{0x53, 0x45, 0x54, 0x52}, "127.0.0.1", 8444);
    }
  }
  const Outcome outcome = running.Finish();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "Successful.\n");
  EXPECT_NE(outcome.err.find("the station acknowledged but announces IP 10.0.0.5, mask 255.0.0.0, gateway 10.0.0.1, "
                             "DNS 10.0.0.1 instead of IP 10.0.0.6, mask 255.0.0.0, gateway 10.0.0.1, DNS 10.0.0.1."),
            std::string::npos)
      << outcome.err;
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1], FromHex("53455451" "0a000001" "ff000000" "0a000006" "001a2b3c4d5e" "0a000001"));
}

TEST(CliInput, EveryInvalidInputExitsTwoAndSendsNothing) {
  Simulator simulator;
  const std::vector<std::vector<std::string>> cases = {
      {"config", "02.4E.42.00.00"},
      {"config", "02:4E-42:00:00:01", "--ip", "10.0.0.5"},
      {"config", "024E42000001", "--ip", "10.0.0.5"},
      {"config", "02.4E.42.00.00.0G", "--ip", "10.0.0.5"},
      {"config", s001_mac, "--ip", "10.0.0"},
      {"config", s001_mac, "--ip", "10.0.0.256"},
      {"config", s001_mac, "--ip", " 10.0.0.5"},
      {"config", s001_mac, "--ip", "0.0.0.0"},
      {"config", s001_mac, "--ip", "255.255.255.255"},
      {"config", s001_mac, "--mask", "255.0.255.0"},
      {"config", s001_mac, "--gateway", "10.0.0.1.1"},
      {"config", s001_mac, "--dns", "dns.example"},
      {"send", s001_mac, "ABC"},
      {"send", s001_mac, "ABCDE"},
      {"send", "02.4E.42.00.00", "ABCD"},
      {"discover", "--wait", "100"},
      {"discover", "--json", "--csv"},
      {"frobnicate"},
  };
  for (const auto& words : cases) {
    std::string joined;
    for (const auto& word : words) joined += word + " ";
    SCOPED_TRACE(joined);
    const Outcome outcome = RunNimbrel(words);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(outcome.err.starts_with("nimbrel: ")) << outcome.err;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(simulator.Log().empty());
}

TEST(CliSend, SendsTheCommandMessageAndShowsTheAnswer) {
  Simulator simulator;
  auto running = StartNimbrel({"send", "02-4e-42-00-00-02", "RB T", "--show-answer", "--wait", "3000"});
  // The station records the command and does not answer; answer in its place.
  const auto log = simulator.WaitForLog(2, 10000);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].bytes, FromHex("52422054" "0a000001" "ff000000" "0a000066" "024e42000002"));
  UdpPort answerer(9000);
  answerer.SendTo({0x53, 0x45, 0x54, 0x52, 0xE9, 0x1B, 0x00}, "127.0.0.1", 8444);
  const Outcome outcome = running.Finish();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "Successful.\nhex: 53 45 54 52 E9 1B 00\ntext: SETR\\xE9\\x1B\\x00\n");
  const std::string recorded = R"("commands":["52422054"])";
  EXPECT_NE(simulator.WaitForState(recorded).find(recorded), std::string::npos);
}

TEST(CliSend, NoAnswerIsNoFailureButAMissingStationIs) {
  Simulator simulator;
  const Outcome sent = RunNimbrel({"send", s001_mac, "PING", "--show-answer"});
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "Successful.\n");
  EXPECT_NE(sent.err.find("no answer within 250 ms"), std::string::npos);
  const Outcome missing = RunNimbrel({"send", "00.1A.2B.3C.4D.5E", "PING"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no station with MAC 00.1A.2B.3C.4D.5E"), std::string::npos);
}

TEST(CliNetwork, APortHeldElsewhereExitsThreeWithTheCoreText) {
  Simulator simulator;
  UdpPort holder(8444);
  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"discover"}, {"config", s001_mac, "--ip", "10.0.0.9"}, {"send", s001_mac, "ABCD"}}) {
    SCOPED_TRACE(words.front());
    const Outcome outcome = RunNimbrel(words);
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "nimbrel: Could not bind socket. Address and port are already in use.\n");
  }
  EXPECT_TRUE(simulator.Log().empty());
}

TEST(CliNetwork, AnOversizedAnswerIsANetworkFailure) {
  Simulator simulator({"--oversize-after", "1"});
  const Outcome outcome = RunNimbrel({"discover"});
  EXPECT_EQ(outcome.status, 3);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "nimbrel: Socket Error # 10040\nMessage too long.\n");
}

TEST(CliAdapters, ListsThePcsAdaptersAsTheDialogReadsThem) {
  const Outcome listed = RunNimbrel({"adapters", "--json"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  const json adapters = json::parse(listed.out);
  const json pc = {{"description", "nb-pc"}, {"ip", "192.168.1.10"}, {"netmask", "255.255.255.0"}, {"gateway", "0.0.0.0"}};
  EXPECT_NE(std::find(adapters.begin(), adapters.end(), pc), adapters.end()) << listed.out;

  const Outcome table = RunNimbrel({"adapters"});
  EXPECT_EQ(table.status, 0);
  const auto lines = Lines(table.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(lines[0].starts_with("Description  IP")) << table.out;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "nb-pc        192.168.1.10  255.255.255.0  0.0.0.0"), lines.end())
      << table.out;
}

TEST(CliConventions, HelpAndVersionOnStandardOutput) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--help"}, {"discover", "--help"}, {"config", "--help"}, {"send", "--help"}, {"adapters", "--help"}}) {
    const Outcome outcome = RunNimbrel(words);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_NE(outcome.out.find("2  usage error or invalid input"), std::string::npos) << words.front();
  }
  EXPECT_TRUE(RunNimbrel({"--version"}).out.starts_with("nimbrel 1."));
}

}  // namespace
}  // namespace nimbrel::test
