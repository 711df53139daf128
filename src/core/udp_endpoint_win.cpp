// The UDP endpoint over Winsock. Its error numbers are already the ones the
// program reports; a datagram longer than the buffer is WSAEMSGSIZE.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>

#include "core/udp_endpoint.h"

namespace nimbrel {

namespace {

constexpr std::intptr_t closed = static_cast<std::intptr_t>(INVALID_SOCKET);

NetworkError LastSocketError() {
  const int code = ::WSAGetLastError();
  return SocketError(code, SocketErrorDescription(code));
}

SOCKET Socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock is started once, on first use, and stays up for the process.
void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw SocketError(started, SocketErrorDescription(started));
}

}  // namespace

UdpEndpoint::UdpEndpoint() : handle_(closed) {
  StartWinsock();
  handle_ = static_cast<std::intptr_t>(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  if (handle_ == closed) throw LastSocketError();
}

UdpEndpoint::~UdpEndpoint() { Close(); }

void UdpEndpoint::Close() {
  if (handle_ != closed) ::closesocket(Socket(handle_));
  handle_ = closed;
}

bool UdpEndpoint::IsOpen() const { return handle_ != closed; }

void UdpEndpoint::BindAny(std::uint16_t port) {
  // Exclusive use: no other socket may share the port, even one that asks
  // for address reuse.
  const BOOL exclusive = TRUE;
  ::setsockopt(Socket(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  local.sin_port = htons(port);
  if (::bind(Socket(handle_), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
    throw BindError(::WSAGetLastError());
}

void UdpEndpoint::EnableBroadcast() {
  const BOOL on = TRUE;
  if (::setsockopt(Socket(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0)
    throw LastSocketError();
}

namespace {

sockaddr_in Destination(const char* address, std::uint16_t port) {
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_port = htons(port);
  if (::inet_pton(AF_INET, address, &remote.sin_addr) != 1) throw SocketError(WSAEINVAL, SocketErrorDescription(WSAEINVAL));
  return remote;
}

void CheckSent(std::size_t sent, std::size_t wanted) {
  if (sent != wanted) throw SocketError(WSAEMSGSIZE, SocketErrorDescription(WSAEMSGSIZE));
}

}  // namespace

void UdpEndpoint::SendTo(std::span<const std::uint8_t> data, const char* address, std::uint16_t port) {
  const sockaddr_in remote = Destination(address, port);
  const int sent = ::sendto(Socket(handle_), reinterpret_cast<const char*>(data.data()), static_cast<int>(data.size()),
                            0, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  if (sent == SOCKET_ERROR) throw LastSocketError();
  CheckSent(static_cast<std::size_t>(sent), data.size());
}

void UdpEndpoint::SendToVia(std::span<const std::uint8_t> data, const char* address, std::uint16_t port,
                            unsigned interface_index) {
  sockaddr_in remote = Destination(address, port);
  WSABUF payload{static_cast<ULONG>(data.size()), reinterpret_cast<CHAR*>(const_cast<std::uint8_t*>(data.data()))};
  alignas(WSACMSGHDR) char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))]{};
  WSAMSG message{};
  message.name = reinterpret_cast<LPSOCKADDR>(&remote);
  message.namelen = sizeof remote;
  message.lpBuffers = &payload;
  message.dwBufferCount = 1;
  message.Control = WSABUF{static_cast<ULONG>(sizeof control), control};
  WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message);
  header->cmsg_level = IPPROTO_IP;
  header->cmsg_type = IP_PKTINFO;
  header->cmsg_len = WSA_CMSG_LEN(sizeof(IN_PKTINFO));
  IN_PKTINFO info{};
  info.ipi_ifindex = interface_index;  // the source address stays the system's choice
  std::memcpy(WSA_CMSG_DATA(header), &info, sizeof info);
  DWORD sent = 0;
  if (::WSASendMsg(Socket(handle_), &message, 0, &sent, nullptr, nullptr) == SOCKET_ERROR) throw LastSocketError();
  CheckSent(sent, data.size());
}

std::size_t UdpEndpoint::Receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait) {
  using clock = std::chrono::steady_clock;
  const auto deadline = clock::now() + wait;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
    if (left.count() <= 0) return 0;
    WSAPOLLFD ready{Socket(handle_), POLLRDNORM, 0};
    const int polled = ::WSAPoll(&ready, 1, static_cast<INT>(left.count()));
    if (polled == SOCKET_ERROR) throw LastSocketError();
    if (polled == 0) return 0;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is lost.
    const int length = ::recv(Socket(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (length == SOCKET_ERROR) {
      const int code = ::WSAGetLastError();
      if (code == WSAEWOULDBLOCK || code == WSAEINTR) continue;
      throw SocketError(code, SocketErrorDescription(code));
    }
    return static_cast<std::size_t>(length);
  }
}

}  // namespace nimbrel
