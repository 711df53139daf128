#include "cli/discovery.h"

#include <algorithm>
#include <set>

#include "core/broadcast_interfaces.h"

namespace nimbrel::cli {

ExchangeSettings SettingsFor(const DiscoveryOptions& options) {
  ExchangeSettings settings;
  settings.wait = options.wait;
  settings.deadline = std::chrono::steady_clock::now() +
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(options.deadline);
  if (options.all_interfaces) {
    for (const auto& found : ReadBroadcastInterfaces()) settings.interfaces.push_back(found.index);
    if (settings.interfaces.empty()) throw NetworkError(0, "No IPv4 interface is up and able to broadcast.");
  }
  return settings;
}

DiscoveryResult Discover(const DiscoveryOptions& options) {
  DiscoveryResult result;
  std::set<MacBytes> seen;
  const auto search = BuildSearchRequest();
  const CollectEnd end = BroadcastAndCollect(search, SettingsFor(options),
                                             [&](const CollectionBuffer& buffer, std::size_t length) {
    const Announcement announcement = DecodeAnnouncement(std::span(buffer.data(), length));
    if (seen.contains(announcement.mac)) return Collect::more;
    if (result.stations.size() == max_listed_stations) {
      result.list_full = true;
      return Collect::more;  // keep draining, so the deadline still says when answers stop
    }
    seen.insert(announcement.mac);
    result.stations.push_back(announcement);
    return Collect::more;
  });
  result.ended_by_deadline = end == CollectEnd::deadline;
  return result;
}

const Announcement* FindStation(const DiscoveryResult& result, const MacBytes& mac) {
  const auto found = std::find_if(result.stations.begin(), result.stations.end(),
                                  [&](const Announcement& station) { return station.mac == mac; });
  return found == result.stations.end() ? nullptr : &*found;
}

}  // namespace nimbrel::cli
