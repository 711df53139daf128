// The running simulator: one UDP socket shared by all stations, the log of
// what arrived and the state file.
#pragma once

#include <vector>

#include "options.h"
#include "station.h"

namespace nimbrel::sim {

// Binds, prints the ready line and serves until SIGTERM, SIGINT or the end
// of --duration. Throws std::runtime_error when the socket or a file cannot
// be set up.
void RunSimulation(const Options& options, std::vector<Station> stations);

}  // namespace nimbrel::sim
