// The reversible hex-key text transformation: a random key K (50..199) as two
// hex digits, then every byte as (b + K) mod 256 in two hex digits. Passwords in
// the settings file and scrambled LAN texts both use it.
#pragma once

#include <string>
#include <string_view>

namespace pim {

std::string HexKeyEncode(std::string_view text);
std::string HexKeyEncode(std::string_view text, int key);

// Empty for a text of at most two characters or with any group that is not
// hexadecimal. An odd-length text ends with a one-digit group.
std::string HexKeyDecode(std::string_view text);

inline std::string EncodePassword(std::string_view password) {
    return HexKeyEncode(password);
}
inline std::string DecodePassword(std::string_view text) {
    return HexKeyDecode(text);
}

} // namespace pim
