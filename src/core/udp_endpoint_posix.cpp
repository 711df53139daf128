// The UDP endpoint over POSIX sockets. errno values are reported in Winsock
// numbering (WSABASEERR + the BSD number) so that a failure reads the same on
// every platform.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/udp_endpoint.h"

namespace nimbrel {

namespace {

struct ErrorNumber {
  int posix;
  int winsock;
};

constexpr ErrorNumber known_errors[] = {
    {EINTR, 10004},         {EBADF, 10009},          {EACCES, 10013},        {EFAULT, 10014},
    {EINVAL, 10022},        {EMFILE, 10024},         {EAGAIN, 10035},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},  {EMSGSIZE, 10040},       {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {EOPNOTSUPP, 10045},   {EAFNOSUPPORT, 10047},  {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},       {ENETUNREACH, 10051},   {ENETRESET, 10052},
    {ECONNRESET, 10054},    {ENOBUFS, 10055},        {ECONNREFUSED, 10061},  {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
};

int WinsockNumber(int posix_error) {
  for (const auto& known : known_errors)
    if (known.posix == posix_error) return known.winsock;
  return posix_error;
}

NetworkError LastSocketError() {
  const int posix_error = errno;
  const int code = WinsockNumber(posix_error);
  if (code == posix_error) return SocketError(code, std::string(std::strerror(posix_error)) + ".");
  return SocketError(code, SocketErrorDescription(code));
}

constexpr int closed = -1;

}  // namespace

UdpEndpoint::UdpEndpoint() : handle_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)) {
  if (handle_ == closed) throw LastSocketError();
}

UdpEndpoint::~UdpEndpoint() { Close(); }

void UdpEndpoint::Close() {
  if (handle_ != closed) ::close(static_cast<int>(handle_));
  handle_ = closed;
}

bool UdpEndpoint::IsOpen() const { return handle_ != closed; }

void UdpEndpoint::BindAny(std::uint16_t port) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    throw BindError(WinsockNumber(errno));
}

void UdpEndpoint::EnableBroadcast() {
  const int on = 1;
  if (::setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
    throw LastSocketError();
}

namespace {

sockaddr_in Destination(const char* address, std::uint16_t port) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  if (::inet_pton(AF_INET, address, &remote.sin_addr) != 1) {
    errno = EINVAL;
    throw LastSocketError();
  }
  return remote;
}

void CheckSent(ssize_t sent, std::size_t wanted) {
  if (sent < 0) throw LastSocketError();
  if (static_cast<std::size_t>(sent) != wanted) {
    errno = EMSGSIZE;
    throw LastSocketError();
  }
}

}  // namespace

void UdpEndpoint::SendTo(std::span<const std::uint8_t> data, const char* address, std::uint16_t port) {
  const sockaddr_in remote = Destination(address, port);
  ssize_t sent;
  do {
    sent = ::sendto(static_cast<int>(handle_), data.data(), data.size(), 0,
                    reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  } while (sent < 0 && errno == EINTR);
  CheckSent(sent, data.size());
}

void UdpEndpoint::SendToVia(std::span<const std::uint8_t> data, const char* address, std::uint16_t port,
                            unsigned interface_index) {
  sockaddr_in remote = Destination(address, port);
  iovec payload{const_cast<std::uint8_t*>(data.data()), data.size()};
  alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
  msghdr message{};
  message.msg_name = &remote;
  message.msg_namelen = sizeof remote;
  message.msg_iov = &payload;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_ifindex = static_cast<int>(interface_index);  // the source address stays the system's choice
  std::memcpy(CMSG_DATA(header), &info, sizeof info);
  ssize_t sent;
  do {
    sent = ::sendmsg(static_cast<int>(handle_), &message, 0);
  } while (sent < 0 && errno == EINTR);
  CheckSent(sent, data.size());
}

std::size_t UdpEndpoint::Receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + wait;
  const int fd = static_cast<int>(handle_);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - clock::now());
    if (left.count() <= 0) return 0;
    const timespec timeout{static_cast<time_t>(left.count() / 1'000'000'000),
                           static_cast<long>(left.count() % 1'000'000'000)};
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::ppoll(&ready, 1, &timeout, nullptr);
    if (polled < 0) {
      if (errno == EINTR) continue;
      throw LastSocketError();
    }
    if (polled == 0) return 0;

    // MSG_TRUNC makes recv report the datagram's real length, so one longer
    // than the buffer is detected instead of handed over cut short. Only the
    // buffer's own bytes are ever written.
    const ssize_t length = ::recv(fd, buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT);
    if (length < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      throw LastSocketError();
    }
    if (static_cast<std::size_t>(length) > buffer.size()) throw MessageTooLongError();
    return static_cast<std::size_t>(length);
  }
}

}  // namespace nimbrel
