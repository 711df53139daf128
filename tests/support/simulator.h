// Runs nimbrel-sim in the far namespace of the private network.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nimbrel::test {

struct LoggedDatagram {
  double time = 0;
  std::string from;  // "a.b.c.d:port"
  std::vector<std::uint8_t> bytes;
};

class Simulator {
 public:
  // Starts nimbrel-sim with `--log` and `--state` files of its own plus
  // `arguments`, and returns once it is listening.
  explicit Simulator(const std::vector<std::string>& arguments = {});
  // The same in another far namespace, such as SecondFarNamespacePath().
  Simulator(const std::vector<std::string>& arguments, const std::string& namespace_path);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Everything the stations received so far.
  std::vector<LoggedDatagram> Log() const;
  // Waits up to timeout_ms until the log holds at least `count` datagrams.
  std::vector<LoggedDatagram> WaitForLog(std::size_t count, int timeout_ms = 2000) const;
  // The state file: one JSON line per station.
  std::string State() const;
  // Waits up to timeout_ms until the state holds `text` and returns it. A
  // station rewrites the state just after logging the datagram that changed
  // it, so a test that only waited for the log must wait for this too.
  std::string WaitForState(const std::string& text, int timeout_ms = 2000) const;
  // Stops the simulator (SIGTERM) and waits for it; idempotent.
  void Stop();

  const std::string& log_path() const { return log_path_; }
  const std::string& state_path() const { return state_path_; }

 private:
  pid_t pid_ = -1;
  int stdout_fd_ = -1;
  std::shared_ptr<class RunnerService> service_;  // Windows: the line to wine-in-private-network
  std::string directory_;
  std::string log_path_;
  std::string state_path_;
};

// Path of the built nimbrel-sim.
std::string SimulatorPath();

std::vector<std::uint8_t> FromHex(const std::string& hex);

}  // namespace nimbrel::test
