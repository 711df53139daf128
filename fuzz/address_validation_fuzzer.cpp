// The strict address validator. Up to four texts, split at '\n' (16-bit
// units when the first byte is odd): a text is accepted exactly when
// inet_pton accepts it with leading zeros dropped from each part, each
// field check agrees, the settings check names the first field at fault, and
// the sentence for the user is UTF-8 without C0 or C1 control characters.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "core/address_validation.h"
#include "fuzz_check.h"

namespace {

using nimbrel::IPv4Bytes;

// Four parts of ASCII digits, leading zeros dropped; empty when the text is
// not of that shape.
std::string Normalised(const std::u16string& text) {
  std::vector<std::string> parts(1);
  for (char16_t c : text) {
    if (c == u'.') {
      parts.emplace_back();
    } else if (c >= u'0' && c <= u'9') {
      parts.back().push_back(static_cast<char>(c));
    } else {
      return {};
    }
  }
  if (parts.size() != 4) return {};
  std::string joined;
  for (auto& part : parts) {
    if (part.empty()) return {};
    const std::size_t first = part.find_first_not_of('0');
    joined += (joined.empty() ? "" : ".") + (first == std::string::npos ? "0" : part.substr(first));
  }
  return joined;
}

std::optional<IPv4Bytes> Reference(const std::u16string& text) {
  const std::string normalised = Normalised(text);
  in_addr address{};
  if (normalised.empty() || ::inet_pton(AF_INET, normalised.c_str(), &address) != 1) return std::nullopt;
  IPv4Bytes bytes;
  std::memcpy(bytes.data(), &address, 4);
  return bytes;
}

bool ValidUtf8WithoutControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    if (length == 1 && (lead < 0x20 || lead == 0x7F)) return false;
    if (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) return false;  // C1
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nimbrel;
  if (size == 0) return 0;
  const bool wide = data[0] & 1;
  std::vector<std::u16string> texts(1);
  for (std::size_t i = 1; i < size; i += wide ? 2 : 1) {
    const char16_t c = wide && i + 1 < size ? static_cast<char16_t>(data[i] | data[i + 1] << 8) : data[i];
    if (c == u'\n' && texts.size() < 4) texts.emplace_back();
    else texts.back().push_back(c);
  }
  texts.resize(4);

  for (const auto& text : texts) {
    const std::optional<IPv4Bytes> parsed = ParseDottedDecimal(text);
    FUZZ_CHECK(parsed == Reference(text), "ParseDottedDecimal disagrees with inet_pton");
    if (parsed) FUZZ_CHECK(ParseDottedDecimal(FormatIPv4(*parsed)) == parsed, "round trip");
    for (const auto field : {SettingsField::ip, SettingsField::netmask, SettingsField::gateway, SettingsField::dns}) {
      const auto checked = ValidateField(field, text);
      const auto* bytes = std::get_if<IPv4Bytes>(&checked);
      FUZZ_CHECK(!bytes || (parsed && *bytes == *parsed), "a field accepted that does not parse");
      if (!bytes) FUZZ_CHECK(std::get<SettingsProblem>(checked).text == text, "the problem quotes another text");
    }
  }

  const SettingsTexts settings{texts[0], texts[1], texts[2], texts[3]};
  const auto result = ValidateSettings(settings);
  if (const auto* problem = std::get_if<SettingsProblem>(&result)) {
    const std::string sentence = DescribeProblem(*problem);
    FUZZ_CHECK(ValidUtf8WithoutControls(sentence), "sentence: %s", sentence.c_str());
    // Every field before the one at fault passed.
    const std::u16string* in_order[] = {&settings.ip, &settings.netmask, &settings.gateway, &settings.dns};
    for (int f = 0; f < static_cast<int>(problem->field); ++f)
      FUZZ_CHECK(ParseDottedDecimal(*in_order[f]).has_value(), "an earlier field was at fault");
  } else {
    const auto& valid = std::get<IPv4Settings>(result);
    FUZZ_CHECK(IsContiguousMask(valid.netmask), "mask");
    FUZZ_CHECK(valid.ip != (IPv4Bytes{0, 0, 0, 0}) && valid.ip != (IPv4Bytes{255, 255, 255, 255}), "address");
    FUZZ_CHECK(Reference(settings.ip) == valid.ip && Reference(settings.dns) == valid.dns, "bytes as typed");
  }
  return 0;
}
