// The PC's IPv4 interfaces that a search can be sent through one by one.
// One file per platform implements it.
#pragma once

#include <string>
#include <vector>

namespace nimbrel {

struct BroadcastInterface {
  std::string name;
  unsigned index = 0;  // the system's interface index

  friend bool operator==(const BroadcastInterface&, const BroadcastInterface&) = default;
};

// Every interface that is up, has an IPv4 address and can broadcast
// (loopback excluded), once each, in the system's order. Throws NetworkError
// when the list cannot be read.
std::vector<BroadcastInterface> ReadBroadcastInterfaces();

}  // namespace nimbrel
