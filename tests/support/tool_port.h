// Whether the tool's own port can be bound here: a collection that ended,
// however it ended, must have let it go.
#pragma once

#include "core/exchange.h"
#include "core/udp_endpoint.h"

namespace nimbrel::test {

inline bool ToolPortFree() {
  try {
    UdpEndpoint probe;
    probe.BindAny(tool_port);
    return true;
  } catch (const NetworkError&) {
    return false;
  }
}

}  // namespace nimbrel::test
