#include "core/address_validation.h"

#include <cstdint>
#include <cstdio>
#include <utility>

namespace nimbrel {

std::optional<IPv4Bytes> ParseDottedDecimal(std::u16string_view text) {
  IPv4Bytes bytes{};
  std::size_t part = 0;
  std::size_t digits = 0;
  unsigned value = 0;
  for (const char16_t c : text) {
    if (c == u'.') {
      if (digits == 0 || part == 3) return std::nullopt;
      bytes[part++] = static_cast<std::uint8_t>(value);
      digits = 0;
      value = 0;
    } else if (c >= u'0' && c <= u'9') {
      value = value * 10 + static_cast<unsigned>(c - u'0');
      if (value > 255) return std::nullopt;
      ++digits;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || part != 3) return std::nullopt;
  bytes[3] = static_cast<std::uint8_t>(value);
  return bytes;
}

bool IsContiguousMask(const IPv4Bytes& mask) {
  const std::uint32_t bits = (std::uint32_t{mask[0]} << 24) | (std::uint32_t{mask[1]} << 16) |
                             (std::uint32_t{mask[2]} << 8) | std::uint32_t{mask[3]};
  // The inverted mask of a contiguous one is 2^n - 1: adding one clears it.
  const std::uint32_t host_bits = ~bits;
  return (host_bits & (host_bits + 1)) == 0;
}

std::variant<IPv4Bytes, SettingsProblem> ValidateField(SettingsField field, std::u16string_view text) {
  const std::optional<IPv4Bytes> bytes = ParseDottedDecimal(text);
  if (!bytes) return SettingsProblem{field, SettingsFault::not_dotted_decimal, std::u16string(text)};
  if (field == SettingsField::netmask && !IsContiguousMask(*bytes))
    return SettingsProblem{field, SettingsFault::mask_not_contiguous, std::u16string(text)};
  if (field == SettingsField::ip && (*bytes == IPv4Bytes{0, 0, 0, 0} || *bytes == IPv4Bytes{255, 255, 255, 255}))
    return SettingsProblem{field, SettingsFault::address_not_usable, std::u16string(text)};
  return *bytes;
}

std::variant<IPv4Settings, SettingsProblem> ValidateSettings(const SettingsTexts& texts) {
  IPv4Settings settings;
  const struct {
    SettingsField field;
    const std::u16string& text;
    IPv4Bytes& bytes;
  } fields[] = {{SettingsField::ip, texts.ip, settings.ip},
                {SettingsField::netmask, texts.netmask, settings.netmask},
                {SettingsField::gateway, texts.gateway, settings.gateway},
                {SettingsField::dns, texts.dns, settings.dns}};
  for (const auto& [field, text, bytes] : fields) {
    auto checked = ValidateField(field, text);
    if (auto* problem = std::get_if<SettingsProblem>(&checked)) return std::move(*problem);
    bytes = std::get<IPv4Bytes>(checked);
  }
  return settings;
}

std::string_view SettingsFieldName(SettingsField field) {
  switch (field) {
    case SettingsField::ip: return "IP Address";
    case SettingsField::netmask: return "Network mask";
    case SettingsField::gateway: return "Gateway";
    case SettingsField::dns: return "DNS";
  }
  return "Address";
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// The text as UTF-8 fit to quote: control characters escaped, a lone
// surrogate shown as U+FFFD.
std::string Quotable(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {  // C0 and C1 controls: a terminal acts on both
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(c));
      out += escaped;
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace

std::string DescribeProblem(const SettingsProblem& problem) {
  std::string sentence(SettingsFieldName(problem.field));
  sentence += " \"" + Quotable(problem.text) + "\" ";
  switch (problem.fault) {
    case SettingsFault::not_dotted_decimal:
      sentence += "is not an IPv4 address. Type four numbers from 0 to 255 separated by dots, such as 192.168.1.20.";
      break;
    case SettingsFault::mask_not_contiguous:
      sentence += "is not a network mask. Its one bits must run unbroken from the left, such as 255.255.255.0.";
      break;
    case SettingsFault::address_not_usable:
      sentence += "cannot be a station's address. Type the address the station is to have, such as 192.168.1.20.";
      break;
  }
  return sentence;
}

}  // namespace nimbrel
