// What the simulator needs from the operating system, one file per platform:
// a UDP socket that shares its port, stopping on request (SIGTERM or SIGINT;
// Ctrl+C or Ctrl+Break on Windows), waits that notice a stop, and replacing
// a file in one step.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nimbrel::sim {

using Clock = std::chrono::steady_clock;

// Call once, before the first wait.
void InstallStopHandlers();
bool StopRequested();
// Sleeps until `end`, a stop or a short while, whichever comes first; callers
// check the time and StopRequested() again.
void SleepAWhile(Clock::time_point end);

// Output lines end in a line feed alone on every platform.
void UseLineFeeds();

// Renames `from` to `to`, replacing `to` if it exists; false on failure.
bool ReplaceFile(const std::string& from, const std::string& to);

class DatagramSocket {
 public:
  // Bound to the any-address and `port`, shared with other sockets that ask
  // for address reuse, broadcasts allowed. Throws std::runtime_error.
  explicit DatagramSocket(std::uint16_t port);
  ~DatagramSocket();
  DatagramSocket(const DatagramSocket&) = delete;
  DatagramSocket& operator=(const DatagramSocket&) = delete;

  // True when a datagram is ready; false when `until` passed, a stop came or
  // a short while passed.
  bool WaitReadable(std::optional<Clock::time_point> until);
  // One datagram that is already waiting, or nothing.
  std::optional<std::size_t> ReceiveWaiting(std::span<std::uint8_t> buffer, sockaddr_in& from);
  // Empty on success, otherwise why the datagram was not sent.
  std::string SendTo(std::span<const std::uint8_t> datagram, const sockaddr_in& to);

 private:
  std::intptr_t handle_;
};

}  // namespace nimbrel::sim
