// The five datagram layouts: search request, device announcement,
// configuration request, configuration reply and command message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/device.h"

namespace nimbrel {

inline constexpr std::size_t search_request_size = 4;
inline constexpr std::size_t announcement_size = 26;
inline constexpr std::size_t configuration_request_size = 26;
inline constexpr std::size_t command_message_size = 22;

using SearchRequest = std::array<std::uint8_t, search_request_size>;
using ConfigurationRequest = std::array<std::uint8_t, configuration_request_size>;
using CommandMessage = std::array<std::uint8_t, command_message_size>;

// "SRCH"
SearchRequest BuildSearchRequest();

// "SETQ", gateway, mask, address, MAC of the device to configure, DNS.
ConfigurationRequest BuildConfigurationRequest(const IPv4Bytes& gateway, const IPv4Bytes& netmask,
                                               const IPv4Bytes& ip, const MacBytes& mac,
                                               const IPv4Bytes& dns);

// The low 8 bits of the first four characters of the command (zero where
// the text is shorter), then gateway, mask, address and MAC.
CommandMessage BuildCommandMessage(std::u16string_view command, const IPv4Bytes& gateway,
                                   const IPv4Bytes& netmask, const IPv4Bytes& ip,
                                   const MacBytes& mac);

struct Announcement {
  std::array<std::uint8_t, 4> id{};
  IPv4Bytes gateway{};
  IPv4Bytes netmask{};
  IPv4Bytes ip{};
  MacBytes mac{};
  IPv4Bytes dns{};
};

// Decodes the first 26 bytes of one datagram. Only the datagram's own bytes
// are used: a shorter datagram reads as zero where it ends, never as what an
// earlier datagram left in the receive buffer.
Announcement DecodeAnnouncement(std::span<const std::uint8_t> datagram);

// The texts an announcement is listed and stored with.
struct AnnouncementTexts {
  std::u16string id;
  std::u16string ip;
  std::u16string gateway;
  std::u16string netmask;
  std::u16string dns;
  std::u16string mac;
};
AnnouncementTexts FormatAnnouncement(const Announcement& announcement);

// Fills all seven fields of a device entry from one announcement.
void StoreAnnouncement(TDevice& device, const Announcement& announcement,
                       const AnnouncementTexts& texts);

// A text answer acknowledges a configuration request when its first four
// characters are exactly "SETR".
bool IsConfigurationReply(std::u16string_view answer);

}  // namespace nimbrel
