#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <vector>

#include "cli/terminal_text.h"
#include "core/address_validation.h"

#ifndef NIMBREL_VERSION
#define NIMBREL_VERSION "unknown"
#endif

namespace nimbrel::cli {

namespace {

constexpr const char* exit_status_text =
    "Exit status:\n"
    "  0  done (the station acknowledged, or the list was written)\n"
    "  1  the station did not acknowledge, was not found, or did not take the settings\n"
    "  2  usage error or invalid input; nothing was sent\n"
    "  3  network failure, such as UDP port 8444 held by another program\n";

constexpr const char* tool_description =
    "Finds Nimbrel weather stations on the local IPv4 segment and sets them up.\n"
    "Every request is a UDP broadcast to 255.255.255.255 port 1444 that names its\n"
    "station by MAC; answers come back to UDP port 8444.\n";

// The options every command that runs a discovery shares.
struct DiscoveryFlags {
  int wait_ms = 250;
  double deadline_seconds = 10.0;
  bool all_interfaces = false;

  void AddTo(CLI::App& command) {
    command.add_option("--wait", wait_ms, "Answer wait in milliseconds, 250 (the default) to 60000")
        ->type_name("MS")
        ->check(CLI::Range(250, static_cast<int>(longest_wait.count())));
    command.add_option("--deadline", deadline_seconds,
                       "End a discovery that answers keep prolonging after this many seconds (default 10)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.001, longest_deadline_seconds));
    command.add_flag("--all-interfaces", all_interfaces,
                     "Send each request once through every IPv4 interface that is up and can broadcast");
  }

  DiscoveryOptions Options() const {
    return {std::chrono::milliseconds(wait_ms), std::chrono::duration<double>(deadline_seconds), all_interfaces};
  }
};

std::string MacHelp() { return "MAC as 00.1A.2B.3C.4D.5E, 00:1a:2b:3c:4d:5e or 00-1A-2B-3C-4D-5E"; }

// The help of the command the user asked about: the deepest one parsed.
std::string HelpOf(const CLI::App& tool) {
  const CLI::App* asked = &tool;
  while (true) {
    const auto parsed = asked->get_subcommands();
    if (parsed.empty()) break;
    asked = parsed.back();
  }
  return asked->help();
}

UsageError UsageFrom(const std::string& message) {
  return {message + "\nRun 'nimbrel --help' or 'nimbrel COMMAND --help' for more information."};
}

}  // namespace

std::optional<MacBytes> ParseMacArgument(std::string_view text) {
  if (text.size() != 17) return std::nullopt;
  const char separator = text[2];
  if (separator != '.' && separator != ':' && separator != '-') return std::nullopt;
  MacBytes mac{};
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const std::size_t at = i * 3;
    if (i > 0 && text[at - 1] != separator) return std::nullopt;
    if (!std::isxdigit(static_cast<unsigned char>(text[at])) || !std::isxdigit(static_cast<unsigned char>(text[at + 1])))
      return std::nullopt;
    unsigned value = 0;
    std::from_chars(text.data() + at, text.data() + at + 2, value, 16);
    mac[i] = static_cast<std::uint8_t>(value);
  }
  return mac;
}

std::variant<Command, UsageError> ParseCommandLine(std::span<const std::string> arguments) {
  CLI::App tool(tool_description, "nimbrel");
  tool.set_version_flag("--version", std::string("nimbrel ") + NIMBREL_VERSION, "Show the version and exit");
  tool.require_subcommand(1);
  tool.footer(exit_status_text);

  std::string format_json_or_csv;
  DiscoveryFlags discover_flags;
  bool json = false;
  bool csv = false;
  CLI::App* discover = tool.add_subcommand("discover", "List the stations that answer one search");
  discover_flags.AddTo(*discover);
  auto* json_flag = discover->add_flag("--json", json, "Write a JSON array of objects");
  discover->add_flag("--csv", csv, "Write CSV with a header row")->excludes(json_flag);
  discover->footer(exit_status_text);

  DiscoveryFlags config_flags;
  std::string config_mac;
  std::optional<std::string> ip, netmask, gateway, dns;
  bool verify = false;
  CLI::App* config = tool.add_subcommand(
      "config", "Give one station new IPv4 settings; what is not given stays as the station announces it");
  config->add_option("MAC", config_mac, "The station, " + MacHelp())->required();
  config->add_option("--ip", ip, "New address")->type_name("A");
  config->add_option("--mask", netmask, "New network mask")->type_name("M");
  config->add_option("--gateway", gateway, "New gateway")->type_name("G");
  config->add_option("--dns", dns, "New DNS server")->type_name("D");
  config->add_flag("--verify", verify, "Search again afterwards; fail unless the station announces the new settings");
  config_flags.AddTo(*config);
  config->footer(exit_status_text);

  DiscoveryFlags send_flags;
  std::string send_mac;
  std::string command_text;
  bool show_answer = false;
  CLI::App* send = tool.add_subcommand("send", "Send one station a four-character command");
  send->add_option("MAC", send_mac, "The station, " + MacHelp())->required();
  send->add_option("CMD", command_text, "Exactly four printable ASCII characters")->required();
  send->add_flag("--show-answer", show_answer, "Print the answer, if any, in hex and as text");
  send_flags.AddTo(*send);
  send->footer(exit_status_text);

  bool adapters_json = false;
  CLI::App* adapters = tool.add_subcommand("adapters", "List the PC's network adapters");
  adapters->add_flag("--json", adapters_json, "Write a JSON array of objects");
  adapters->footer(exit_status_text);

  const auto is_command = [](const std::string& word) {
    return word == "discover" || word == "config" || word == "send" || word == "adapters";
  };
  if (!arguments.empty() && !arguments.front().starts_with('-') && !is_command(arguments.front()))
    return UsageFrom("'" + arguments.front() + "' is not a command. The commands are discover, config, send and adapters.");

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    tool.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return Command{ShowText{HelpOf(tool)}};
  } catch (const CLI::CallForAllHelp&) {
    return Command{ShowText{HelpOf(tool)}};
  } catch (const CLI::CallForVersion& version) {
    return Command{ShowText{std::string(version.what()) + "\n"}};
  } catch (const CLI::Error& error) {  // every parse failure, so nothing escapes to the caller
    return UsageFrom(error.what());
  }

  for (const DiscoveryFlags* flags : {&discover_flags, &config_flags, &send_flags})
    if (!std::isfinite(flags->deadline_seconds))  // NaN slips through a range check
      return UsageFrom("--deadline takes a number of seconds from 0.001 to 3600.");

  if (discover->parsed()) {
    return Command{DiscoverCommand{discover_flags.Options(), json ? Format::json : csv ? Format::csv : Format::table}};
  }
  if (adapters->parsed()) return Command{AdaptersCommand{adapters_json}};

  const bool configuring = config->parsed();
  const std::string& mac_text = configuring ? config_mac : send_mac;
  const auto mac = ParseMacArgument(mac_text);
  if (!mac) return UsageFrom("'" + mac_text + "' is not a MAC address. Write it as 00.1A.2B.3C.4D.5E.");

  if (configuring) {
    const std::pair<SettingsField, const std::optional<std::string>*> given[] = {
        {SettingsField::ip, &ip}, {SettingsField::netmask, &netmask}, {SettingsField::gateway, &gateway},
        {SettingsField::dns, &dns}};
    for (const auto& [field, text] : given) {
      if (!*text) continue;
      const auto checked = ValidateField(field, Utf16FromUtf8(**text));
      if (const auto* problem = std::get_if<SettingsProblem>(&checked)) return UsageError{DescribeProblem(*problem)};
    }
    return Command{ConfigCommand{config_flags.Options(), *mac, ip, netmask, gateway, dns, verify}};
  }

  const bool printable = std::all_of(command_text.begin(), command_text.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
  if (command_text.size() != 4 || !printable)
    return UsageError{"Command Length of 4 characters! The command must be exactly four printable ASCII characters."};
  return Command{SendCommand{send_flags.Options(), *mac, std::u16string(command_text.begin(), command_text.end()),
                             show_answer}};
}

}  // namespace nimbrel::cli
