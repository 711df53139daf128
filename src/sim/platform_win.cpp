// Winsock has no signals: Ctrl+C or Ctrl+Break sets the stop flag, and every
// wait is cut into short slices that look at it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "platform.h"

namespace nimbrel::sim {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds stop_check{20};

std::atomic<bool> stop_requested{false};

BOOL WINAPI OnConsoleEvent(DWORD) {
  stop_requested = true;
  return TRUE;
}

std::runtime_error SocketError(const std::string& what) {
  return std::runtime_error(what + ": Winsock error " + std::to_string(::WSAGetLastError()));
}

SOCKET Socket(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

// The next slice of a wait until `end`, in whole milliseconds rounded up.
int Slice(std::optional<Clock::time_point> end) {
  if (!end) return static_cast<int>(stop_check.count());
  const auto left = std::chrono::ceil<milliseconds>(*end - Clock::now());
  return static_cast<int>(std::clamp(left, milliseconds(0), stop_check).count());
}

}  // namespace

void InstallStopHandlers() { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void UseLineFeeds() {
  ::_setmode(::_fileno(stdout), _O_BINARY);
  ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool StopRequested() { return stop_requested; }

void SleepAWhile(Clock::time_point end) { ::Sleep(static_cast<DWORD>(Slice(end))); }

DatagramSocket::DatagramSocket(std::uint16_t port) {
  WSADATA data;
  if (const int started = ::WSAStartup(MAKEWORD(2, 2), &data); started != 0)
    throw std::runtime_error("cannot start Winsock: error " + std::to_string(started));
  const SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (socket == INVALID_SOCKET) throw SocketError("cannot create a UDP socket");
  handle_ = static_cast<std::intptr_t>(socket);
  const BOOL on = TRUE;
  u_long non_blocking = 1;
  if (::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
      ::setsockopt(socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) != 0 ||
      ::ioctlsocket(socket, FIONBIO, &non_blocking) != 0) {
    const auto failure = SocketError("cannot set up the UDP socket");
    ::closesocket(socket);
    throw failure;
  }
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_addr.s_addr = htonl(INADDR_ANY);
  any.sin_port = htons(port);
  if (::bind(socket, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    const auto failure = SocketError("cannot bind UDP port " + std::to_string(port));
    ::closesocket(socket);
    throw failure;
  }
}

DatagramSocket::~DatagramSocket() { ::closesocket(Socket(handle_)); }

bool DatagramSocket::WaitReadable(std::optional<Clock::time_point> until) {
  WSAPOLLFD readable{Socket(handle_), POLLRDNORM, 0};
  const int ready = ::WSAPoll(&readable, 1, Slice(until));
  if (ready == SOCKET_ERROR) throw SocketError("waiting for datagrams failed");
  return ready > 0;
}

std::optional<std::size_t> DatagramSocket::ReceiveWaiting(std::span<std::uint8_t> buffer, sockaddr_in& from) {
  int from_length = sizeof from;
  const int length = ::recvfrom(Socket(handle_), reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()),
                                0, reinterpret_cast<sockaddr*>(&from), &from_length);
  if (length != SOCKET_ERROR) return static_cast<std::size_t>(length);
  // WSAECONNRESET reports an ICMP "port unreachable" for an earlier answer,
  // not a failure of this socket.
  const int code = ::WSAGetLastError();
  if (code != WSAEWOULDBLOCK && code != WSAEINTR && code != WSAECONNRESET)
    std::fprintf(stderr, "nimbrel-sim: receiving failed: Winsock error %d\n", code);
  return std::nullopt;
}

std::string DatagramSocket::SendTo(std::span<const std::uint8_t> datagram, const sockaddr_in& to) {
  if (::sendto(Socket(handle_), reinterpret_cast<const char*>(datagram.data()), static_cast<int>(datagram.size()), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to) != SOCKET_ERROR)
    return {};
  return "Winsock error " + std::to_string(::WSAGetLastError());
}

}  // namespace nimbrel::sim
