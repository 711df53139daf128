// The Windows side's line to wine-in-private-network, which does on request
// what a Windows program cannot: start nimbrel-sim in the far namespace, run
// `ip` in the private network (see wine_runner.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nimbrel::test {

class RunnerService {
 public:
  RunnerService();  // connects; throws std::runtime_error
  ~RunnerService();
  RunnerService(const RunnerService&) = delete;
  RunnerService& operator=(const RunnerService&) = delete;

  // Sends the words joined by tabs as one line and returns the answer line.
  std::string Ask(const std::vector<std::string>& words);

 private:
  std::intptr_t connection_;
};

}  // namespace nimbrel::test
