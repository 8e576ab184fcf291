// Reduces a retrieved message to the three texts a check shows: title, sender
// and time stamp (CP932), with a fallback text for each one that is missing.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

class QLocale;

namespace pim {

struct MailSummary {
    std::string MailTitle;
    std::string SendUser;
    std::string RecvTime;

    bool operator==(const MailSummary&) const = default;
};

// Only this much of a message is examined; the rest is never read.
inline constexpr size_t kHeaderScanLimit = 102400;

// Long weekday names in CP932, Monday first (index 0) to Sunday (index 6).
using DayNames = std::array<std::string, 7>;
// The names of a locale; tests, benches and the fuzzer pin Japanese.
DayNames LocaleDayNames(const QLocale& locale);
// The names of the system locale (QLocale::system()).
const DayNames& SystemDayNames();

std::string ExtractMailTitle(std::string_view message);
std::string ExtractSendUser(std::string_view message);
std::string ExtractRecvTime(std::string_view message, const DayNames& dayNames);

// `message` is the whole reply to RETR: status line, header, body, terminating line.
MailSummary ExtractMailInformation(std::string_view message,
                                   const DayNames& dayNames = SystemDayNames());

} // namespace pim
