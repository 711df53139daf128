// The adapter list on Windows: GetAdaptersInfo's chain of entries, each with
// its description, the first entry of its address list and of its gateway
// list. Further addresses and gateways of an adapter are not followed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "core/host_adapters.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace nimbrel {
namespace {

// A fixed text field: its bytes up to the first zero, all of them when there
// is none.
template <std::size_t size>
std::string FieldText(const char (&field)[size]) {
  return std::string(field, std::find(field, field + size, '\0'));
}

// The list may grow between the size query and the reading; a few tries
// catch up with an adapter that appears meanwhile.
constexpr int reading_tries = 3;

}  // namespace

std::vector<HostAdapter> ReadHostAdapters() noexcept {
  try {
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<IP_ADAPTER_INFO> buffer;
    DWORD status = ::GetAdaptersInfo(nullptr, &size);
    for (int attempt = 0; attempt < reading_tries; ++attempt) {
      if (status != ERROR_SUCCESS && status != ERROR_BUFFER_OVERFLOW) return {};
      // Zero-filled, whole entries, never less than one.
      const std::size_t entries = std::max<std::size_t>(1, (size + sizeof(IP_ADAPTER_INFO) - 1) / sizeof(IP_ADAPTER_INFO));
      buffer.assign(entries, IP_ADAPTER_INFO{});
      size = static_cast<ULONG>(entries * sizeof(IP_ADAPTER_INFO));
      status = ::GetAdaptersInfo(buffer.data(), &size);
      if (status != ERROR_BUFFER_OVERFLOW) break;
    }
    if (status != ERROR_SUCCESS) return {};

    std::vector<HostAdapter> adapters;
    for (const IP_ADAPTER_INFO* entry = buffer.data(); entry != nullptr && adapters.size() < max_host_adapters;
         entry = entry->Next) {
      adapters.push_back({.description = FieldText(entry->Description),
                          .ip = FieldText(entry->IpAddressList.IpAddress.String),
                          .netmask = FieldText(entry->IpAddressList.IpMask.String),
                          .gateway = FieldText(entry->GatewayList.IpAddress.String)});
    }
    return adapters;
  } catch (...) {
    return {};  // out of memory: as if the list could not be read
  }
}

}  // namespace nimbrel
