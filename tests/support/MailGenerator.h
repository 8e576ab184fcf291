// Realistic mail for POP3 tests: RFC 822 messages with CR LF line ends,
// Japanese headers as MIME encoded words, large base64 attachments.
// Helpers throw std::invalid_argument for text ISO-2022-JP cannot hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pim::test {

// UTF-8 text as ISO-2022-JP bytes, ending in ASCII.
std::string ToIso2022Jp(std::string_view utf8);

// "=?ISO-2022-JP?B?...?=" words for `utf8`, folded onto continuation lines so
// that no line passes 76 characters. `used` is how much of the first line the
// header name already takes ("Subject: " is 9).
std::string EncodeIso2022JpHeader(std::string_view utf8, size_t used = 9);

// One "=?UTF-8?B?...?=" word.
std::string EncodeUtf8Word(std::string_view utf8);

// A plain text message. Header values are used as given (already encoded and
// folded); an empty one leaves its header out. Bare LF in `body` becomes CR LF.
std::string MakeMessage(std::string_view subject, std::string_view from, std::string_view date,
                        std::string_view body);

// A multipart message: `text` (ISO-2022-JP or ASCII bytes) and an attachment of
// `attachmentBytes` pseudo-random bytes from `seed`, base64 in 76-character lines.
std::string MakeAttachmentMessage(std::string_view subject, std::string_view from,
                                  std::string_view date, std::string_view text,
                                  size_t attachmentBytes = 5 * 1024 * 1024, uint32_t seed = 1);

} // namespace pim::test
