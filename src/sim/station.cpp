#include "station.h"

#include <algorithm>
#include <charconv>

namespace nimbrel::sim {

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

// The core formats for the windows, in UTF-16; these texts are plain ASCII.
std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

void AppendJsonString(std::string& out, std::span<const std::uint8_t> bytes) {
  out.push_back('"');
  for (std::uint8_t b : bytes) {
    if (b == '"' || b == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(b));
    } else if (b < 0x20 || b >= 0x7F) {
      out += "\\u00";
      out.push_back(hex_digits[b >> 4]);
      out.push_back(hex_digits[b & 0x0F]);
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
  out.push_back('"');
}

void AppendField(std::string& out, std::string_view key, const std::string& value) {
  out += ",\"";
  out += key;
  out += "\":\"";
  out += value;
  out += '"';
}

}  // namespace

Station GeneratedStation(std::uint32_t k) {
  Station station;
  const std::uint32_t number = k % 1000;
  station.id = {'S', static_cast<std::uint8_t>('0' + number / 100), static_cast<std::uint8_t>('0' + number / 10 % 10),
                static_cast<std::uint8_t>('0' + number % 10)};
  station.mac = {0x02, 0x4E, 0x42, 0x00, static_cast<std::uint8_t>(k >> 8), static_cast<std::uint8_t>(k)};
  const std::uint32_t address = 0x0A000064u + k;  // 10.0.0.100 + k
  station.ip = {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
  station.gateway = {10, 0, 0, 1};
  station.netmask = {255, 0, 0, 0};
  station.dns = {10, 0, 0, 1};
  return station;
}

AnnouncementBytes EncodeAnnouncement(const Station& station) {
  AnnouncementBytes bytes{};
  auto at = std::copy(station.id.begin(), station.id.end(), bytes.begin());
  at = std::copy(station.gateway.begin(), station.gateway.end(), at);
  at = std::copy(station.netmask.begin(), station.netmask.end(), at);
  at = std::copy(station.ip.begin(), station.ip.end(), at);
  at = std::copy(station.mac.begin(), station.mac.end(), at);
  std::copy(station.dns.begin(), station.dns.end(), at);
  return bytes;
}

std::string StateLine(const Station& station) {
  std::string line = "{\"id\":";
  AppendJsonString(line, station.id);
  AppendField(line, "mac", Narrow(FormatMac(station.mac)));
  AppendField(line, "ip", Narrow(FormatIPv4(station.ip)));
  AppendField(line, "gateway", Narrow(FormatIPv4(station.gateway)));
  AppendField(line, "netmask", Narrow(FormatIPv4(station.netmask)));
  AppendField(line, "dns", Narrow(FormatIPv4(station.dns)));
  line += ",\"commands\":[";
  for (std::size_t i = 0; i < station.commands.size(); ++i) {
    if (i > 0) line.push_back(',');
    line += '"' + Hex(station.commands[i]) + '"';
  }
  line += "]}";
  return line;
}

std::optional<IPv4Bytes> ParseDottedQuad(std::string_view text) {
  IPv4Bytes address{};
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (i > 0) {
      if (at == end || *at != '.') return std::nullopt;
      ++at;
    }
    // from_chars takes no sign, so only digits can start a part.
    unsigned part = 0;
    const auto [next, error] = std::from_chars(at, end, part);
    if (error != std::errc{} || next - at > 3 || part > 255) return std::nullopt;
    address[i] = static_cast<std::uint8_t>(part);
    at = next;
  }
  if (at != end) return std::nullopt;
  return address;
}

std::optional<MacBytes> ParseMacText(std::string_view text) {
  MacBytes mac{};
  if (text.size() != 17) return std::nullopt;
  for (std::size_t i = 0; i < mac.size(); ++i) {
    const std::size_t at = i * 3;
    if (i > 0 && text[at - 1] != '.' && text[at - 1] != ':' && text[at - 1] != '-') return std::nullopt;
    unsigned value = 0;
    const auto [next, error] = std::from_chars(text.data() + at, text.data() + at + 2, value, 16);
    if (error != std::errc{} || next != text.data() + at + 2) return std::nullopt;
    mac[i] = static_cast<std::uint8_t>(value);
  }
  return mac;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text.push_back(hex_digits[b >> 4]);
    text.push_back(hex_digits[b & 0x0F]);
  }
  return text;
}

}  // namespace nimbrel::sim
