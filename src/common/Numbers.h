#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pim {

// Reads an integer the way the settings file stores it: signed decimal, or
// hexadecimal after "$" (sign allowed before it) or "0x"/"0X" (only when the text
// is longer than two characters). Hexadecimal covers 32 bits, so "$FFFFFFFF" is -1.
// Anything else, and any decimal value outside 32 bits, is unreadable.
std::optional<int32_t> ParseInteger(std::string_view text);

// The value of one hexadecimal digit; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

inline int32_t ReadInteger(std::string_view text, int32_t fallback) {
    return ParseInteger(text).value_or(fallback);
}

} // namespace pim
