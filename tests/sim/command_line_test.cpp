// nimbrel-sim as a program: its command line, its exit status and how it
// stops. Runs it directly in this test's (private) network namespace.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "simulator.h"
#include "udp_port.h"

namespace nimbrel::test {
namespace {

constexpr std::chrono::seconds patience{5};

// One run of nimbrel-sim with its output captured.
ChildProcess Sim(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), SimulatorPath());
  return ChildProcess(std::move(arguments));
}

TEST(SimCommandLine, HelpDocumentsEveryOption) {
  auto program = Sim({"--help"});
  ASSERT_EQ(program.Wait(patience), 0);
  for (const char* option :
       {"--stations", "--station ID,IP,GATEWAY,MASK,DNS,MAC", "--log", "--state", "--duration", "--port",
        "--tool-port", "--reply-to broadcast|sender", "--delay", "--pause", "--extra-bytes", "--twice",
        "--oversize-after", "--empty-after", "--short-after", "--short-length", "--flood",
        "--config-reply normal|none|lower|short", "--config-delay", "--help", "SRCH", "SETQ", "SETR"})
    EXPECT_NE(program.out().find(option), std::string::npos) << option;
}

TEST(SimCommandLine, BadCommandLinesExitWithStatus2) {
  const std::string mac = "00:11:22:33:44:55";
  const std::vector<std::vector<std::string>> cases = {
      {"--bogus"},
      {"stray"},
      {"--stations"},
      {"--stations", "x"},
      {"--stations", "-1"},
      {"--stations", "70000"},
      {"--station", "ABC,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1," + mac},
      {"--station", "ABCDE,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1," + mac},
      {"--station", "AB\xC3\xA9,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1," + mac},
      {"--station", "ABC1,1.2.3.256,1.2.3.1,255.0.0.0,1.2.3.1," + mac},
      {"--station", "ABC1,1.2.3,1.2.3.1,255.0.0.0,1.2.3.1," + mac},
      {"--station", "ABC1,1.2.3.4,1.2.3.1,255.0.0.0," + mac},
      {"--station", "ABC1,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1,00:11:22:33:44"},
      {"--station", "ABC1,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1,00:11:22:33:44:5G"},
      {"--station", "ABC1,1.2.3.4,1.2.3.1,255.0.0.0,1.2.3.1,00_11_22_33_44_55"},
      {"--duration", "0"},
      {"--duration", "soon"},
      {"--port", "0"},
      {"--tool-port", "65536"},
      {"--reply-to", "everybody"},
      {"--delay", "1.5"},
      {"--extra-bytes", "65482"},
      {"--short-length", "27"},
      {"--oversize-after", "-1"},
      {"--config-reply", "SETR"},
      {"--twice=yes"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& word : arguments) shown += word + " ";
    SCOPED_TRACE(shown);
    auto program = Sim(arguments);
    EXPECT_EQ(program.Wait(patience), 2);
    EXPECT_NE(program.err().find("nimbrel-sim: "), std::string::npos);
    EXPECT_EQ(program.out(), "");
  }
}

TEST(SimCommandLine, StopsCleanlyOnSignalOrAtTheEndOfItsDuration) {
  const auto directory = std::filesystem::temp_directory_path() / ("sim-stop-" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  const std::string log = directory / "received.jsonl";
  const std::string state = directory / "stations.jsonl";
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int signal;  // 0: let --duration end it
    bool in_long_pause;
  };
  const Case cases[] = {
      {"SIGTERM", {}, SIGTERM, false},
      {"SIGINT", {}, SIGINT, false},
      {"SIGTERM during a long pause", {"--pause", "60000", "--reply-to", "sender"}, SIGTERM, true},
      {"duration", {"--duration", "0.2"}, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments{"--log", log, "--state", state};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    auto program = Sim(arguments);
    ASSERT_TRUE(program.WaitForOutput("nimbrel-sim: ready\n", patience));
    if (c.in_long_pause) {
      UdpPort tool(8444);
      tool.SendTo({0x53, 0x52, 0x43, 0x48}, "127.0.0.1", 1444);
      ASSERT_EQ(tool.Collect(1000).size(), 1u);  // the first answer, then the pause
    }
    if (c.signal) program.Signal(c.signal);
    EXPECT_EQ(program.Wait(patience), 0);
    EXPECT_EQ(program.out(), "nimbrel-sim: ready\n");
    std::ifstream state_file(state);
    std::stringstream contents;
    contents << state_file.rdbuf();
    const std::string lines = contents.str();
    EXPECT_TRUE(lines.starts_with(R"({"id":"S001",)")) << lines;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 3);
    EXPECT_FALSE(std::filesystem::exists(state + ".tmp"));
    if (c.in_long_pause) {
      std::ifstream log_file(log);
      std::string first;
      std::getline(log_file, first);
      EXPECT_NE(first.find(R"("from":"127.0.0.1:8444","length":4,"hex":"53524348"})"), std::string::npos) << first;
    }
  }
  std::filesystem::remove_all(directory);
}

TEST(SimCommandLine, PortHeldWithoutAddressReuseFailsWithStatus1) {
  // A holder that did not ask for address reuse, as the tool's own endpoint does.
  const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(1444);
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&any), sizeof any), 0);
  auto program = Sim({});
  EXPECT_EQ(program.Wait(patience), 1);
  EXPECT_NE(program.err().find("cannot bind UDP port 1444"), std::string::npos) << program.err();
  ::close(holder);
}

}  // namespace
}  // namespace nimbrel::test
