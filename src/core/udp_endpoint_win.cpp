// The UDP endpoint over Winsock. Its error numbers are already the ones the
// program reports; a datagram longer than the buffer is WSAEMSGSIZE.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include <cstring>

#include <string>

#include "core/udp_endpoint.h"

namespace nimbrel {

namespace {

constexpr std::intptr_t closed = static_cast<std::intptr_t>(INVALID_SOCKET);

// The system's own text in its language and code page, our short text where
// it has none. "Message too long." is the program's fixed text.
std::string Description(int code) {
  if (code == socket_error_message_too_long) return SocketErrorDescription(code);
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string description = length != 0 && text ? std::string(text, length) : std::string();
  if (text) ::LocalFree(text);
  while (!description.empty() && std::string_view(" \t\r\n").find(description.back()) != std::string_view::npos)
    description.pop_back();
  return description.empty() ? SocketErrorDescription(code) : description;
}

NetworkError SocketFailure(int code) { return SocketError(code, Description(code)); }

NetworkError LastSocketError() { return SocketFailure(::WSAGetLastError()); }

SOCKET Socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// Winsock is started once, on first use, and stays up for the process.
void StartWinsock() {
  static const int started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (started != 0) throw SocketFailure(started);
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
  // No address reuse. Exclusive use besides: on Windows a later socket that
  // asks for reuse could otherwise share the port and take the answers.
  const BOOL exclusive = TRUE;
  if (::setsockopt(Socket(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive) != 0)
    throw LastSocketError();
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
  if (::inet_pton(AF_INET, address, &remote.sin_addr) != 1) throw SocketFailure(WSAEINVAL);
  return remote;
}

void CheckSent(std::size_t sent, std::size_t wanted) {
  if (sent != wanted) throw MessageTooLongError();
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
    const auto left = deadline - clock::now();
    if (left <= clock::duration::zero()) return 0;
    // WSAPoll counts whole milliseconds and may wake a little early: the
    // wait is rounded up and the clock asked again, so that a quiet receive
    // never ends before its whole wait has passed.
    WSAPOLLFD ready{Socket(handle_), POLLRDNORM, 0};
    const auto timeout = std::chrono::ceil<std::chrono::milliseconds>(left);
    const int polled = ::WSAPoll(&ready, 1, static_cast<INT>(timeout.count()));
    if (polled == SOCKET_ERROR) throw LastSocketError();
    if (polled == 0) continue;
    // A datagram longer than the buffer fails with WSAEMSGSIZE and is lost.
    const int length = ::recv(Socket(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (length == SOCKET_ERROR) {
      const int code = ::WSAGetLastError();
      if (code == WSAEWOULDBLOCK || code == WSAEINTR) continue;
      throw SocketFailure(code);
    }
    return static_cast<std::size_t>(length);
  }
}

}  // namespace nimbrel
