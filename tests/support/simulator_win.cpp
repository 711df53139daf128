// Windows side of the simulator fixture: nimbrel-sim runs in the far
// namespace, started and stopped by wine-in-private-network on request over
// a loopback connection (see wine_runner.cpp).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "private_network.h"
#include "simulator.h"

namespace nimbrel::test {

namespace {

SOCKET Connection(std::intptr_t handle) { return static_cast<SOCKET>(handle); }

void SendLine(SOCKET connection, const std::string& line) {
  const std::string text = line + "\n";
  if (::send(connection, text.data(), static_cast<int>(text.size()), 0) != static_cast<int>(text.size()))
    throw std::runtime_error("the simulator service did not take a request");
}

std::string ReadLine(SOCKET connection) {
  std::string line;
  char c = 0;
  while (::recv(connection, &c, 1, 0) == 1 && c != '\n') line += c;
  return line;
}

// The Windows spelling of one of the runner's paths: drive Z: is the root.
std::string WindowsPath(const std::string& path) { return "Z:" + path; }

}  // namespace

std::string SimulatorPath() { return "nimbrel-sim (run by wine-in-private-network)"; }

Simulator::Simulator(const std::vector<std::string>& arguments) {
  RequirePrivateNetwork();
  const char* port = std::getenv("NIMBREL_SIM_SERVICE");
  if (!port) throw std::runtime_error("NIMBREL_SIM_SERVICE is not set: run through wine-in-private-network");
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");

  const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  control_ = static_cast<std::intptr_t>(connection);
  sockaddr_in service{};
  service.sin_family = AF_INET;
  service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  service.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  if (connection == INVALID_SOCKET ||
      ::connect(connection, reinterpret_cast<const sockaddr*>(&service), sizeof service) != 0) {
    Stop();
    throw std::runtime_error("cannot reach the simulator service");
  }
  std::string request = "start";
  for (const auto& argument : arguments) request += "\t" + argument;
  SendLine(connection, request);
  const std::string answer = ReadLine(connection);
  if (answer.rfind("ready\t", 0) != 0) {
    Stop();
    throw std::runtime_error("nimbrel-sim did not become ready: " + answer);
  }
  const auto tab = answer.find('\t', 6);
  log_path_ = WindowsPath(answer.substr(6, tab - 6));
  state_path_ = WindowsPath(answer.substr(tab + 1));
}

Simulator::~Simulator() { Stop(); }

void Simulator::Stop() {
  if (control_ == -1) return;
  const SOCKET connection = Connection(control_);
  try {
    SendLine(connection, "stop");
    ReadLine(connection);  // "stopped": the simulator has ended
  } catch (const std::exception&) {
  }
  ::closesocket(connection);
  control_ = -1;
}

}  // namespace nimbrel::test
