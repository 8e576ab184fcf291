// Case-blind searching over CP932 byte strings without making an upper-cased copy.
#pragma once

#include <cstddef>
#include <string_view>

namespace pim {

// First position at or after `from` where `upperPattern` (ASCII letters in upper
// case) occurs in `text`, ASCII letters compared without case; npos if none.
// Linear in the text for patterns that hold at least one non-letter.
size_t FindIgnoreAsciiCase(std::string_view text, std::string_view upperPattern, size_t from = 0);

} // namespace pim
