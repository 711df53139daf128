// The endpoint's own promises, on the private network: nobody shares the tool
// port with an exchange, and socket-layer failures read the same everywhere.
#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>

#include "core/exchange.h"
#include "core/udp_endpoint.h"

namespace nimbrel {
namespace {

// A socket of another program, bound to a UDP port with or without asking
// for address reuse.
class OtherProgramsSocket {
 public:
  OtherProgramsSocket(std::uint16_t port, bool reuse) {
#ifdef _WIN32
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    if (reuse) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
  }
  ~OtherProgramsSocket() {
#ifdef _WIN32
    ::closesocket(fd_);
    ::WSACleanup();
#else
    ::close(fd_);
#endif
  }
  bool bound() const { return bound_; }

 private:
#ifdef _WIN32
  SOCKET fd_;
#else
  int fd_;
#endif
  bool bound_ = false;
};

TEST(UdpEndpoint, SharesTheToolPortWithNobody) {
  for (const bool reuse : {false, true}) {
    SCOPED_TRACE(reuse ? "the other socket asks for address reuse" : "the other socket does not ask for reuse");
    {
      OtherProgramsSocket other(tool_port, reuse);
      ASSERT_TRUE(other.bound());
      UdpEndpoint endpoint;
      try {
        endpoint.BindAny(tool_port);
        ADD_FAILURE() << "the endpoint shares a port held elsewhere";
      } catch (const NetworkError& failure) {
        EXPECT_EQ(failure.what(), bind_failure_text);
      }
    }
    UdpEndpoint endpoint;
    endpoint.BindAny(tool_port);
    EXPECT_FALSE(OtherProgramsSocket(tool_port, reuse).bound()) << "another socket joined the exchange's port";
  }
}

// Callers that keep a deadline of their own rely on it: a quiet receive ends
// only once its whole wait has passed, never a fraction of a millisecond early.
TEST(UdpEndpoint, AQuietReceiveNeverEndsBeforeItsWait) {
  UdpEndpoint endpoint;
  endpoint.BindAny(tool_port);
  std::array<std::uint8_t, 16> buffer{};
  for (const int wait_ms : {1, 2, 7, 13, 37}) {
    for (int round = 0; round < 5; ++round) {
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(endpoint.Receive(buffer, std::chrono::milliseconds(wait_ms)), 0u);
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(wait_ms)) << wait_ms << " ms";
    }
  }
}

TEST(UdpEndpoint, ASocketLayerFailureGivesItsNumberAndTheSystemsDescription) {
  UdpEndpoint endpoint;
  endpoint.BindAny(tool_port);
  try {
    const std::uint8_t request[] = {0x53, 0x52, 0x43, 0x48};
    endpoint.SendTo(request, "not an address", device_port);
    FAIL() << "no failure";
  } catch (const NetworkError& failure) {
    EXPECT_EQ(failure.code(), 10022);
    const std::string head = "Socket Error # 10022" + std::string(line_break);
    const std::string text = failure.what();
    ASSERT_EQ(text.substr(0, head.size()), head);
    const std::string description = text.substr(head.size());
#ifdef _WIN32
    std::printf("Windows describes 10022 as: %s\n", description.c_str());
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(description.find_last_of("\r\n"), std::string::npos) << "the system's line end is cut off";
#else
    EXPECT_EQ(description, "Invalid argument.");
#endif
  }
}

}  // namespace
}  // namespace nimbrel
