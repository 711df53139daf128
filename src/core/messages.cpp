#include "core/messages.h"

#include <algorithm>

namespace nimbrel {

namespace {

template <std::size_t N, std::size_t M>
void Put(std::array<std::uint8_t, N>& message, std::size_t offset, const std::array<std::uint8_t, M>& field) {
  static_assert(M <= N);
  std::copy(field.begin(), field.end(), message.begin() + static_cast<std::ptrdiff_t>(offset));
}

template <std::size_t M>
std::array<std::uint8_t, M> Take(const std::array<std::uint8_t, announcement_size>& bytes, std::size_t offset) {
  std::array<std::uint8_t, M> field{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), M, field.begin());
  return field;
}

constexpr std::array<std::uint8_t, 4> search_tag{'S', 'R', 'C', 'H'};
constexpr std::array<std::uint8_t, 4> configuration_tag{'S', 'E', 'T', 'Q'};
constexpr std::u16string_view configuration_reply_tag = u"SETR";

}  // namespace

SearchRequest BuildSearchRequest() { return search_tag; }

ConfigurationRequest BuildConfigurationRequest(const IPv4Bytes& gateway, const IPv4Bytes& netmask,
                                               const IPv4Bytes& ip, const MacBytes& mac,
                                               const IPv4Bytes& dns) {
  ConfigurationRequest message{};
  Put(message, 0, configuration_tag);
  Put(message, 4, gateway);
  Put(message, 8, netmask);
  Put(message, 12, ip);
  Put(message, 16, mac);
  Put(message, 22, dns);
  return message;
}

CommandMessage BuildCommandMessage(std::u16string_view command, const IPv4Bytes& gateway,
                                   const IPv4Bytes& netmask, const IPv4Bytes& ip,
                                   const MacBytes& mac) {
  CommandMessage message{};
  for (std::size_t i = 0; i < 4 && i < command.size(); ++i)
    message[i] = static_cast<std::uint8_t>(command[i] & 0xFF);
  Put(message, 4, gateway);
  Put(message, 8, netmask);
  Put(message, 12, ip);
  Put(message, 16, mac);
  return message;
}

Announcement DecodeAnnouncement(std::span<const std::uint8_t> datagram) {
  std::array<std::uint8_t, announcement_size> bytes{};
  std::copy_n(datagram.begin(), std::min(datagram.size(), announcement_size), bytes.begin());
  Announcement announcement;
  announcement.id = Take<4>(bytes, 0);
  announcement.gateway = Take<4>(bytes, 4);
  announcement.netmask = Take<4>(bytes, 8);
  announcement.ip = Take<4>(bytes, 12);
  announcement.mac = Take<6>(bytes, 16);
  announcement.dns = Take<4>(bytes, 22);
  return announcement;
}

AnnouncementTexts FormatAnnouncement(const Announcement& announcement) {
  return {FormatId(announcement.id),      FormatIPv4(announcement.ip),
          FormatIPv4(announcement.gateway), FormatIPv4(announcement.netmask),
          FormatIPv4(announcement.dns),     FormatMac(announcement.mac)};
}

void StoreAnnouncement(TDevice& device, const Announcement& announcement, const AnnouncementTexts& texts) {
  device.mac = announcement.mac;
  device.id.Store(texts.id);
  device.ip.Store(texts.ip);
  device.gateway.Store(texts.gateway);
  device.netmask.Store(texts.netmask);
  device.mac_text.Store(texts.mac);
  device.dns_addr.Store(texts.dns);
}

bool IsConfigurationReply(std::u16string_view answer) { return answer.starts_with(configuration_reply_tag); }

}  // namespace nimbrel
