// One POP3 conversation (RFC 1939) with just what a mail checker needs: USER,
// PASS, STAT, RETR and QUIT. Anything else is answered "-ERR". It knows
// nothing about sockets: it turns command lines into replies.
#pragma once

#include "Mailbox.h"

#include <QByteArray>
#include <QByteArrayView>

namespace pim::sample {

class Pop3Session {
public:
    Pop3Session(Maildrop& maildrop, QByteArray user, QByteArray password);
    ~Pop3Session();
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    static QByteArray Greeting();
    // The reply to one command line given without its line end.
    QByteArray Reply(QByteArrayView line);
    // After QUIT: the reply is the last thing to send before closing.
    bool Finished() const { return finished_; }

private:
    QByteArray Pass(QByteArrayView password);
    QByteArray Retrieve(QByteArrayView number) const;

    Maildrop& maildrop_;
    const QByteArray user_;
    const QByteArray password_;
    QByteArray givenUser_;
    bool loggedIn_ = false;
    bool finished_ = false;
};

} // namespace pim::sample
