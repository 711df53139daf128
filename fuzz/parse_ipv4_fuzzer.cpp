// ParseIPv4 against glibc's inet_addr. The first byte chooses how the rest
// becomes text: 8-bit characters, or 16-bit units (little-endian pairs) that
// meet the code page conversion, where anything above U+00FF becomes '?'.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/device.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool wide = data[0] & 1;
  std::u16string text;
  std::string narrow;  // what inet_addr is given
  for (std::size_t i = 1; i < size; i += wide ? 2 : 1) {
    const char16_t c = wide && i + 1 < size ? static_cast<char16_t>(data[i] | data[i + 1] << 8) : data[i];
    text.push_back(c);
    narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  const in_addr_t expected = ::inet_addr(narrow.c_str());
  const nimbrel::IPv4Bytes got = nimbrel::ParseIPv4(text);
  std::uint8_t want[4];
  std::memcpy(want, &expected, 4);
  FUZZ_CHECK(std::memcmp(got.data(), want, 4) == 0, "ParseIPv4 gave %u.%u.%u.%u, inet_addr %u.%u.%u.%u", got[0],
             got[1], got[2], got[3], want[0], want[1], want[2], want[3]);
  return 0;
}
