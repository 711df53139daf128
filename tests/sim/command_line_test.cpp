// nimbrel-sim as a program: its command line, its exit status and how it
// stops. Runs it directly in this test's (private) network namespace.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator.h"
#include "udp_port.h"

namespace nimbrel::test {
namespace {

using std::chrono::milliseconds;

// One run of nimbrel-sim with its output captured.
class Program {
 public:
  explicit Program(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), SimulatorPath());
    std::vector<char*> argv;
    for (auto& word : arguments) argv.push_back(word.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_fd_ = out[0];
    err_fd_ = err[0];
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_fd_);
    ::close(err_fd_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool WaitForOutput(const std::string& text, int timeout_ms = 5000) {
    const auto give_up = Clock::now() + milliseconds(timeout_ms);
    while (out_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<milliseconds>(give_up - Clock::now()).count();
      pollfd readable{out_fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) <= 0 || !Drain(out_fd_, out_)) return false;
    }
    return true;
  }

  void Signal(int signal) { ::kill(pid_, signal); }

  // The exit status; -1 when it was still running after timeout_ms (it is
  // then killed) or ended by a signal.
  int Wait(int timeout_ms = 5000) {
    const auto give_up = Clock::now() + milliseconds(timeout_ms);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > give_up) return -1;
      std::this_thread::sleep_for(milliseconds(5));
    }
    pid_ = -1;
    while (Drain(out_fd_, out_)) {
    }
    while (Drain(err_fd_, err_)) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  static bool Drain(int fd, std::string& into) {
    char chunk[4096];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) return false;
    into.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
};

TEST(SimCommandLine, HelpDocumentsEveryOption) {
  Program program({"--help"});
  ASSERT_EQ(program.Wait(), 0);
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
    Program program(arguments);
    EXPECT_EQ(program.Wait(), 2);
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
    Program program(arguments);
    ASSERT_TRUE(program.WaitForOutput("nimbrel-sim: ready\n"));
    if (c.in_long_pause) {
      UdpPort tool(8444);
      tool.SendTo({0x53, 0x52, 0x43, 0x48}, "127.0.0.1", 1444);
      ASSERT_EQ(tool.Collect(1000).size(), 1u);  // the first answer, then the pause
    }
    if (c.signal) program.Signal(c.signal);
    EXPECT_EQ(program.Wait(), 0);
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
  Program program({});
  EXPECT_EQ(program.Wait(), 1);
  EXPECT_NE(program.err().find("cannot bind UDP port 1444"), std::string::npos) << program.err();
  ::close(holder);
}

}  // namespace
}  // namespace nimbrel::test
