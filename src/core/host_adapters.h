// The PC's own network adapters, as the IP configuration dialog and the
// command-line tool list them. One file per platform implements it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace nimbrel {

// Texts are 8-bit, as the operating system spells them; "0.0.0.0" where the
// adapter has no IPv4 address or no gateway.
struct HostAdapter {
  std::string description;
  std::string ip;       // the adapter's first IPv4 address
  std::string netmask;  // the mask of that address
  std::string gateway;  // the adapter's first gateway

  friend bool operator==(const HostAdapter&, const HostAdapter&) = default;
};

inline constexpr std::size_t max_host_adapters = 100;

// Reads the list anew: the adapters in the system's order, at most
// max_host_adapters of them. Empty when the list cannot be read or holds no
// adapter. Never throws.
std::vector<HostAdapter> ReadHostAdapters() noexcept;

}  // namespace nimbrel
