#include <winsock2.h>
#include <iphlpapi.h>

#include <vector>

#include "core/broadcast_interfaces.h"
#include "core/udp_endpoint.h"

namespace nimbrel {

namespace {

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

}  // namespace

std::vector<BroadcastInterface> ReadBroadcastInterfaces() {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == ERROR_NO_DATA) return {};
  if (result != NO_ERROR) throw NetworkError(static_cast<int>(result), "The interface list could not be read.");

  std::vector<BroadcastInterface> found;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    if (!adapter->FirstUnicastAddress || adapter->IfIndex == 0) continue;
    found.push_back({Utf8(adapter->FriendlyName), static_cast<unsigned>(adapter->IfIndex)});
  }
  return found;
}

}  // namespace nimbrel
