// Helpers over byte strings. Text inside Pim is CP932 bytes, so these never
// look at characters, only at bytes.
#pragma once

#include <string>
#include <string_view>

namespace pim {

// Upper-cases a-z only; every other byte (CP932 trail bytes included) stays.
std::string AsciiUpper(std::string_view text);

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Every occurrence of `from`, scanned left to right without overlap, becomes `to`.
// One pass over the text, so a text full of matches costs no more than one without.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Strips spaces and tabs at both ends.
std::string_view TrimBlanks(std::string_view text);

} // namespace pim
