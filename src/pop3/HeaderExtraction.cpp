#include "pop3/HeaderExtraction.h"

namespace pim {

const DayNames& SystemDayNames() {
    static const DayNames names;
    return names;
}

std::string ExtractMailTitle(std::string_view) {
    return {};
}
std::string ExtractSendUser(std::string_view) {
    return {};
}
std::string ExtractRecvTime(std::string_view, const DayNames&) {
    return {};
}

MailSummary ExtractMailInformation(std::string_view message, const DayNames& dayNames) {
    return {ExtractMailTitle(message), ExtractSendUser(message),
            ExtractRecvTime(message, dayNames)};
}

} // namespace pim
