#include "Mailbox.h"

#include <QDir>
#include <QFile>

namespace pim::sample {

QByteArray WithCrLf(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size() + text.size() / 32);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QList<QByteArray>> LoadMessages(const QString& folder) {
    const QDir dir(folder);
    if (!dir.exists())
        return std::nullopt;
    QList<QByteArray> messages;
    for (const QString& name : dir.entryList({"*.eml"}, QDir::Files | QDir::Readable, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        messages.append(WithCrLf(file.readAll()));
    }
    return messages;
}

} // namespace pim::sample
