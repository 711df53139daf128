// One simulated station: its settings, the commands it has been sent, and
// the forms it takes on the wire and in the state file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/device.h"
#include "core/messages.h"

namespace nimbrel::sim {

using StationId = std::array<std::uint8_t, 4>;
using Command = std::array<std::uint8_t, 4>;
using AnnouncementBytes = std::array<std::uint8_t, announcement_size>;

struct Station {
  StationId id{};
  IPv4Bytes ip{};
  IPv4Bytes gateway{};
  IPv4Bytes netmask{};
  IPv4Bytes dns{};
  MacBytes mac{};
  std::vector<Command> commands;
};

// Station k (counted from 1) of the generated ones: id "S" and k mod 1000 in
// three digits, MAC 02 4E 42 00 plus k in two bytes, address 10.0.0.100 + k.
Station GeneratedStation(std::uint32_t k);

// id, gateway, mask, address, MAC, DNS.
AnnouncementBytes EncodeAnnouncement(const Station& station);

// The station as one JSON object, without the line break.
std::string StateLine(const Station& station);

// Strict a.b.c.d with decimal parts 0 to 255; nothing else is accepted.
std::optional<IPv4Bytes> ParseDottedQuad(std::string_view text);
// Six hex pairs, each pair after the first preceded by '.', ':' or '-'.
std::optional<MacBytes> ParseMacText(std::string_view text);

std::string Hex(std::span<const std::uint8_t> bytes);

}  // namespace nimbrel::sim
