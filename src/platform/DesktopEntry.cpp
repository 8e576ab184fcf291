#include "platform/DesktopEntry.h"

#include <QByteArrayView>
#include <QStringList>
#include <optional>

namespace pim {

namespace {

// The escapes of string values. Any other backslash stays, for the quoting of Exec=.
QString Unescaped(QByteArrayView raw) {
    const QString value = QString::fromUtf8(raw);
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype escape = value[i] == u'\\' && i + 1 < value.size()
                                     ? QStringView(u"sntr\\").indexOf(value[i + 1])
                                     : -1;
        if (escape < 0) {
            out += value[i];
        } else {
            out += QStringView(u" \n\t\r\\")[escape];
            ++i;
        }
    }
    return out;
}

// The words of Exec= as a shell would split them: "double" quotes with \" \` \$ \\,
// 'single' quotes, a backslash outside quotes. Nothing when a quote is left open.
std::optional<QStringList> Words(const QString& exec) {
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        const QChar next = i + 1 < exec.size() ? exec[i + 1] : QChar();
        if (quote == u'"') {
            if (c == u'"')
                quote = QChar();
            else if (c == u'\\' && QStringView(u"\"`$\\").contains(next))
                word += exec[++i];
            else
                word += c;
        } else if (quote == u'\'') {
            if (c == u'\'')
                quote = QChar();
            else
                word += c;
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
        } else {
            inWord = true;
            if (c == u'"' || c == u'\'')
                quote = c;
            else if (c == u'\\' && !next.isNull())
                word += exec[++i];
            else
                word += c;
        }
    }
    if (!quote.isNull())
        return std::nullopt;
    if (inWord)
        words.append(word);
    return words;
}

// %% is a percent sign; any other field code stands for files or links, never a program.
QString WithoutFieldCodes(const QString& word) {
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (word[i] != u'%')
            out += word[i];
        else if (i + 1 < word.size() && word[i + 1] == u'%')
            out += word[++i];
        else
            return {};
    }
    return out;
}

// "env NAME=value program" is how entries set a variable for their program.
QString ProgramOf(const QString& exec) {
    const std::optional<QStringList> words = Words(exec);
    if (!words || words->isEmpty())
        return {};
    qsizetype at = 0;
    if (words->front() == u"env" || words->front() == u"/usr/bin/env") {
        at = 1;
        while (at < words->size() && words->at(at).indexOf(u'=') > 0)
            ++at;
    }
    return at < words->size() ? WithoutFieldCodes(words->at(at)) : QString();
}

} // namespace

DesktopEntry ParseDesktopEntry(const QByteArray& text) {
    DesktopEntry entry;
    QString exec;
    bool inGroup = false;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line = QByteArrayView(text).sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inGroup || equals < 0)
            continue;
        const QByteArrayView key = line.first(equals).trimmed();
        const QByteArrayView value = line.sliced(equals + 1).trimmed();
        if (key == "Icon")
            entry.icon = Unescaped(value);
        else if (key == "Exec")
            exec = Unescaped(value);
        else if (key == "Hidden")
            entry.hidden = value == "true" || value == "1";
        else if (key == "X-GNOME-Autostart-enabled")
            entry.autostartDisabled = value == "false";
    }
    entry.program = ProgramOf(exec);
    return entry;
}

} // namespace pim
