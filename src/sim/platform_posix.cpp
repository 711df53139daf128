#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "platform.h"

namespace nimbrel::sim {

namespace {

volatile std::sig_atomic_t stop_requested = 0;
// The signal mask while waiting: the stop signals are blocked at all other
// times, so one that comes between a check and a wait is not lost.
sigset_t waiting_mask{};

extern "C" void RequestStop(int) { stop_requested = 1; }

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

timespec ToTimespec(Clock::duration span) {
  const auto nanoseconds = std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::nanoseconds>(span).count());
  return {static_cast<time_t>(nanoseconds / 1'000'000'000), static_cast<long>(nanoseconds % 1'000'000'000)};
}

}  // namespace

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = RequestStop;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  sigset_t stop_signals;
  ::sigemptyset(&stop_signals);
  ::sigaddset(&stop_signals, SIGTERM);
  ::sigaddset(&stop_signals, SIGINT);
  ::sigprocmask(SIG_BLOCK, &stop_signals, &waiting_mask);
  ::sigdelset(&waiting_mask, SIGTERM);
  ::sigdelset(&waiting_mask, SIGINT);
}

void UseLineFeeds() {}

bool ReplaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool StopRequested() { return stop_requested != 0; }

void SleepAWhile(Clock::time_point end) {
  // Even a zero wait passes through ppoll, which delivers a pending stop.
  const timespec left = ToTimespec(end - Clock::now());
  ::ppoll(nullptr, 0, &left, &waiting_mask);
}

DatagramSocket::DatagramSocket(std::uint16_t port) : handle_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  if (handle_ < 0) throw SystemError("cannot create a UDP socket");
  const int fd = static_cast<int>(handle_);
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    ::close(fd);
    throw SystemError("cannot set up the UDP socket");
  }
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = htons(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    const auto failure = SystemError("cannot bind UDP port " + std::to_string(port));
    ::close(fd);
    throw failure;
  }
}

DatagramSocket::~DatagramSocket() { ::close(static_cast<int>(handle_)); }

bool DatagramSocket::WaitReadable(std::optional<Clock::time_point> until) {
  pollfd readable{static_cast<int>(handle_), POLLIN, 0};
  timespec left{};
  if (until) left = ToTimespec(*until - Clock::now());
  const int ready = ::ppoll(&readable, 1, until ? &left : nullptr, &waiting_mask);
  if (ready < 0 && errno != EINTR) throw SystemError("waiting for datagrams failed");
  return ready > 0;
}

std::optional<std::size_t> DatagramSocket::ReceiveWaiting(std::span<std::uint8_t> buffer, sockaddr_in& from) {
  socklen_t from_length = sizeof from;
  const ssize_t length = ::recvfrom(static_cast<int>(handle_), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                    reinterpret_cast<sockaddr*>(&from), &from_length);
  if (length >= 0) return static_cast<std::size_t>(length);
  if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
    std::fprintf(stderr, "nimbrel-sim: receiving failed: %s\n", std::strerror(errno));
  return std::nullopt;
}

std::string DatagramSocket::SendTo(std::span<const std::uint8_t> datagram, const sockaddr_in& to) {
  if (::sendto(static_cast<int>(handle_), datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) >= 0)
    return {};
  return std::strerror(errno);
}

}  // namespace nimbrel::sim
