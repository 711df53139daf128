#include "core/udp_endpoint.h"

namespace nimbrel {

namespace {

struct ErrorDescription {
  int code;
  const char* text;
};

// The socket layer's short descriptions, by Winsock number.
constexpr ErrorDescription descriptions[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Buffer fault."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10045, "Operation not supported on socket."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10061, "Connection refused."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10093, "Successful WSAStartup not yet performed."},
};

}  // namespace

std::string SocketErrorDescription(int code) {
  for (const auto& known : descriptions)
    if (known.code == code) return known.text;
  return "Unknown socket error.";
}

std::string SocketErrorText(int code, std::string_view description) {
  std::string text = "Socket Error # " + std::to_string(code);
  text += line_break;
  text += description;
  return text;
}

NetworkError SocketError(int code, std::string_view description) {
  return NetworkError(code, SocketErrorText(code, description));
}

NetworkError MessageTooLongError() {
  return SocketError(socket_error_message_too_long, SocketErrorDescription(socket_error_message_too_long));
}

NetworkError BindError(int code) { return NetworkError(code, std::string(bind_failure_text)); }

}  // namespace nimbrel
