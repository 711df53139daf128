// Starts nimbrel-sim as a child process in the far namespace.
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
#include <stdexcept>

#include "private_network.h"
#include "simulator.h"

namespace nimbrel::test {

namespace {

constexpr std::string_view ready_line = "nimbrel-sim: ready\n";

}  // namespace

std::string SimulatorPath() {
  if (const char* path = std::getenv("NIMBREL_SIM")) return path;
  return NIMBREL_SIM_PATH;
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

}  // namespace nimbrel::test
