#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "private_network.h"

namespace nimbrel::test {

namespace {

using Clock = std::chrono::steady_clock;

// Appends what one read gives; false at the end of the output.
bool Drain(int fd, std::string& into) {
  char chunk[4096];
  const ssize_t got = ::read(fd, chunk, sizeof chunk);
  if (got <= 0) return false;
  into.append(chunk, static_cast<std::size_t>(got));
  return true;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> words) {
  RequirePrivateNetwork();
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    throw std::runtime_error("pipe failed");
  }
  pid_ = ::fork();
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
  if (pid_ < 0) {
    ::close(out_fd_);
    ::close(err_fd_);
    throw std::runtime_error("fork failed");
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

Outcome ChildProcess::Finish() {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  std::string* targets[2] = {&out_, &err_};
  int open = 2;
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      if (!Drain(fds[i].fd, *targets[i])) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  out_fd_ = err_fd_ = -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out_, err_};
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
  const auto give_up = Clock::now() + timeout;
  while (out_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
    pollfd readable{out_fd_, POLLIN, 0};
    if (left <= 0 || ::poll(&readable, 1, static_cast<int>(left)) <= 0 || !Drain(out_fd_, out_)) return false;
  }
  return true;
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);  // never kill(-1, ...) once it has been reaped
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
  const auto give_up = Clock::now() + timeout;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > give_up) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  while (Drain(out_fd_, out_)) {
  }
  while (Drain(err_fd_, err_)) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace nimbrel::test
