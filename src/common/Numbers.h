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

inline int32_t ReadInteger(std::string_view text, int32_t fallback) {
    return ParseInteger(text).value_or(fallback);
}

} // namespace pim
