#include "mail/HeaderDecoding.h"

#include "common/Bytes.h"
#include "common/Cp932.h"
#include "mail/AsciiSearch.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace pim {

namespace {

constexpr std::string_view kJisWordOpen = "=?ISO-2022-JP?B?";
constexpr std::string_view kWordClose = "?=";
constexpr char kEsc = '\x1B';

// Skips the escape sequence at `i` (three bytes, or what is left of them) and
// sets the mode its selector names; the final byte is not examined.
size_t SkipEscape(std::string_view text, size_t i, bool& twoByte) {
    if (i + 1 < text.size()) {
        if (text[i + 1] == '$')
            twoByte = true;
        else if (text[i + 1] == '(')
            twoByte = false;
    }
    return i + std::min<size_t>(3, text.size() - i);
}

// Long enough for any registered charset name with a language tag.
constexpr size_t kMaxCharsetLength = 64;

void AppendJisChar(std::string& out, uint8_t j1, uint8_t j2) {
    // Integer arithmetic, cut to a byte at the end.
    const int first = ((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0);
    int second;
    if (j1 & 1)
        second = j2 + (j2 < 0x60 ? 0x1F : 0x20);
    else
        second = j2 + 0x7E;
    out.push_back(static_cast<char>(static_cast<uint8_t>(first)));
    out.push_back(static_cast<char>(static_cast<uint8_t>(second)));
}

// Characters outside the alphabet count as 0, like "A".
uint8_t Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return static_cast<uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z')
        return static_cast<uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0' + 52);
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 0;
}

bool IsCrOrLf(char c) {
    return c == '\r' || c == '\n';
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint8_t HexValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    return static_cast<uint8_t>(c - 'A' + 10);
}

std::string DecodeQ(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.push_back(' ');
        } else if (c == '=' && i + 2 < text.size() && IsHexDigit(text[i + 1]) &&
                   IsHexDigit(text[i + 2])) {
            out.push_back(static_cast<char>((HexValue(text[i + 1]) << 4) | HexValue(text[i + 2])));
            i += 2;
        } else {
            // A stray "=" stays as it is rather than eating what follows.
            out.push_back(c);
        }
    }
    return out;
}

bool IsCharsetChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.' || c == ':' || c == '+' || c == '*';
}

bool IsEncodedTextChar(char c) {
    return c > ' ' && c < '\x7F' && c != '?';
}

bool IsFoldingWhiteSpace(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

bool HasHighByte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// True when `text` is UTF-8; `longest` is then the length of its longest sequence.
bool IsValidUtf8(std::string_view text, size_t& longest) {
    longest = 0;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // overlong
            else if (lead == 0xED)
                high = 0x9F; // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F; // above U+10FFFF
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high)
            return false;
        for (size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        longest = std::max(longest, length);
        i += length;
    }
    return true;
}

// The byte structure of CP932: ASCII, half-width katakana, or a lead byte with
// its trail byte.
bool IsValidCp932(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF))
            continue;
        if (!((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) || i + 1 == text.size())
            return false;
        const auto trail = static_cast<unsigned char>(text[++i]);
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
            return false;
    }
    return true;
}

// Raw 8-bit text is read as UTF-8 only when that is the likelier reading. Two
// half-width katakana often pair up as a valid two-byte UTF-8 sequence ("ﾃｽ" is
// C3 BD), but Japanese in UTF-8 takes three bytes a character.
bool RawTextIsUtf8(std::string_view value) {
    size_t longest = 0;
    if (!HasHighByte(value) || !IsValidUtf8(value, longest))
        return false;
    return longest >= 3 || !IsValidCp932(value);
}

// Raw EUC-JP, as Unix mailers wrote it: two bytes A1-FE a character, or SS2/SS3
// (8E, 8F) before them. It never has the other bytes 80-A0 that nearly every
// CP932 text has (its kana and most kanji lead with them). Half-width katakana
// in CP932 (A1-DF) pair up as EUC-JP kanji, so where the text is CP932 as well,
// EUC-JP needs a sign that half-width text lacks: kana (rows A4, A5), a byte
// beyond DF, or SS2/SS3.
bool RawTextIsEucJp(std::string_view value) {
    const auto in = [&](size_t at, unsigned char low, unsigned char high) {
        const auto c = at < value.size() ? static_cast<unsigned char>(value[at]) : 0;
        return c >= low && c <= high;
    };
    bool high = false, sign = false;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c < 0x80)
            continue;
        high = true;
        if (c == 0x8E) { // half-width katakana
            if (!in(++i, 0xA1, 0xDF))
                return false;
            sign = true;
        } else if (c == 0x8F) { // JIS X 0212
            if (!in(i + 1, 0xA1, 0xFE) || !in(i + 2, 0xA1, 0xFE))
                return false;
            i += 2;
            sign = true;
        } else if (c < 0xA1 || c == 0xFF || !in(i + 1, 0xA1, 0xFE)) {
            return false;
        } else {
            sign = sign || c == 0xA4 || c == 0xA5 || c > 0xDF || in(i + 1, 0xE0, 0xFE);
            ++i;
        }
    }
    return high && (sign || !IsValidCp932(value));
}

enum class RawCharset { Cp932, Utf8, EucJp };

RawCharset RawCharsetOf(std::string_view value) {
    if (RawTextIsUtf8(value))
        return RawCharset::Utf8;
    return RawTextIsEucJp(value) ? RawCharset::EucJp : RawCharset::Cp932;
}

// An encoded word of a charset other than the designed ISO-2022-JP "B" one.
struct EncodedWord {
    size_t begin = 0;
    size_t end = 0;
    std::string charset; // upper case, language tag removed
    std::string bytes;   // the payload decoded, still in `charset`
};

// Reads "=?charset?B|Q?text?=" at `at`. Encoded text holds neither white space
// nor "?", so a failed attempt never reads past the next "?" but one.
std::optional<EncodedWord> ParseEncodedWord(std::string_view text, size_t at) {
    size_t i = at + 2;
    const size_t charsetBegin = i;
    while (i < text.size() && i - charsetBegin < kMaxCharsetLength && IsCharsetChar(text[i]))
        ++i;
    const std::string_view token = text.substr(charsetBegin, i - charsetBegin);
    // RFC 2231 language tag: "charset*lang".
    const std::string_view charset = token.substr(0, token.find('*'));
    if (charset.empty() || i + 2 >= text.size() || text[i] != '?' || text[i + 2] != '?')
        return std::nullopt;
    const char encoding = text[i + 1];
    if (encoding != 'B' && encoding != 'b' && encoding != 'Q' && encoding != 'q')
        return std::nullopt;
    i += 3;
    const size_t payloadBegin = i;
    while (i < text.size() && IsEncodedTextChar(text[i]))
        ++i;
    if (i + 1 >= text.size() || text[i] != '?' || text[i + 1] != '=')
        return std::nullopt;
    const std::string_view payload = text.substr(payloadBegin, i - payloadBegin);
    EncodedWord word;
    word.begin = at;
    word.end = i + 2;
    word.charset = AsciiUpper(charset);
    word.bytes = (encoding == 'B' || encoding == 'b') ? DecodeBase64(payload) : DecodeQ(payload);
    return word;
}

// Text outside encoded words: raw UTF-8 or EUC-JP when the whole value likely
// is that, otherwise raw ISO-2022-JP or CP932, which JisToSjis leaves alone.
void AppendRawText(std::string& out, std::string_view text, RawCharset raw) {
    if (text.empty())
        return;
    if (raw == RawCharset::Utf8 && HasHighByte(text))
        out += cp932::FromUtf8(text);
    else if (raw == RawCharset::EucJp && HasHighByte(text))
        out += cp932::FromCharset(text, "EUC-JP").value_or(std::string(text));
    else
        out += JisToSjis(text);
}

// Finds the encoded words of other charsets. Only bytes JisToSjis would copy
// as they are can start one, so raw ISO-2022-JP converts exactly as before.
std::vector<EncodedWord> FindEncodedWords(std::string_view text) {
    std::vector<EncodedWord> words;
    bool twoByte = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == kEsc) {
            i = SkipEscape(text, i, twoByte);
        } else if (twoByte) {
            i += (i + 1 < text.size() && text[i + 1] != kEsc) ? 2 : 1;
        } else if (c == '=' && i + 1 < text.size() && text[i + 1] == '?') {
            if (auto word = ParseEncodedWord(text, i)) {
                i = word->end;
                words.push_back(std::move(*word));
            } else {
                ++i;
            }
        } else {
            ++i;
        }
    }
    return words;
}

// Text between designed ISO-2022-JP words. White space between two decoded
// words goes (RFC 2047): `afterWord` says that a decoded word came just
// before `text`, and is left saying whether one ends it; `wordFollows`, that
// one comes just after it.
void AppendOrdinaryText(std::string& out, std::string_view text, RawCharset raw, bool& afterWord,
                        bool wordFollows) {
    const std::vector<EncodedWord> words = FindEncodedWords(text);
    size_t done = 0;
    size_t k = 0;
    while (k < words.size()) {
        // Mailers split one character over several words of one charset, so
        // the bytes of such a run are converted together.
        size_t last = k;
        std::string bytes = words[k].bytes;
        while (last + 1 < words.size() && words[last + 1].charset == words[k].charset &&
               IsFoldingWhiteSpace(
                   text.substr(words[last].end, words[last + 1].begin - words[last].end))) {
            ++last;
            bytes += words[last].bytes;
        }
        // ISO-2022-JP in any other form converts the designed way too, so that
        // its vendor characters come out as they do from a "B" word.
        const std::optional<std::string> decoded =
            words[k].charset == "ISO-2022-JP" ? JisToSjis(bytes)
                                              : cp932::FromCharset(bytes, words[k].charset.c_str());
        const std::string_view gap = text.substr(done, words[k].begin - done);
        if (!(afterWord && decoded && IsFoldingWhiteSpace(gap)))
            AppendRawText(out, gap, raw);
        if (decoded)
            out += *decoded;
        else
            out += text.substr(words[k].begin, words[last].end - words[k].begin);
        afterWord = decoded.has_value();
        done = words[last].end;
        k = last + 1;
    }
    const std::string_view tail = text.substr(done);
    afterWord = afterWord && IsFoldingWhiteSpace(tail);
    if (!(afterWord && wordFollows))
        AppendRawText(out, tail, raw);
}

// A designed word's payload holds no white space; what a fold left inside it goes.
std::string WithoutWhiteSpace(std::string_view text) {
    std::string out(text);
    std::erase_if(out, [](char c) { return c == ' ' || c == '\t'; });
    return out;
}

} // namespace

std::string DecodeHeader(std::string_view value) {
    const RawCharset raw = RawCharsetOf(value);
    std::string result;
    result.reserve(value.size());
    size_t pos = 0;
    // Once no closing marker is left, none will be found further on either;
    // remembering that keeps a value full of unclosed openings linear.
    size_t close = 0;
    bool afterWord = false;
    while (true) {
        const size_t open = FindIgnoreAsciiCase(value, kJisWordOpen, pos);
        if (open == std::string_view::npos)
            break;
        const size_t payload = open + kJisWordOpen.size();
        if (close != std::string_view::npos && close < payload)
            close = value.find(kWordClose, payload);
        const bool closed = close != std::string_view::npos;
        AppendOrdinaryText(result, value.substr(pos, open - pos), raw, afterWord, closed);
        pos = payload;
        if (closed) {
            result += JisToSjis(DecodeBase64(WithoutWhiteSpace(value.substr(pos, close - pos))));
            pos = close + kWordClose.size();
        }
        afterWord = closed;
    }
    AppendOrdinaryText(result, value.substr(pos), raw, afterWord, false);
    return result;
}

std::string DecodeBase64(std::string_view text) {
    const size_t skipped = static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return IsCrOrLf(c) || c == '='; }));
    const size_t n = text.size() - skipped;
    static constexpr size_t kTailBytes[4] = {0, 0, 1, 2};
    // Bytes that malformed input (padding inside the text) leaves unwritten stay 0;
    // whatever would go past the length is dropped.
    std::string out(n / 4 * 3 + kTailBytes[n % 4], '\0');
    size_t written = 0;
    const auto put = [&](unsigned value) {
        if (written < out.size())
            out[written++] = static_cast<char>(static_cast<uint8_t>(value));
    };
    size_t i = 0;
    while (i < text.size()) {
        if (IsCrOrLf(text[i])) {
            ++i;
            continue;
        }
        const size_t length = std::min<size_t>(4, text.size() - i);
        const std::string_view group = text.substr(i, length);
        i += length;
        if (length == 1)
            break;
        unsigned v[4] = {};
        bool padding[4] = {false, false, true, true};
        for (size_t k = 0; k < length; ++k) {
            v[k] = Base64Value(group[k]);
            padding[k] = group[k] == '=';
        }
        put((v[0] << 2) | (v[1] >> 4));
        if (padding[2])
            continue;
        put((v[1] << 4) | (v[2] >> 2));
        if (padding[3])
            continue;
        put((v[2] << 6) | v[3]);
    }
    return out;
}

std::string JisToSjis(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool twoByte = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == kEsc) {
            i = SkipEscape(text, i, twoByte);
        } else if (!twoByte) {
            out.push_back(c);
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] != kEsc) {
            AppendJisChar(out, static_cast<uint8_t>(c), static_cast<uint8_t>(text[i + 1]));
            i += 2;
        } else {
            // Half a character, before an escape or at the end: dropped.
            ++i;
        }
    }
    return out;
}

std::string JisCharToSjis(uint8_t j1, uint8_t j2) {
    std::string out;
    AppendJisChar(out, j1, j2);
    return out;
}

} // namespace pim
