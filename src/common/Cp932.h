// The one place where text crosses between CP932 bytes (inside Pim) and
// Unicode (widgets, file names, the locale). Characters CP932 cannot hold
// become "〓"; bytes that are not CP932 become "〓" on the way out.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace pim::cp932 {

std::string FromUnicode(QStringView text);
QString ToUnicode(std::string_view bytes);

std::string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::string_view bytes);

// Converts text in any charset iconv knows into CP932, "〓" for what CP932
// cannot hold and for malformed input. Empty when iconv does not know `charset`.
std::optional<std::string> FromCharset(std::string_view bytes, const char* charset);

// The longest start of `text` of at most `maxBytes` bytes that does not end in
// the middle of a two-byte character.
std::string Truncate(std::string_view text, size_t maxBytes);

// "〓" in CP932.
inline constexpr std::string_view kGeta = "\x81\xAC";

} // namespace pim::cp932

// Defines `const std::string& name()`: the system's own text `utf8`, converted
// to CP932 once, on first use.
#define PIM_CP932_TEXT(name, utf8)                                                                 \
    const std::string& name() {                                                                    \
        static const std::string text = ::pim::cp932::FromUtf8(utf8);                              \
        return text;                                                                               \
    }
