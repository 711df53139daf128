#include "options.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace nimbrel::sim {

namespace {

constexpr std::uint32_t max_stations = 65535;  // k must fit the MAC's last two bytes
constexpr std::uint32_t max_milliseconds = 3'600'000;
constexpr std::size_t max_datagram = 65507;  // the largest UDP payload over IPv4
constexpr std::uint32_t max_flood = 1'000'000;

constexpr std::string_view help_text = R"(Usage: nimbrel-sim [OPTION]...
Simulates Nimbrel weather stations on a UDP network. All stations share one
UDP socket bound to 0.0.0.0 on the device port, and answer the tool's search
and configuration requests. Prints "nimbrel-sim: ready" once the socket is
bound, and runs until SIGTERM or SIGINT, or for --duration seconds.
A value follows its option as the next word or after '=' (--flood=5).

Stations:
  --stations N          N generated stations (default 3 when no --station is
                        given). Station k (from 1): id "S" and k mod 1000 in
                        three digits, MAC 02.4E.42.00 and k in two bytes, IP
                        10.0.0.100 + k, gateway 10.0.0.1, mask 255.0.0.0, DNS
                        10.0.0.1. With --station, the generated ones follow
                        the explicit ones and are numbered on from them.
  --station ID,IP,GATEWAY,MASK,DNS,MAC
                        one explicit station (repeatable): ID exactly 4 ASCII
                        characters, addresses a.b.c.d, MAC six hex pairs
                        separated by '.', ':' or '-'.

Files and network:
  --log FILE            every datagram received, one JSON line each
  --state FILE          the stations, rewritten after every change
  --duration SECONDS    stop after this long (a decimal number)
  --port PORT           device port to listen on (default 1444)
  --tool-port PORT      port answers go to (default 8444)
  --reply-to broadcast|sender
                        answers go to 255.255.255.255:TOOL-PORT (default), or
                        to the address and port the request came from

Answering a search (per request; the options combine):
  --delay MS            wait before the first datagram
  --pause MS            wait between datagrams (default 0: a burst)
  --extra-bytes N       append N bytes 0xEE to every announcement
  --twice               send each station's announcement twice in a row
  --oversize-after K    a 600-byte datagram of 0x4F after K announcements
  --empty-after K       an empty datagram after K announcements
  --short-after K       after K announcements, the first --short-length bytes
                        of the announcement of station (K mod N) + 1
  --short-length L      length of that short datagram, 0 to 26 (default 10)
  --flood N             then N more announcements, cycling over the stations,
                        with no pause
  K counts the announcement datagrams of this answer so far and may be 0.
  When several odd datagrams fall on the same K they go out in the order
  oversize, empty, short; one whose K is never reached is not sent.

Answering a configuration request:
  --config-reply normal|none|lower|short
                        normal: "SETR" and bytes 4-25 of the new settings in
                        announcement layout (26 bytes); lower: "setr" and the
                        same; short: the 3 bytes "SET"; none: no reply
  --config-delay MS     wait before the reply (default 0)

  --help                show this text and exit

Messages (UDP, addresses first octet first):
  search request        "SRCH" (53 52 43 48); more bytes are ignored
  announcement          26 bytes: 0-3 id, 4-7 gateway, 8-11 netmask, 12-15 ip,
                        16-21 MAC, 22-25 DNS
  configuration request at least 26 bytes: 0-3 "SETQ" (53 45 54 51), 4-7
                        gateway, 8-11 netmask, 12-15 ip, 16-21 MAC of the
                        station to configure, 22-25 DNS; the station with
                        that MAC takes the settings and replies
                        (--config-reply); other MACs are ignored
  command message       exactly 22 bytes, neither SRCH nor SETQ: 0-3 command,
                        4-7 gateway, 8-11 netmask, 12-15 ip, 16-21 MAC; the
                        station with that MAC records the command; no reply
  Stations sharing a MAC all act on it. Anything else is only logged.

Log file (--log), one line per datagram received, written at once:
  {"time":1700000000.123,"from":"192.168.1.10:8444","length":4,"hex":"53524348"}
  time: Unix seconds with milliseconds; hex: every byte, lower-case.

State file (--state), one line per station in station order, written at
start and after every change through FILE.tmp and a rename:
  {"id":"S001","mac":"02.4E.42.00.00.01","ip":"10.0.0.101","gateway":"10.0.0.1",
   "netmask":"255.0.0.0","dns":"10.0.0.1","commands":["52454254"]}
  (one line in the file) commands: the 4 command bytes in lower-case hex, in
  the order received. Id characters outside printable ASCII read \u00XX.

Exit status: 0 when stopped by signal or --duration, 1 when the socket or a
file cannot be used, 2 for a bad command line.
)";

template <typename Number>
Number ParseNumber(std::string_view option, std::string_view text, Number low, Number high) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
    throw UsageError(std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + std::string(text) + "'");
  return value;
}

double ParseSeconds(std::string_view option, std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value) || value <= 0)
    throw UsageError(std::string(option) + " takes a number of seconds above 0, not '" + std::string(text) + "'");
  return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

Station ParseStation(std::string_view text) {
  const auto bad = [&](const std::string& why) {
    return UsageError("--station '" + std::string(text) + "': " + why +
                      " (expected ID,IP,GATEWAY,MASK,DNS,MAC)");
  };
  // The id is taken by length, so it may hold a comma itself.
  if (text.size() < 5 || text[4] != ',') throw bad("ID must be exactly 4 characters");
  Station station;
  for (std::size_t i = 0; i < station.id.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) throw bad("ID must be ASCII");
    station.id[i] = c;
  }
  const auto fields = Split(text.substr(5), ',');
  if (fields.size() != 5) throw bad("wrong number of fields");
  const std::pair<IPv4Bytes*, const char*> addresses[] = {
      {&station.ip, "IP"}, {&station.gateway, "GATEWAY"}, {&station.netmask, "MASK"}, {&station.dns, "DNS"}};
  for (std::size_t i = 0; i < std::size(addresses); ++i) {
    const auto address = ParseDottedQuad(fields[i]);
    if (!address) throw bad(std::string(addresses[i].second) + " '" + std::string(fields[i]) + "' is not a.b.c.d");
    *addresses[i].first = *address;
  }
  const auto mac = ParseMacText(fields[4]);
  if (!mac) throw bad("MAC '" + std::string(fields[4]) + "' is not six hex pairs");
  station.mac = *mac;
  return station;
}

template <typename Choice>
Choice ParseChoice(std::string_view option, std::string_view text,
                   std::initializer_list<std::pair<std::string_view, Choice>> choices) {
  std::string names;
  for (const auto& [name, choice] : choices) {
    if (name == text) return choice;
    if (!names.empty()) names += '|';
    names += name;
  }
  throw UsageError(std::string(option) + " takes " + names + ", not '" + std::string(text) + "'");
}

using Setter = std::function<void(Options&, std::string_view option, std::string_view value)>;

const std::map<std::string_view, Setter>& ValueOptions() {
  static const std::map<std::string_view, Setter> setters = {
      {"--stations", [](Options& o, auto n, auto v) { o.generated_count = ParseNumber(n, v, 0u, max_stations); }},
      {"--station", [](Options& o, auto, auto v) { o.explicit_stations.push_back(ParseStation(v)); }},
      {"--log", [](Options& o, auto, auto v) { o.log_path = v; }},
      {"--state", [](Options& o, auto, auto v) { o.state_path = v; }},
      {"--duration", [](Options& o, auto n, auto v) { o.duration_seconds = ParseSeconds(n, v); }},
      {"--port", [](Options& o, auto n, auto v) { o.port = ParseNumber<std::uint16_t>(n, v, 1, 65535); }},
      {"--tool-port", [](Options& o, auto n, auto v) { o.tool_port = ParseNumber<std::uint16_t>(n, v, 1, 65535); }},
      {"--reply-to",
       [](Options& o, auto n, auto v) {
         o.reply_to = ParseChoice<ReplyTo>(n, v, {{"broadcast", ReplyTo::broadcast}, {"sender", ReplyTo::sender}});
       }},
      {"--delay", [](Options& o, auto n, auto v) { o.delay_ms = ParseNumber(n, v, 0u, max_milliseconds); }},
      {"--pause", [](Options& o, auto n, auto v) { o.pause_ms = ParseNumber(n, v, 0u, max_milliseconds); }},
      {"--extra-bytes",
       [](Options& o, auto n, auto v) {
         o.extra_bytes = ParseNumber<std::size_t>(n, v, 0, max_datagram - announcement_size);
       }},
      {"--oversize-after", [](Options& o, auto n, auto v) { o.oversize_after = ParseNumber(n, v, 0ul, 0xFFFFFFFFul); }},
      {"--empty-after", [](Options& o, auto n, auto v) { o.empty_after = ParseNumber(n, v, 0ul, 0xFFFFFFFFul); }},
      {"--short-after", [](Options& o, auto n, auto v) { o.short_after = ParseNumber(n, v, 0ul, 0xFFFFFFFFul); }},
      {"--short-length",
       [](Options& o, auto n, auto v) { o.short_length = ParseNumber<std::size_t>(n, v, 0, announcement_size); }},
      {"--flood", [](Options& o, auto n, auto v) { o.flood = ParseNumber(n, v, 0u, max_flood); }},
      {"--config-reply",
       [](Options& o, auto n, auto v) {
         o.config_reply = ParseChoice<ConfigReply>(n, v,
                                      {{"normal", ConfigReply::normal},
                                       {"none", ConfigReply::none},
                                       {"lower", ConfigReply::lower},
                                       {"short", ConfigReply::short_tag}});
       }},
      {"--config-delay",
       [](Options& o, auto n, auto v) { o.config_delay_ms = ParseNumber(n, v, 0u, max_milliseconds); }},
  };
  return setters;
}

}  // namespace

Options ParseOptions(std::span<const std::string_view> arguments) {
  Options options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string_view name = arguments[i];
    std::optional<std::string_view> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    if (name == "--help" || name == "--twice") {
      if (value) throw UsageError(std::string(name) + " takes no value");
      (name == "--help" ? options.help : options.twice) = true;
      continue;
    }
    const auto setter = ValueOptions().find(name);
    if (setter == ValueOptions().end())
      throw UsageError(name.starts_with("-") ? "unknown option '" + std::string(name) + "'"
                                             : "unexpected argument '" + std::string(name) + "'");
    if (!value) {
      if (i + 1 == arguments.size()) throw UsageError(std::string(name) + " needs a value");
      value = arguments[++i];
    }
    setter->second(options, name, *value);
  }
  return options;
}

std::vector<Station> BuildStations(const Options& options) {
  std::vector<Station> stations = options.explicit_stations;
  const std::uint32_t generated = options.generated_count.value_or(stations.empty() ? 3 : 0);
  const auto first = static_cast<std::uint32_t>(stations.size()) + 1;
  for (std::uint32_t k = first; k < first + generated; ++k) stations.push_back(GeneratedStation(k));
  return stations;
}

std::string_view HelpText() { return help_text; }

}  // namespace nimbrel::sim
