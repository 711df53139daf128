#include "simulator.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace nimbrel::test {

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The text of "key":"value" or the number of "key":number in one JSON line.
std::string Field(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  auto at = line.find(marker);
  if (at == std::string::npos) return {};
  at += marker.size();
  if (at < line.size() && line[at] == '"') {
    const auto end = line.find('"', at + 1);
    return line.substr(at + 1, end - at - 1);
  }
  const auto end = line.find_first_of(",}", at);
  return line.substr(at, end - at);
}

}  // namespace

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::vector<LoggedDatagram> Simulator::Log() const {
  std::vector<LoggedDatagram> datagrams;
  std::istringstream lines(ReadFile(log_path_));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    LoggedDatagram datagram;
    datagram.time = std::atof(Field(line, "time").c_str());
    datagram.from = Field(line, "from");
    datagram.bytes = FromHex(Field(line, "hex"));
    datagrams.push_back(std::move(datagram));
  }
  return datagrams;
}

std::vector<LoggedDatagram> Simulator::WaitForLog(std::size_t count, int timeout_ms) const {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  auto datagrams = Log();
  while (datagrams.size() < count && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    datagrams = Log();
  }
  return datagrams;
}

std::string Simulator::State() const { return ReadFile(state_path_); }

std::string Simulator::WaitForState(const std::string& text, int timeout_ms) const {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  auto state = State();
  while (state.find(text) == std::string::npos && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    state = State();
  }
  return state;
}

}  // namespace nimbrel::test
