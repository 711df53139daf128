#include "runner_service_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>

namespace nimbrel::test {

RunnerService::RunnerService() {
  const char* port = std::getenv("NIMBREL_RUNNER_SERVICE");
  if (!port) throw std::runtime_error("NIMBREL_RUNNER_SERVICE is not set: run through wine-in-private-network");
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in service{};
  service.sin_family = AF_INET;
  service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  service.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  if (connection == INVALID_SOCKET ||
      ::connect(connection, reinterpret_cast<const sockaddr*>(&service), sizeof service) != 0) {
    if (connection != INVALID_SOCKET) ::closesocket(connection);
    ::WSACleanup();
    throw std::runtime_error("cannot reach wine-in-private-network's service");
  }
  connection_ = static_cast<std::intptr_t>(connection);
}

RunnerService::~RunnerService() {
  ::closesocket(static_cast<SOCKET>(connection_));
  ::WSACleanup();
}

std::string RunnerService::Ask(const std::vector<std::string>& words) {
  const SOCKET connection = static_cast<SOCKET>(connection_);
  std::string line;
  for (const auto& word : words) line += (line.empty() ? "" : "\t") + word;
  line += "\n";
  if (::send(connection, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
    throw std::runtime_error("wine-in-private-network's service did not take a request");
  std::string answer;
  char c = 0;
  while (::recv(connection, &c, 1, 0) == 1 && c != '\n') answer += c;
  return answer;
}

}  // namespace nimbrel::test
