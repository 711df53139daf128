// The command line of nimbrel-sim.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/exchange.h"
#include "station.h"

namespace nimbrel::sim {

enum class ReplyTo { broadcast, sender };
enum class ConfigReply { normal, none, lower, short_tag };

struct Options {
  bool help = false;
  std::vector<Station> explicit_stations;
  std::optional<std::uint32_t> generated_count;
  std::string log_path;
  std::string state_path;
  std::optional<double> duration_seconds;
  std::uint16_t port = device_port;
  std::uint16_t tool_port = nimbrel::tool_port;
  ReplyTo reply_to = ReplyTo::broadcast;

  // How a search is answered.
  std::uint32_t delay_ms = 0;
  std::uint32_t pause_ms = 0;
  std::size_t extra_bytes = 0;
  bool twice = false;
  std::optional<std::uint64_t> oversize_after;
  std::optional<std::uint64_t> empty_after;
  std::optional<std::uint64_t> short_after;
  std::size_t short_length = 10;
  std::uint32_t flood = 0;

  // How a configuration request is answered.
  ConfigReply config_reply = ConfigReply::normal;
  std::uint32_t config_delay_ms = 0;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws UsageError with a message fit for stderr.
Options ParseOptions(std::span<const std::string_view> arguments);

// The explicit stations, then the generated ones numbered on from them.
std::vector<Station> BuildStations(const Options& options);

std::string_view HelpText();

}  // namespace nimbrel::sim
