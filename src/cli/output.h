// What nimbrel writes on standard output: stations and adapters as a table
// for a terminal, as JSON or as CSV, and a station's answer.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

#include "cli/command_line.h"
#include "core/host_adapters.h"
#include "core/messages.h"

namespace nimbrel::cli {

// Columns №, ID, IP, Gateway, NetMask, DNS, MAC Addr; JSON objects with
// id, ip, gateway, netmask, dns, mac; or CSV with a header row.
void WriteStations(std::ostream& out, const std::vector<Announcement>& stations, Format format);

// Columns Description, IP, NetMask, Gateway; or JSON objects with
// description, ip, netmask, gateway.
void WriteAdapters(std::ostream& out, const std::vector<HostAdapter>& adapters, bool json);

// "hex: 53 45 54 52" and "text: SETR", escaped for a terminal.
void WriteAnswer(std::ostream& out, std::span<const std::uint8_t> answer);

// The settings an announcement carries, for messages: "IP 10.0.0.101, mask
// 255.0.0.0, gateway 10.0.0.1, DNS 10.0.0.1".
std::string DescribeSettings(const IPv4Bytes& ip, const IPv4Bytes& netmask, const IPv4Bytes& gateway,
                             const IPv4Bytes& dns);

std::string MacText(const MacBytes& mac);

}  // namespace nimbrel::cli
