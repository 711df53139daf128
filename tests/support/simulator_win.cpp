// Windows side of the simulator fixture: nimbrel-sim runs in the far
// namespace, started and stopped by wine-in-private-network on request.
#include <memory>
#include <stdexcept>
#include <string>

#include "private_network.h"
#include "runner_service_win.h"
#include "simulator.h"

namespace nimbrel::test {

namespace {

// The Windows spelling of one of the runner's paths: drive Z: is the root.
std::string WindowsPath(const std::string& path) { return "Z:" + path; }

}  // namespace

std::string SimulatorPath() { return "nimbrel-sim (run by wine-in-private-network)"; }

Simulator::Simulator(const std::vector<std::string>& arguments) {
  RequirePrivateNetwork();
  auto service = std::make_shared<RunnerService>();
  std::vector<std::string> request{"start"};
  request.insert(request.end(), arguments.begin(), arguments.end());
  const std::string answer = service->Ask(request);
  if (answer.rfind("ready\t", 0) != 0) throw std::runtime_error("nimbrel-sim did not become ready: " + answer);
  const auto tab = answer.find('\t', 6);
  log_path_ = WindowsPath(answer.substr(6, tab - 6));
  state_path_ = WindowsPath(answer.substr(tab + 1));
  service_ = std::move(service);
}

Simulator::~Simulator() { Stop(); }

void Simulator::Stop() {
  if (!service_) return;
  const auto service = std::move(service_);
  try {
    service->Ask({"stop"});  // answered once the simulator has ended
  } catch (const std::exception&) {
  }
}

}  // namespace nimbrel::test
