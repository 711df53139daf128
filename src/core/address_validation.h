// What may be sent to a station as its new IPv4 settings. Nothing reaches the
// wire that the user did not type: each text must be exactly four decimal
// numbers 0 to 255 joined by dots, the mask contiguous, the address usable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/device.h"

namespace nimbrel {

// Four decimal numbers 0 to 255 separated by dots and nothing else, not even
// white space. Leading zeros are decimal, as a person reads them:
// "192.168.001.010" is 192.168.1.10.
std::optional<IPv4Bytes> ParseDottedDecimal(std::u16string_view text);

// One bits from the left, then only zero bits (0.0.0.0 and 255.255.255.255
// included).
bool IsContiguousMask(const IPv4Bytes& mask);

enum class SettingsField { ip, netmask, gateway, dns };

struct SettingsTexts {
  std::u16string ip;
  std::u16string netmask;
  std::u16string gateway;
  std::u16string dns;
};

struct IPv4Settings {
  IPv4Bytes ip{};
  IPv4Bytes netmask{};
  IPv4Bytes gateway{};
  IPv4Bytes dns{};

  friend bool operator==(const IPv4Settings&, const IPv4Settings&) = default;
};

enum class SettingsFault { not_dotted_decimal, mask_not_contiguous, address_not_usable };

struct SettingsProblem {
  SettingsField field;
  SettingsFault fault;
  std::u16string text;  // the field's text as given

  friend bool operator==(const SettingsProblem&, const SettingsProblem&) = default;
};

// One field on its own: its bytes, or what is wrong with its text. Lets a
// caller check the fields it was given before it learns the others.
std::variant<IPv4Bytes, SettingsProblem> ValidateField(SettingsField field, std::u16string_view text);

// The settings as bytes, or the first field at fault in the order address,
// mask, gateway, DNS.
std::variant<IPv4Settings, SettingsProblem> ValidateSettings(const SettingsTexts& texts);

// The field's name as the dialog labels it: "IP Address", "Network mask",
// "Gateway", "DNS".
std::string_view SettingsFieldName(SettingsField field);

// A sentence for the user (UTF-8) that names the field and quotes its text;
// control characters (C0 and C1) in the quote are shown as \xNN.
std::string DescribeProblem(const SettingsProblem& problem);

}  // namespace nimbrel
