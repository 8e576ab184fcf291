#include "mail/AsciiSearch.h"

#include "common/Bytes.h"

#include <cstring>

namespace pim {

namespace {
bool IsAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
} // namespace

size_t FindIgnoreAsciiCase(std::string_view text, std::string_view upperPattern, size_t from) {
    if (from > text.size() || upperPattern.size() > text.size() - from)
        return std::string_view::npos;
    // A byte without case lets memchr jump straight to each candidate.
    size_t anchor = 0;
    while (anchor < upperPattern.size() && IsAsciiLetter(upperPattern[anchor]))
        ++anchor;
    const size_t last = text.size() - upperPattern.size();
    if (anchor == upperPattern.size()) {
        for (size_t at = from; at <= last; ++at) {
            if (EqualsIgnoreAsciiCase(text.substr(at, upperPattern.size()), upperPattern))
                return at;
        }
        return std::string_view::npos;
    }
    size_t at = from + anchor;
    const size_t end = last + anchor + 1;
    while (at < end) {
        const void* hit = std::memchr(text.data() + at, upperPattern[anchor], end - at);
        if (hit == nullptr)
            return std::string_view::npos;
        const size_t start =
            static_cast<size_t>(static_cast<const char*>(hit) - text.data()) - anchor;
        if (EqualsIgnoreAsciiCase(text.substr(start, upperPattern.size()), upperPattern))
            return start;
        at = start + anchor + 1;
    }
    return std::string_view::npos;
}

} // namespace pim
