// The device record, its two fixed tables and the text forms of addresses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrel {

using IPv4Bytes = std::array<std::uint8_t, 4>;
using MacBytes = std::array<std::uint8_t, 6>;

// Text in the system's 8-bit code page, which is ISO-8859-1 here: every
// character up to U+00FF maps to its own byte, anything else becomes '?'.
std::string ToSystemCodePage(std::u16string_view text);
std::u16string FromSystemCodePage(std::string_view bytes);

// A length byte and room for 25 eight-bit characters. Storing keeps the
// first 25 characters and never fails.
class ShortText {
 public:
  static constexpr std::size_t capacity = 25;

  void Store(std::u16string_view text);
  void StoreBytes(std::string_view bytes);  // already 8-bit: copied as is
  std::u16string Read() const;
  std::string_view Bytes() const { return {chars_.data(), length_}; }
  std::size_t Length() const { return length_; }
  bool Empty() const { return length_ == 0; }

  friend bool operator==(const ShortText&, const ShortText&) = default;

 private:
  std::uint8_t length_ = 0;
  std::array<char, capacity> chars_{};
};

struct TDevice {
  ShortText id;
  ShortText ip;
  ShortText gateway;
  ShortText mac_text;
  MacBytes mac{};
  ShortText netmask;
  ShortText dns_addr;

  friend bool operator==(const TDevice&, const TDevice&) = default;
};

// 100 records indexed 1 to 100. Any other index throws std::out_of_range,
// so nothing can read or write outside the table.
class DeviceTable {
 public:
  static constexpr int first_index = 1;
  static constexpr int capacity = 100;

  TDevice& operator[](int index);
  const TDevice& operator[](int index) const;

 private:
  static std::size_t Slot(int index);
  std::array<TDevice, capacity> entries_{};
};

extern DeviceTable devices;
extern std::int32_t device_count;
extern DeviceTable adapters;

std::u16string FormatIPv4(const IPv4Bytes& address);
std::u16string FormatMac(const MacBytes& mac);
std::u16string FormatId(const std::array<std::uint8_t, 4>& id);

// inet_addr rules: a.b.c.d, a.b.c, a.b or a, each part decimal, octal
// (leading 0) or hexadecimal (leading 0x). A rejected text, the empty one
// included, gives FF FF FF FF, exactly as inet_addr's failure value does.
// The text ends at its first NUL character, where inet_addr stops reading.
IPv4Bytes ParseIPv4(std::u16string_view text);

}  // namespace nimbrel
