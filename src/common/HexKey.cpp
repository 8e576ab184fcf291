#include "common/HexKey.h"

#include "common/Numbers.h"
#include "common/Random.h"

namespace pim {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned value) {
    out.push_back(kHexDigits[(value >> 4) & 0xF]);
    out.push_back(kHexDigits[value & 0xF]);
}

// One or two hex digits; -1 when any is not a digit.
int HexGroup(std::string_view group) {
    int value = 0;
    for (char c : group) {
        const int d = HexDigitValue(c);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

} // namespace

std::string HexKeyEncode(std::string_view text) {
    return HexKeyEncode(text, 50 + Random(150));
}

std::string HexKeyEncode(std::string_view text, int key) {
    std::string out;
    out.reserve(2 + 2 * text.size());
    AppendHexByte(out, static_cast<unsigned>(key));
    for (char c : text)
        AppendHexByte(out, (static_cast<unsigned char>(c) + static_cast<unsigned>(key)) & 0xFF);
    return out;
}

std::string HexKeyDecode(std::string_view text) {
    if (text.size() <= 2)
        return {};
    const int key = HexGroup(text.substr(0, 2));
    if (key < 0)
        return {};
    std::string out;
    out.reserve(text.size() / 2);
    for (size_t p = 2; p < text.size(); p += 2) {
        const int v = HexGroup(text.substr(p, 2));
        if (v < 0)
            return {};
        out.push_back(static_cast<char>((v - key + 256) & 0xFF));
    }
    return out;
}

} // namespace pim
