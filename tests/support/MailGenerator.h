// Realistic mail for POP3 tests: RFC 822 messages with CR LF line ends and
// Japanese headers as MIME encoded words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pim::test {

// "=?ISO-2022-JP?B?...?=" words for `utf8`, folded onto continuation lines so
// that no line passes 76 characters. `used` is how much of the first line the
// header name already takes ("Subject: " is 9). Throws std::invalid_argument for
// text ISO-2022-JP cannot hold.
std::string EncodeIso2022JpHeader(std::string_view utf8, size_t used = 9);

// A plain text message. Header values are used as given (already encoded and
// folded); an empty one leaves its header out. Bare LF in `body` becomes CR LF.
std::string MakeMessage(std::string_view subject, std::string_view from, std::string_view date,
                        std::string_view body);

} // namespace pim::test
