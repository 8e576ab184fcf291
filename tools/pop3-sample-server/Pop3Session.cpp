#include "Pop3Session.h"

#include <utility>

namespace pim::sample {
namespace {

qsizetype TotalSize(const QList<QByteArray>& messages) {
    qsizetype total = 0;
    for (const QByteArray& message : messages)
        total += message.size();
    return total;
}

// A line that starts with "." gets a second one, so that only the final
// ".\r\n" ends the reply.
QByteArray Stuffed(const QByteArray& message) {
    QByteArray out;
    out.reserve(message.size() + message.size() / 64 + 8);
    bool lineStart = true;
    for (const char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.isEmpty() && !out.endsWith("\r\n"))
        out += "\r\n";
    return out + ".\r\n";
}

// A message number as RFC 1939 writes it: decimal digits only, from 1.
qsizetype MessageIndex(QByteArrayView text, qsizetype count) {
    if (text.isEmpty() || text.size() > 9)
        return -1;
    qsizetype number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + (c - '0');
    }
    return number >= 1 && number <= count ? number - 1 : -1;
}

} // namespace

Pop3Session::Pop3Session(Maildrop& maildrop, QByteArray user, QByteArray password)
    : maildrop_(maildrop), user_(std::move(user)), password_(std::move(password)) {}

Pop3Session::~Pop3Session() {
    if (loggedIn_)
        maildrop_.locked = false;
}

QByteArray Pop3Session::Greeting() {
    return "+OK Pim sample POP3 server ready\r\n";
}

QByteArray Pop3Session::Reply(QByteArrayView line) {
    const qsizetype space = line.indexOf(' ');
    const QByteArray command = line.first(space < 0 ? line.size() : space).toByteArray().toUpper();
    const QByteArrayView argument = space < 0 ? QByteArrayView() : line.sliced(space + 1);

    if (command == "QUIT") {
        finished_ = true;
        return "+OK bye\r\n";
    }
    if (!loggedIn_) {
        if (command == "USER" && !argument.isEmpty()) {
            givenUser_ = argument.toByteArray();
            return "+OK send PASS\r\n";
        }
        if (command == "PASS")
            return Pass(argument);
        return "-ERR log in first (USER, PASS)\r\n";
    }
    if (command == "STAT" && argument.isEmpty())
        return "+OK " + QByteArray::number(maildrop_.messages.size()) + ' ' +
               QByteArray::number(TotalSize(maildrop_.messages)) + "\r\n";
    if (command == "RETR")
        return Retrieve(argument);
    return "-ERR unknown command\r\n";
}

QByteArray Pop3Session::Pass(QByteArrayView password) {
    if (givenUser_.isEmpty())
        return "-ERR send USER first\r\n";
    // Either way the next attempt starts again with USER.
    const bool valid = givenUser_ == user_ && password == password_;
    givenUser_.clear();
    if (!valid)
        return "-ERR invalid user name or password\r\n";
    if (maildrop_.locked)
        return "-ERR [IN-USE] maildrop already locked\r\n";
    maildrop_.locked = loggedIn_ = true;
    return "+OK maildrop has " + QByteArray::number(maildrop_.messages.size()) + " messages (" +
           QByteArray::number(TotalSize(maildrop_.messages)) + " octets)\r\n";
}

QByteArray Pop3Session::Retrieve(QByteArrayView number) const {
    const qsizetype index = MessageIndex(number, maildrop_.messages.size());
    if (index < 0)
        return "-ERR no such message\r\n";
    const QByteArray& message = maildrop_.messages[index];
    return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + Stuffed(message);
}

} // namespace pim::sample
