// The messages the sample server hands out, in POP3 order.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace pim::sample {

struct Maildrop {
    QList<QByteArray> messages; // CR LF line ends
    bool locked = false;        // a session is logged in (RFC 1939 allows only one)
};

// Every *.eml file in `folder`, by file name; ":/sample-mailbox" holds the
// bundled ones. Nothing when the folder cannot be read.
std::optional<QList<QByteArray>> LoadMessages(const QString& folder);

// Bare LF and bare CR become CR LF, so files written on any system can be served.
QByteArray WithCrLf(const QByteArray& text);

} // namespace pim::sample
