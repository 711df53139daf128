// Runs the built nimbrel in this test's private network and collects what
// it wrote and how it ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace nimbrel::test {

struct Outcome {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

class NimbrelProcess {
 public:
  explicit NimbrelProcess(const std::vector<std::string>& arguments);
  ~NimbrelProcess();
  NimbrelProcess(const NimbrelProcess&) = delete;
  NimbrelProcess& operator=(const NimbrelProcess&) = delete;

  // Reads both outputs to their end and waits for the exit.
  Outcome Finish();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
};

Outcome RunNimbrel(const std::vector<std::string>& arguments);

}  // namespace nimbrel::test
