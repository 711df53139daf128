// A UDP socket of the test's own, in the PC side of the private network.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "private_network.h"

namespace nimbrel::test {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

struct Received {
  Bytes bytes;
  std::string from;  // "a.b.c.d:port"
  Clock::time_point at;
};

class UdpPort {
 public:
  // Bound to 0.0.0.0:port, broadcasts allowed.
  explicit UdpPort(std::uint16_t port) {
    RequirePrivateNetwork();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    sockaddr_in any = Address("0.0.0.0", port);
    if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0)
      throw std::runtime_error("cannot bind the test's UDP port " + std::to_string(port));
  }
  ~UdpPort() { ::close(fd_); }
  UdpPort(const UdpPort&) = delete;
  UdpPort& operator=(const UdpPort&) = delete;

  void SendTo(const Bytes& datagram, const char* address, std::uint16_t port) {
    const sockaddr_in to = Address(address, port);
    if (::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
        static_cast<ssize_t>(datagram.size()))
      throw std::runtime_error(std::string("cannot send to ") + address);
  }
  // The way the tool reaches every station.
  void Broadcast(const Bytes& datagram, std::uint16_t port = 1444) { SendTo(datagram, "255.255.255.255", port); }

  // Everything that arrives until nothing has come for quiet_ms.
  std::vector<Received> Collect(int quiet_ms = 400) {
    std::vector<Received> received;
    std::vector<std::uint8_t> buffer(65536);
    pollfd readable{fd_, POLLIN, 0};
    while (::poll(&readable, 1, quiet_ms) > 0) {
      sockaddr_in from{};
      socklen_t from_length = sizeof from;
      const ssize_t length =
          ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_length);
      if (length < 0) throw std::runtime_error("receiving failed");
      char text[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
      received.push_back({Bytes(buffer.begin(), buffer.begin() + length),
                          std::string(text) + ":" + std::to_string(ntohs(from.sin_port)), Clock::now()});
    }
    return received;
  }

 private:
  static sockaddr_in Address(const char* address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
  }

  int fd_ = -1;
};

inline Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

inline std::vector<Bytes> BytesOf(const std::vector<Received>& received) {
  std::vector<Bytes> bytes;
  for (const auto& datagram : received) bytes.push_back(datagram.bytes);
  return bytes;
}

}  // namespace nimbrel::test
