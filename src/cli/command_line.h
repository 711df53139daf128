// The command line of nimbrel: the argument list in, a command or a usage
// error out. Nothing here prints, exits or touches the network, so anything
// (a test, a fuzzer) can call it with any words.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "core/device.h"

namespace nimbrel::cli {

enum ExitCode : int {
  exit_ok = 0,
  exit_no_acknowledgement = 1,  // or the station was not found
  exit_usage = 2,               // or invalid input
  exit_network = 3,             // the socket layer failed, e.g. the port is held
};

inline constexpr std::chrono::milliseconds longest_wait{60'000};
inline constexpr double longest_deadline_seconds = 3600;

struct DiscoveryOptions {
  std::chrono::milliseconds wait{250};
  std::chrono::duration<double> deadline{10.0};
  bool all_interfaces = false;
};

enum class Format { table, json, csv };

struct DiscoverCommand {
  DiscoveryOptions discovery;
  Format format = Format::table;
};

// Each address given is already known to pass the settings check; the
// station's current settings fill the others.
struct ConfigCommand {
  DiscoveryOptions discovery;
  MacBytes mac{};
  std::optional<std::string> ip;
  std::optional<std::string> netmask;
  std::optional<std::string> gateway;
  std::optional<std::string> dns;
  bool verify = false;
};

struct SendCommand {
  DiscoveryOptions discovery;
  MacBytes mac{};
  std::u16string command;  // four printable ASCII characters
  bool show_answer = false;
};

struct AdaptersCommand {
  bool json = false;
};

// --help or --version: the text goes to standard output.
struct ShowText {
  std::string text;
};

using Command = std::variant<ShowText, DiscoverCommand, ConfigCommand, SendCommand, AdaptersCommand>;

struct UsageError {
  std::string message;  // one or more lines for standard error, no prefix
};

// `arguments` are the words after the program's name.
std::variant<Command, UsageError> ParseCommandLine(std::span<const std::string> arguments);

// 00.1A.2B.3C.4D.5E, or the same with ':' or '-' throughout, any case.
std::optional<MacBytes> ParseMacArgument(std::string_view text);

}  // namespace nimbrel::cli
