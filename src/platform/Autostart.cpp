#include "platform/Autostart.h"

#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace pim {

namespace {

// More than any entry needs; a larger file is not one Pim wrote.
constexpr qint64 kMaxEntryBytes = 64 * 1024;

// An argument of Exec= quoted by the Desktop Entry rules: in double
// quotes when it holds a reserved character, " ` $ \ escaped inside them, and
// % doubled everywhere, as it would start a field code.
QString ExecArgument(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString out;
    bool quote = false;
    for (const QChar c : argument) {
        quote |= reserved.contains(c);
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        else if (c == u'%')
            out += u'%';
        out += c;
    }
    return quote ? u'"' + out + u'"' : out;
}

// The escapes of every string value, applied after the quoting.
QString StringValue(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

} // namespace

QString AutostartPath() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/pim.desktop");
}

bool AutostartOn(const QString& program) {
    QFile file(AutostartPath());
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryBytes)
        return false;
    const DesktopEntry entry = ParseDesktopEntry(file.read(kMaxEntryBytes));
    if (entry.hidden || entry.autostartDisabled || entry.program.isEmpty())
        return false;
    const QString name = QFileInfo(entry.program).fileName();
    return name == QLatin1StringView("pim") || name == QFileInfo(program).fileName();
}

QByteArray AutostartEntry(const QString& program) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Pim\n"
               "Comment=Checks POP3 and IMAP mailboxes and tells of new mail\n"
               "Comment[ja]=POP3 と IMAP のメールボックスを確認し、新着メールをお知らせします\n"
               "Exec=%1\n"
               "Icon=pim\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(StringValue(ExecArgument(program)))
        .toUtf8();
}

bool SetAutostart(const QString& program, bool on) {
    const QString path = AutostartPath();
    if (!on)
        return !QFileInfo::exists(path) || QFile::remove(path);
    // A file name that is no UTF-8 has no place in an entry: it would start nothing.
    if (!QDir::isAbsolutePath(program) || program.contains(QChar::ReplacementCharacter))
        return false;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(AutostartEntry(program)) >= 0 &&
           file.commit();
}

} // namespace pim
