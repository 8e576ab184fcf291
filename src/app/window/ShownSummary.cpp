#include "app/window/ShownSummary.h"

#include "common/Cp932.h"
#include "common/UiText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>

namespace pim {

namespace {

// What the header extraction writes for a field it did not find, by field.
constexpr const char* kFallbacks[] = {
    QT_TRANSLATE_NOOP("ShownSummary", "（タイトル未設定）"),
    QT_TRANSLATE_NOOP("ShownSummary", "（差出人不明）"),
    QT_TRANSLATE_NOOP("ShownSummary", "（受信日時不明）"),
};

// "2024年12月02日（Monday） 10:00:00": the weekday is the locale's name, the
// time the header's eight characters as they stood.
QString ShownDate(const QString& text, const QLocale& locale) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4})年([0-9]{2})月([0-9]{2})日（[^）]*） (.*)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return text;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    if (!date.isValid())
        return text;
    const QString clock = match.captured(4);
    QTime time = QTime::fromString(clock, QStringLiteral("hh:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(clock.left(5), QStringLiteral("hh:mm"));
    const QString day = locale.toString(date, QLocale::LongFormat);
    return (day + QLatin1Char(' ') +
            (time.isValid() ? locale.toString(time, QLocale::ShortFormat) : clock))
        .trimmed();
}

} // namespace

QString ShownSummary(SummaryField field, const std::string& data, const QLocale& locale) {
    // A server's header may decode to line breaks or NULs: shown as spaces, they
    // cannot break a line of the list or hide what follows them.
    QString text = cp932::ToUnicode(data);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    if (CurrentUiLanguage() == UiLanguage::Japanese)
        return text;
    const char* fallback = kFallbacks[static_cast<int>(field)];
    if (text == QString::fromUtf8(fallback))
        return UiString("ShownSummary", fallback);
    return field == SummaryField::Date ? ShownDate(text, locale) : text;
}

} // namespace pim
