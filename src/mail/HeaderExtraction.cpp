#include "mail/HeaderExtraction.h"

#include "common/Cp932.h"
#include "mail/AsciiSearch.h"
#include "mail/HeaderDecoding.h"

#include <QLocale>
#include <cstring>
#include <optional>
#include <vector>

namespace pim {

namespace {

constexpr std::string_view kSubjectMarker = "SUBJECT:";
constexpr std::string_view kFromMarker = "FROM:";

// Searched in this order, not in order of appearance.
constexpr std::string_view kDayNames[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
constexpr std::string_view kMonths = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";

struct FixedTexts {
    std::string noTitle;
    std::string noSender;
    std::string noDate;
    std::string year;
    std::string month;
    std::string dayOpen;
    std::string close;
};

const FixedTexts& Texts() {
    static const FixedTexts texts{
        cp932::FromUtf8("（タイトル未設定）"),
        cp932::FromUtf8("（差出人不明）"),
        cp932::FromUtf8("（受信日時不明）"),
        cp932::FromUtf8("年"),
        cp932::FromUtf8("月"),
        cp932::FromUtf8("日（"),
        cp932::FromUtf8("） "),
    };
    return texts;
}

char UpperByte(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string_view ScannedPart(std::string_view message) {
    return message.substr(0, std::min(message.size(), kHeaderScanLimit));
}

// Where the line from `from` ends (CR LF, or the bare LF a server that does not
// convert its store's sends), and how long that line end is; npos when none.
size_t LineEnd(std::string_view text, size_t from, size_t& length) {
    const size_t lf = text.find('\n', from);
    if (lf == std::string_view::npos)
        return lf;
    const bool cr = lf > from && text[lf - 1] == '\r';
    length = cr ? 2 : 1;
    return lf - (cr ? 1 : 0);
}

// The raw value after `marker`, unfolded as RFC 5322 does: a line that starts
// with a space or a tab continues it, and only the line end goes, since
// mailers fold before the white space that stood between two words.
// The marker counts where a space follows it, or, where it starts a line, a
// line end and the white space of a folded line, whose first character stands
// for that space (not inside another field, as a signature's list of fields).
// nullopt when the marker is missing.
std::optional<std::string> FindFoldedValue(std::string_view text, std::string_view marker) {
    std::string_view rest;
    for (size_t at = 0;; ++at) {
        at = FindIgnoreAsciiCase(text, marker, at);
        if (at == std::string_view::npos)
            return std::nullopt;
        rest = text.substr(at + marker.size());
        if (rest.starts_with(' ')) {
            rest.remove_prefix(1);
            break;
        }
        size_t length = 0;
        if ((at == 0 || text[at - 1] == '\n') && LineEnd(rest, 0, length) == 0 &&
            rest.size() > length && (rest[length] == ' ' || rest[length] == '\t')) {
            rest.remove_prefix(length + 1);
            break;
        }
    }
    std::string value;
    while (true) {
        // What follows the last line end is never taken: it may be cut off.
        size_t length = 0;
        const size_t end = LineEnd(rest, 0, length);
        if (end == std::string_view::npos)
            break;
        value.append(rest.substr(0, end));
        rest.remove_prefix(end + length);
        if (rest.empty() || !(rest[0] == '\t' || rest[0] == ' '))
            break;
    }
    return value;
}

// The text with every line end deleted. Upper-casing is left to the few places
// that compare letters; doing it over the whole text would cost most of the time.
std::string DeleteLineEnds(std::string_view text) {
    std::string flat;
    flat.reserve(text.size());
    size_t start = 0;
    while (start < text.size()) {
        size_t length = 0;
        size_t end = LineEnd(text, start, length);
        if (end == std::string_view::npos)
            end = text.size();
        flat.append(text.substr(start, end - start));
        start = end + length;
    }
    return flat;
}

// Decimal digits after optional leading spaces; nothing else.
std::optional<int> ParseDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return std::nullopt;
    int value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsValidDate(int year, int month, int day) {
    static constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const int days = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    return day <= days;
}

// 0 = Monday ... 6 = Sunday, proleptic Gregorian.
int WeekdayIndex(int year, int month, int day) {
    // Days since 1 March of year 0, counted in 400-year eras.
    const int y = month <= 2 ? year - 1 : year;
    const int era = y / 400; // y >= 0 for years 1..9999
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long days = static_cast<long>(era) * 146097 + dayOfEra;
    // 1 March of year 0 was a Wednesday.
    return static_cast<int>((days + 2) % 7);
}

// `value` fits in `width` digits here: a checked date.
void AppendDigits(std::string& out, int value, int width) {
    char digits[4];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<size_t>(width));
}

// Reads the date at the start of `text` (a day name and ", " first, upper case);
// fixed positions.
std::optional<std::string> TryDate(std::string_view text, const DayNames& dayNames) {
    const auto field = [text](size_t position, size_t length) {
        return position - 1 < text.size() ? text.substr(position - 1, length) : std::string_view();
    };
    const bool oneDigitDay = text.size() >= 7 && text[6] == ' ';
    const size_t shift = oneDigitDay ? 0 : 1;
    const std::optional<int> day = ParseDecimal(field(6, 1 + shift));
    const std::string_view monthText = field(8 + shift, 3);
    const std::optional<int> year = ParseDecimal(field(12 + shift, 4));
    const std::string_view time = field(17 + shift, 8);
    if (!day || !year)
        return std::nullopt;
    int month = 0;
    for (int m = 0; m < 12; ++m) {
        if (monthText == kMonths.substr(static_cast<size_t>(m) * 3, 3))
            month = m + 1;
    }
    if (month == 0 || !IsValidDate(*year, month, *day))
        return std::nullopt;
    const FixedTexts& texts = Texts();
    std::string result;
    AppendDigits(result, *year, 4);
    result += texts.year;
    AppendDigits(result, month, 2);
    result += texts.month;
    AppendDigits(result, *day, 2);
    result += texts.dayOpen;
    result += dayNames[static_cast<size_t>(WeekdayIndex(*year, month, *day))];
    result += texts.close;
    result += time;
    return result;
}

} // namespace

DayNames LocaleDayNames(const QLocale& locale) {
    DayNames names;
    for (int day = 1; day <= 7; ++day)
        names[static_cast<size_t>(day - 1)] =
            cp932::FromUnicode(locale.dayName(day, QLocale::LongFormat));
    return names;
}

const DayNames& SystemDayNames() {
    static const DayNames names = LocaleDayNames(QLocale::system());
    return names;
}

std::string ExtractMailTitle(std::string_view message) {
    const auto value = FindFoldedValue(ScannedPart(message), kSubjectMarker);
    return value ? DecodeHeader(*value) : Texts().noTitle;
}

std::string ExtractSendUser(std::string_view message) {
    const auto value = FindFoldedValue(ScannedPart(message), kFromMarker);
    return value ? DecodeHeader(*value) : Texts().noSender;
}

std::string ExtractRecvTime(std::string_view message, const DayNames& dayNames) {
    const std::string text = DeleteLineEnds(ScannedPart(message));
    // Where each day name followed by ", " occurs, found in one pass over the commas.
    std::vector<size_t> occurrences[7];
    for (const char* hit = static_cast<const char*>(std::memchr(text.data(), ',', text.size()));
         hit != nullptr;) {
        const auto comma = static_cast<size_t>(hit - text.data());
        if (comma >= 3 && comma + 1 < text.size() && text[comma + 1] == ' ') {
            const char letters[3] = {UpperByte(text[comma - 3]), UpperByte(text[comma - 2]),
                                     UpperByte(text[comma - 1])};
            const std::string_view name(letters, 3);
            for (size_t k = 0; k < 7; ++k) {
                if (name == kDayNames[k])
                    occurrences[k].push_back(comma - 3);
            }
        }
        hit = static_cast<const char*>(
            std::memchr(text.data() + comma + 1, ',', text.size() - comma - 1));
    }
    // A failed attempt only moves the start forward, so each name keeps a cursor.
    size_t next[7] = {};
    size_t start = 0;
    while (start < text.size()) {
        size_t found = std::string_view::npos;
        for (size_t k = 0; k < 7 && found == std::string_view::npos; ++k) {
            while (next[k] < occurrences[k].size() && occurrences[k][next[k]] < start)
                ++next[k];
            if (next[k] < occurrences[k].size())
                found = occurrences[k][next[k]];
        }
        if (found == std::string_view::npos)
            break;
        // Everything a date reads lies in its first 25 characters.
        char window[25];
        const size_t length = std::min(sizeof window, text.size() - found);
        for (size_t i = 0; i < length; ++i)
            window[i] = UpperByte(text[found + i]);
        if (auto date = TryDate(std::string_view(window, length), dayNames))
            return *date;
        start = found + 1;
    }
    return Texts().noDate;
}

MailSummary ExtractMailInformation(std::string_view message, const DayNames& dayNames) {
    return {ExtractMailTitle(message), ExtractSendUser(message),
            ExtractRecvTime(message, dayNames)};
}

} // namespace pim
