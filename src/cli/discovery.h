// One discovery as the command-line tool runs it: the stations in arrival
// order, each MAC once.
#pragma once

#include <cstddef>
#include <vector>

#include "cli/command_line.h"
#include "core/exchange.h"
#include "core/messages.h"

namespace nimbrel::cli {

// More distinct stations than this in one discovery are not listed: a flood
// of made-up MACs cannot make the list grow without end.
inline constexpr std::size_t max_listed_stations = 4096;

struct DiscoveryResult {
  std::vector<Announcement> stations;
  bool ended_by_deadline = false;
  bool list_full = false;
};

// Throws NetworkError when the exchange fails.
DiscoveryResult Discover(const DiscoveryOptions& options);

const Announcement* FindStation(const DiscoveryResult& result, const MacBytes& mac);

// The exchange settings for these options; reads the interface list when
// every interface is asked for, and throws NetworkError when none can
// broadcast.
ExchangeSettings SettingsFor(const DiscoveryOptions& options);

}  // namespace nimbrel::cli
