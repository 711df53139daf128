#include "cli/commands.h"

#include <string>

#include "cli/discovery.h"
#include "cli/output.h"
#include "cli/terminal_text.h"
#include "core/address_validation.h"
#include "core/host_adapters.h"

namespace nimbrel::cli {

namespace {

constexpr const char* prefix = "nimbrel: ";

std::string Milliseconds(const DiscoveryOptions& options) { return std::to_string(options.wait.count()) + " ms"; }

// Runs a discovery and says on err when it was cut short.
DiscoveryResult DiscoverAndWarn(const DiscoveryOptions& options, std::ostream& err) {
  DiscoveryResult result = Discover(options);
  if (result.ended_by_deadline)
    err << prefix << "warning: the search reached its deadline of " << options.deadline.count() << " s; the "
        << result.stations.size() << " station(s) received so far are listed.\n";
  if (result.list_full)
    err << prefix << "warning: more than " << max_listed_stations
        << " different stations answered; only the first ones are listed.\n";
  return result;
}

const Announcement* FindOrReport(const DiscoveryResult& result, const MacBytes& mac, std::ostream& err) {
  const Announcement* station = FindStation(result, mac);
  if (!station) err << prefix << "no station with MAC " << MacText(mac) << " answered the search.\n";
  return station;
}

int RunDiscover(const DiscoverCommand& command, std::ostream& out, std::ostream& err) {
  const DiscoveryResult result = DiscoverAndWarn(command.discovery, err);
  WriteStations(out, result.stations, command.format);
  return exit_ok;
}

std::u16string GivenOr(const std::optional<std::string>& given, const IPv4Bytes& current) {
  return given ? Utf16FromUtf8(*given) : FormatIPv4(current);
}

std::string_view OptionOf(SettingsField field) {
  switch (field) {
    case SettingsField::ip: return "--ip";
    case SettingsField::netmask: return "--mask";
    case SettingsField::gateway: return "--gateway";
    case SettingsField::dns: return "--dns";
  }
  return "";
}

int RunConfig(const ConfigCommand& command, std::ostream& out, std::ostream& err) {
  const DiscoveryResult found = DiscoverAndWarn(command.discovery, err);
  const Announcement* station = FindOrReport(found, command.mac, err);
  if (!station) return exit_no_acknowledgement;

  const auto checked = ValidateSettings({GivenOr(command.ip, station->ip), GivenOr(command.netmask, station->netmask),
                                         GivenOr(command.gateway, station->gateway), GivenOr(command.dns, station->dns)});
  if (const auto* problem = std::get_if<SettingsProblem>(&checked)) {
    // Only a setting kept from the station can fail here: the given ones were checked before.
    err << prefix << "the station's current " << DescribeProblem(*problem) << " Give a new one with "
        << OptionOf(problem->field) << ".\n";
    return exit_usage;
  }
  const IPv4Settings& settings = std::get<IPv4Settings>(checked);
  const auto request =
      BuildConfigurationRequest(settings.gateway, settings.netmask, settings.ip, command.mac, settings.dns);
  const auto answer = BroadcastAndReceive(request, SettingsFor(command.discovery));
  if (!IsConfigurationReply(DecodeAnswerText(answer))) {
    if (answer.empty()) {
      err << prefix << "Error. The station " << MacText(command.mac) << " did not answer within "
          << Milliseconds(command.discovery) << ".\n";
    } else {
      err << prefix << "Error. The answer does not begin with \"SETR\": "
          << EscapeBytes(std::string_view(reinterpret_cast<const char*>(answer.data()), answer.size())) << "\n";
    }
    return exit_no_acknowledgement;
  }
  out << "Successful.\n";
  if (!command.verify) return exit_ok;

  const DiscoveryResult after = DiscoverAndWarn(command.discovery, err);
  const Announcement* now = FindOrReport(after, command.mac, err);
  if (!now) return exit_no_acknowledgement;
  const IPv4Settings announced{now->ip, now->netmask, now->gateway, now->dns};
  if (announced != settings) {
    err << prefix << "the station acknowledged but announces "
        << DescribeSettings(now->ip, now->netmask, now->gateway, now->dns) << " instead of "
        << DescribeSettings(settings.ip, settings.netmask, settings.gateway, settings.dns) << ".\n";
    return exit_no_acknowledgement;
  }
  out << "Verified: " << DescribeSettings(now->ip, now->netmask, now->gateway, now->dns) << ".\n";
  return exit_ok;
}

int RunSend(const SendCommand& command, std::ostream& out, std::ostream& err) {
  const DiscoveryResult found = DiscoverAndWarn(command.discovery, err);
  const Announcement* station = FindOrReport(found, command.mac, err);
  if (!station) return exit_no_acknowledgement;
  const auto message =
      BuildCommandMessage(command.command, station->gateway, station->netmask, station->ip, station->mac);
  const auto answer = BroadcastAndReceive(message, SettingsFor(command.discovery));
  out << "Successful.\n";
  if (command.show_answer) {
    if (answer.empty()) {
      err << prefix << "no answer within " << Milliseconds(command.discovery) << ".\n";
    } else {
      WriteAnswer(out, answer);
    }
  }
  return exit_ok;
}

int RunAdapters(const AdaptersCommand& command, std::ostream& out) {
  WriteAdapters(out, ReadHostAdapters(), command.json);
  return exit_ok;
}

}  // namespace

int RunCommand(const Command& command, std::ostream& out, std::ostream& err) {
  try {
    if (const auto* shown = std::get_if<ShowText>(&command)) {
      out << shown->text;
      return exit_ok;
    }
    if (const auto* discover = std::get_if<DiscoverCommand>(&command)) return RunDiscover(*discover, out, err);
    if (const auto* config = std::get_if<ConfigCommand>(&command)) return RunConfig(*config, out, err);
    if (const auto* send = std::get_if<SendCommand>(&command)) return RunSend(*send, out, err);
    return RunAdapters(std::get<AdaptersCommand>(command), out);
  } catch (const NetworkError& failure) {
    err << prefix << failure.what() << '\n';
    return exit_network;
  } catch (const std::exception& failure) {
    err << prefix << failure.what() << '\n';
    return exit_network;
  }
}

}  // namespace nimbrel::cli
