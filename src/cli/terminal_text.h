// Text on its way between the command line, the stations and a terminal.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace nimbrel::cli {

// UTF-8 to UTF-16; each byte of a malformed sequence becomes U+FFFD.
std::u16string Utf16FromUtf8(std::string_view text);

// Each byte taken as the character of the same code (ISO-8859-1), as UTF-8.
std::string Utf8FromLatin1(std::string_view bytes);

// UTF-16 whose characters are all below 128 (addresses), as bytes.
std::string AsciiFromUtf16(std::u16string_view text);

// Bytes fit for a terminal: printable ASCII as it is, '\' as "\\", every
// other byte as \xNN. Nothing the terminal could act on gets through.
std::string EscapeBytes(std::string_view bytes);

// "53 45 54 52"
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace nimbrel::cli
