#include "core/device.h"

#include <algorithm>
#include <stdexcept>

namespace nimbrel {

DeviceTable devices;
std::int32_t device_count = 0;
DeviceTable adapters;

std::string ToSystemCodePage(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (char16_t c : text) bytes.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return bytes;
}

std::u16string FromSystemCodePage(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char b : bytes) text.push_back(static_cast<char16_t>(static_cast<unsigned char>(b)));
  return text;
}

void ShortText::Store(std::u16string_view text) {
  // Each UTF-16 unit is one 8-bit character, so cutting first converts less.
  StoreBytes(ToSystemCodePage(text.substr(0, std::min(text.size(), capacity))));
}

void ShortText::StoreBytes(std::string_view bytes) {
  length_ = static_cast<std::uint8_t>(std::min(bytes.size(), capacity));
  std::copy_n(bytes.begin(), length_, chars_.begin());
  std::fill(chars_.begin() + length_, chars_.end(), '\0');
}

std::u16string ShortText::Read() const { return FromSystemCodePage(Bytes()); }

std::size_t DeviceTable::Slot(int index) {
  if (index < first_index || index >= first_index + capacity)
    throw std::out_of_range("Device table index " + std::to_string(index) +
                            " is outside 1 to " + std::to_string(capacity) + ".");
  return static_cast<std::size_t>(index - first_index);
}

TDevice& DeviceTable::operator[](int index) { return entries_[Slot(index)]; }
const TDevice& DeviceTable::operator[](int index) const { return entries_[Slot(index)]; }

std::u16string FormatIPv4(const IPv4Bytes& address) {
  std::u16string text;
  for (std::size_t i = 0; i < address.size(); ++i) {
    if (i > 0) text.push_back(u'.');
    for (char digit : std::to_string(address[i])) text.push_back(static_cast<char16_t>(digit));
  }
  return text;
}

std::u16string FormatMac(const MacBytes& mac) {
  static constexpr char16_t digits[] = u"0123456789ABCDEF";
  std::u16string text;
  for (std::size_t i = 0; i < mac.size(); ++i) {
    if (i > 0) text.push_back(u'.');
    text.push_back(digits[mac[i] >> 4]);
    text.push_back(digits[mac[i] & 0x0F]);
  }
  return text;
}

std::u16string FormatId(const std::array<std::uint8_t, 4>& id) {
  std::u16string text;
  for (std::uint8_t b : id) text.push_back(static_cast<char16_t>(b));
  return text;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// One part at `pos`: 0x/0X hexadecimal, leading 0 octal, else decimal; as
// strtoul with base 0 reads it, stopping at the first character that is not
// a digit of the base. Empty when no digit is there or the value exceeds 32 bits.
bool ReadPart(std::string_view text, std::size_t& pos, std::uint64_t& value) {
  if (pos >= text.size() || !IsDigit(text[pos])) return false;
  int base = 10;
  if (text[pos] == '0') {
    base = 8;
    if (pos + 2 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X') &&
        DigitValue(text[pos + 2]) < 16) {
      base = 16;
      pos += 2;
    }
  }
  value = 0;
  while (pos < text.size() && DigitValue(text[pos]) < base) {
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(DigitValue(text[pos]));
    if (value > 0xFFFFFFFFull) return false;
    ++pos;
  }
  return true;
}

}  // namespace

IPv4Bytes ParseIPv4(std::u16string_view text16) {
  static constexpr IPv4Bytes rejected{0xFF, 0xFF, 0xFF, 0xFF};
  // The 8-bit text reaches inet_addr as a C string, so a NUL character (one
  // pasted with the address, say) ends it, as white space ends the address.
  std::string text = ToSystemCodePage(text16);
  text.resize(std::min(text.size(), text.find('\0')));
  std::uint64_t parts[4]{};
  std::size_t count = 0;
  std::size_t pos = 0;
  while (true) {
    if (count == 4 || !ReadPart(text, pos, parts[count])) return rejected;
    ++count;
    if (pos < text.size() && text[pos] == '.') {
      if (count == 4 || parts[count - 1] > 0xFF) return rejected;
      ++pos;
      continue;
    }
    break;
  }
  // Like inet_addr, white space ends the address and what follows is ignored.
  if (pos < text.size() && !IsSpace(text[pos])) return rejected;

  static constexpr std::uint64_t last_part_limit[] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
  const std::uint64_t last = parts[count - 1];
  if (last > last_part_limit[count - 1]) return rejected;
  std::uint32_t value = static_cast<std::uint32_t>(last);
  for (std::size_t i = 0; i + 1 < count; ++i) value |= static_cast<std::uint32_t>(parts[i]) << (24 - 8 * i);
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace nimbrel
