// nimbrel-sim: Nimbrel weather stations on a UDP network, for tests, demos
// and anyone developing against the protocol.
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "options.h"
#include "platform.h"
#include "simulation.h"

int main(int argc, char** argv) {
  using namespace nimbrel::sim;
  UseLineFeeds();
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  Options options;
  try {
    options = ParseOptions(arguments);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "nimbrel-sim: %s\nTry 'nimbrel-sim --help'.\n", error.what());
    return 2;
  }
  if (options.help) {
    std::fwrite(HelpText().data(), 1, HelpText().size(), stdout);
    return 0;
  }
  try {
    RunSimulation(options, BuildStations(options));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "nimbrel-sim: %s\n", failure.what());
    return 1;
  }
  return 0;
}
