// A program a test runs in its own private network, with its standard output
// and standard error captured. It is killed if it is still running when the
// object goes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace nimbrel::test {

struct Outcome {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // words[0] is the program's path.
  explicit ChildProcess(std::vector<std::string> words);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads both outputs to their end and waits for the exit.
  Outcome Finish();

  // True once the standard output holds `text`; false at the timeout or when
  // the output ended without it.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);

  void Signal(int signal);

  // The exit status, with all output read; -1 when it was still running at
  // the timeout or was ended by a signal.
  int Wait(std::chrono::milliseconds timeout);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
};

}  // namespace nimbrel::test
