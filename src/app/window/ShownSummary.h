// How a mail summary reads in the window and the notifications. The summaries
// stay as the check produced them (Japanese fallbacks, the Japanese date
// pattern): they are compared between runs and sent to other stations. Only
// what the user reads follows the language: under Japanese exactly the data.
#pragma once

#include <QLocale>
#include <QString>
#include <string>

namespace pim {

enum class SummaryField { Title, Sender, Date };

// `data` (CP932) as the user reads it: in English, a fallback in English and a
// date in the natural form of `locale`; a date that does not read as one is
// left as it is.
QString ShownSummary(SummaryField field, const std::string& data,
                     const QLocale& locale = QLocale::system());

} // namespace pim
