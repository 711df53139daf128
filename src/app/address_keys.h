// The rule for what may be typed into an address box: digits, ".", and the
// control characters of editing (copy, cut, paste, Backspace, Tab).
#pragma once

#include <QKeyEvent>

#include <cstdint>
#include <optional>

namespace nimbrel::app {

// Codes 0 to 63 that pass, one bit per code: 3 (copy), 8 (Backspace),
// 9 (Tab), 22 (paste), 24 (cut), "." and "0" to "9".
inline constexpr std::uint64_t address_key_set = 0x03FF400001400308;

constexpr bool AddressKeyPasses(char16_t code) { return code < 64 && ((address_key_set >> code) & 1u) != 0; }

// The character a key press types, as the keyboard spells it: Ctrl with a
// letter gives its control code (Ctrl+A is 1), Enter 13, Escape 27,
// Backspace 8, Tab 9. Keys that type nothing (arrows, Delete, Home, End) give
// none.
std::optional<char16_t> TypedCharacter(const QKeyEvent& event);

}  // namespace nimbrel::app
