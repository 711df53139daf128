#include "core/udp_endpoint.h"

namespace nimbrel {

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
