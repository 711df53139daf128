// Windows side of the private network. A Windows process cannot make a
// network namespace; wine-in-private-network makes it and starts Wine's
// server inside it. Here the program checks that it sees that network and no
// other: exactly one adapter, holding the PC's address.
#include <winsock2.h>
#include <iphlpapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "private_network.h"
#include "runner_service_win.h"

namespace nimbrel::test {

namespace {

bool entered = false;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr,
               "\nPRIVATE NETWORK FAILED: %s\n"
               "Windows test programs run only through wine-in-private-network, which puts Wine\n"
               "inside a private network namespace. Nothing was sent.\n\n",
               why.c_str());
  std::fflush(stderr);
  std::_Exit(2);
}

std::vector<std::string> AdapterAddresses() {
  ULONG size = 0;
  if (::GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW) return {};
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (::GetAdaptersInfo(first, &size) != NO_ERROR) return {};
  std::vector<std::string> addresses;
  for (const IP_ADAPTER_INFO* adapter = first; adapter; adapter = adapter->Next)
    addresses.emplace_back(adapter->IpAddressList.IpAddress.String);
  return addresses;
}

}  // namespace

void EnterPrivateNetwork() {
  if (entered) return;
  const char* marker = std::getenv("NIMBREL_PRIVATE_NETWORK");
  if (!marker || std::strcmp(marker, "wine") != 0) Fail("this program was not started by wine-in-private-network");
  const auto addresses = AdapterAddresses();
  if (addresses != std::vector<std::string>{pc_address}) {
    std::string seen;
    for (const auto& address : addresses) seen += " " + address;
    Fail("expected exactly one adapter with " + std::string(pc_address) + ", found:" + (seen.empty() ? " none" : seen));
  }
  entered = true;
}

bool InPrivateNetwork() { return entered; }

void RunIpHere(const std::vector<std::string>& arguments) {
  std::vector<std::string> request{"ip"};
  request.insert(request.end(), arguments.begin(), arguments.end());
  std::string answer;
  try {
    answer = RunnerService().Ask(request);
  } catch (const std::exception& failure) {
    answer = failure.what();
  }
  if (answer != "done") {
    std::string command = "ip";
    for (const auto& argument : arguments) command += " " + argument;
    Fail("'" + command + "' failed in the private network: " + answer);
  }
}

void RequirePrivateNetwork() {
  if (!InPrivateNetwork()) Fail("the private network was not entered; refusing to send");
}

}  // namespace nimbrel::test
