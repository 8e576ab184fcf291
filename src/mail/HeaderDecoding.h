// Turns a raw header value into CP932 text: MIME encoded words and raw
// ISO-2022-JP. Never fails: malformed input gives some text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pim {

std::string DecodeHeader(std::string_view value);
std::string DecodeBase64(std::string_view text);
std::string JisToSjis(std::string_view text);
std::string JisCharToSjis(uint8_t j1, uint8_t j2);

} // namespace pim
