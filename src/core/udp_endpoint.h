// One IPv4 UDP endpoint over the platform's socket layer. Every failure is a
// NetworkError whose text is what the user is shown.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nimbrel {

class NetworkError : public std::runtime_error {
 public:
  NetworkError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Error numbers are the socket layer's, in Winsock numbering on every
// platform so that the same failure reads the same everywhere.
inline constexpr int socket_error_message_too_long = 10040;
inline constexpr int socket_error_address_in_use = 10048;

inline constexpr std::string_view bind_failure_text =
    "Could not bind socket. Address and port are already in use.";

#ifdef _WIN32
inline constexpr std::string_view line_break = "\r\n";
#else
inline constexpr std::string_view line_break = "\n";
#endif

// "Socket Error # " + number + line break + description.
std::string SocketErrorText(int code, std::string_view description);
NetworkError SocketError(int code, std::string_view description);
NetworkError MessageTooLongError();
NetworkError BindError(int code);

// The socket layer's short description of one of its error numbers.
std::string SocketErrorDescription(int code);

class UdpEndpoint {
 public:
  UdpEndpoint();  // creates the socket
  ~UdpEndpoint();
  UdpEndpoint(const UdpEndpoint&) = delete;
  UdpEndpoint& operator=(const UdpEndpoint&) = delete;

  // Binds to the any-address without asking for address reuse, so the bind
  // fails while any other endpoint holds the port.
  void BindAny(std::uint16_t port);
  void EnableBroadcast();
  // One datagram of exactly data.size() bytes; address is in dotted form.
  void SendTo(std::span<const std::uint8_t> data, const char* address, std::uint16_t port);
  // The same, out through one interface (its system index) whatever the
  // routes say: IP_PKTINFO on this one datagram.
  void SendToVia(std::span<const std::uint8_t> data, const char* address, std::uint16_t port,
                 unsigned interface_index);
  // Waits at most `wait` from now for one datagram and reads it into
  // buffer. Returns its length, 0 when the wait passed or the datagram was
  // empty. A datagram longer than the buffer is lost and throws 10040.
  std::size_t Receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait);
  void Close();
  bool IsOpen() const;

 private:
  std::intptr_t handle_;
};

}  // namespace nimbrel
