// Any bytes from a server: decoding and extraction end, stay in bounds and keep
// their length rules.
#include "common/Cp932.h"
#include "mail/HeaderDecoding.h"
#include "mail/HeaderExtraction.h"

#include <QLocale>
#include <algorithm>
#include <cstdlib>

namespace {

const pim::DayNames& Days() {
    static const pim::DayNames days =
        pim::LocaleDayNames(QLocale(QLocale::Japanese, QLocale::Japan));
    return days;
}

void Check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const size_t n =
        size - static_cast<size_t>(std::count_if(bytes.begin(), bytes.end(), [](char c) {
            return c == '\r' || c == '\n' || c == '=';
        }));
    static constexpr size_t kTail[4] = {0, 0, 1, 2};
    Check(pim::DecodeBase64(bytes).size() == n / 4 * 3 + kTail[n % 4]);

    // Escapes vanish and pairs stay pairs, so nothing grows; without ESC nothing changes.
    const std::string sjis = pim::JisToSjis(bytes);
    Check(sjis.size() <= size);
    const bool hasEsc = bytes.find('\x1B') != std::string_view::npos;
    Check(hasEsc || sjis == bytes);

    // The most one input byte can become: a "B" word carries 3 bytes in 4
    // characters, a byte of any charset iconv knows gives at most 4 characters
    // (TSCII's ligatures; all others 1) and a character at most 2 CP932 bytes
    // ("〓" included): 3/4 x 4 x 2 = 6. Raw text and ISO-2022-JP never grow.
    const std::string decoded = pim::DecodeHeader(bytes);
    Check(decoded.size() <= 6 * size);
    const bool plainAscii = std::all_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!hasEsc && plainAscii && bytes.find("=?") == std::string_view::npos)
        Check(decoded == bytes);

    const pim::MailSummary summary = pim::ExtractMailInformation(bytes, Days());
    static const std::string noDate = pim::cp932::FromUtf8("（受信日時不明）");
    if (summary.RecvTime != noDate) {
        Check(summary.RecvTime.size() >= 4 &&
              std::all_of(summary.RecvTime.begin(), summary.RecvTime.begin() + 4,
                          [](char c) { return c >= '0' && c <= '9'; }));
    }
    return 0;
}
