#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "core/broadcast_interfaces.h"
#include "core/udp_endpoint.h"

namespace nimbrel {

std::vector<BroadcastInterface> ReadBroadcastInterfaces() {
  ifaddrs* first = nullptr;
  if (::getifaddrs(&first) != 0)
    throw NetworkError(errno, "The interface list could not be read: " + std::string(std::strerror(errno)) + ".");
  const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(first, &::freeifaddrs);

  std::vector<BroadcastInterface> found;
  for (const ifaddrs* entry = first; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    const unsigned flags = entry->ifa_flags;
    if (!(flags & IFF_UP) || !(flags & IFF_BROADCAST) || (flags & IFF_LOOPBACK)) continue;
    const unsigned index = ::if_nametoindex(entry->ifa_name);
    if (index == 0) continue;  // gone since the list was read
    // An interface with several addresses is listed once per address.
    if (std::any_of(found.begin(), found.end(), [&](const auto& known) { return known.index == index; })) continue;
    found.push_back({entry->ifa_name, index});
  }
  return found;
}

}  // namespace nimbrel
