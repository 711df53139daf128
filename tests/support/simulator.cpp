#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "private_network.h"

namespace nimbrel::test {

namespace {

constexpr std::string_view ready_line = "nimbrel-sim: ready\n";

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text of "key":"value" or the number of "key":number in one JSON line.
std::string Field(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  auto at = line.find(marker);
  if (at == std::string::npos) return {};
  at += marker.size();
  if (at < line.size() && line[at] == '"') {
    const auto end = line.find('"', at + 1);
    return line.substr(at + 1, end - at - 1);
  }
  const auto end = line.find_first_of(",}", at);
  return line.substr(at, end - at);
}

}  // namespace

std::string SimulatorPath() {
  if (const char* path = std::getenv("NIMBREL_SIM")) return path;
  return NIMBREL_SIM_PATH;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

Simulator::Simulator(const std::vector<std::string>& arguments) : Simulator(arguments, FarNamespacePath()) {}

Simulator::Simulator(const std::vector<std::string>& arguments, const std::string& namespace_path) {
  RequirePrivateNetwork();
  char directory[] = "/tmp/nimbrel-sim-XXXXXX";
  if (!::mkdtemp(directory)) throw std::runtime_error("cannot make a directory for the simulator");
  directory_ = directory;
  log_path_ = directory_ + "/received.jsonl";
  state_path_ = directory_ + "/stations.jsonl";

  std::vector<std::string> words{SimulatorPath(), "--log", log_path_, "--state", state_path_};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string& far_path = namespace_path;

  int output[2];
  if (::pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  // Only system calls between fork and exec: the parent may have threads.
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // A test that aborts must not leave its stations running.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int far = ::open(far_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (far < 0 || ::setns(far, CLONE_NEWNET) != 0) ::_exit(126);
    ::dup2(output[1], STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(output[1]);
  stdout_fd_ = output[0];

  std::string seen;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.find(ready_line) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - std::chrono::steady_clock::now());
    pollfd ready{stdout_fd_, POLLIN, 0};
    char chunk[256];
    ssize_t got = 0;
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
        (got = ::read(stdout_fd_, chunk, sizeof chunk)) <= 0) {
      Stop();
      throw std::runtime_error("nimbrel-sim did not become ready (" + SimulatorPath() + "); it printed: " + seen);
    }
    seen.append(chunk, static_cast<std::size_t>(got));
  }
}

Simulator::~Simulator() {
  Stop();
  if (!directory_.empty() && !std::getenv("NIMBREL_KEEP_SIM_FILES")) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

void Simulator::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  if (stdout_fd_ >= 0) ::close(stdout_fd_);
  stdout_fd_ = -1;
}

std::vector<LoggedDatagram> Simulator::Log() const {
  std::vector<LoggedDatagram> datagrams;
  std::istringstream lines(ReadFile(log_path_));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    LoggedDatagram datagram;
    datagram.time = std::atof(Field(line, "time").c_str());
    datagram.from = Field(line, "from");
    datagram.bytes = FromHex(Field(line, "hex"));
    datagrams.push_back(std::move(datagram));
  }
  return datagrams;
}

std::vector<LoggedDatagram> Simulator::WaitForLog(std::size_t count, int timeout_ms) const {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  auto datagrams = Log();
  while (datagrams.size() < count && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    datagrams = Log();
  }
  return datagrams;
}

std::string Simulator::State() const { return ReadFile(state_path_); }

}  // namespace nimbrel::test
