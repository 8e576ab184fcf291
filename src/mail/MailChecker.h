// What a check run needs of a mail client, whatever protocol it speaks: it logs
// in to one mailbox at a time, reports how many messages wait and, message by
// message, their title, sender, date and unique id. It never changes the mailbox.
// Runs on the Qt event loop of the GUI thread; nothing blocks.
#pragma once

#include "mail/HeaderExtraction.h"
#include "mail/TlsOutcome.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace pim {

class MailChecker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Milliseconds of silence allowed while a connection or a reply is awaited;
    // a new value applies from the next timer start.
    int TimeOutCount = 60000;
    // What the account has earned; read at Connect. On a plain connection TLS
    // is started whenever the server offers it; the certificate must be valid
    // for the host name, or be the one trusted.
    TlsPolicy Security;
    // Read at Connect: the password is an OAuth 2.0 bearer token, which goes
    // out only over TLS and by a SASL mechanism made for it.
    bool SignInWithToken = false;

    std::function<void(MailChecker* sender, int mailCount)> OnConnect;
    std::function<void(MailChecker* sender)> OnDisconnect;
    // `uniqueId` is empty where the server gives messages no lasting id.
    std::function<void(MailChecker* sender, const std::string& mailTitle,
                       const std::string& sendUser, const std::string& recvTime,
                       const std::string& uniqueId)>
        OnGetMailInformation;
    std::function<void(MailChecker* sender, uint8_t errorNo)> OnError;
    // Words of the server that must reach the user (IMAP's [ALERT]): CP932, one
    // line, at most 256 bytes; each different text once a session. They may
    // come at any time the session is open, with or without a check running.
    std::function<void(MailChecker* sender, const std::string& text)> OnAlert;
    // The server refused to end the session, which then ended silently (after
    // the reset). A check run moves on with it.
    std::function<void(MailChecker* sender)> OnQuitRefused;
    // The client finishes its own work after an event returns: a handler may
    // call Connect, Retr or Quit, but must never destroy the client (deleteLater
    // is fine).

    // True: events follow. False: a session is already open or the host cannot
    // be used; no event follows.
    virtual bool Connect(const std::string& hostName, const std::string& userID,
                         const std::string& password) = 0;
    // As Connect, on the session kept open for this account since its last
    // check: logged in already, it needs no password. False: no such session,
    // and no event follows.
    virtual bool CheckOpen(const std::string& /*hostName*/, const std::string& /*userID*/) {
        return false;
    }
    // Only in the ready state (after OnConnect has returned). A message already
    // known is answered from inside the call.
    virtual bool Retr(int mailNo) = 0;
    // In any state of an open session.
    virtual bool Quit() = 0;
    // What TLS did in the last session (reset by Connect).
    virtual const TlsOutcome& SecurityOutcome() const = 0;
    // Of more messages than a check reads, the newest are read, not the first.
    virtual bool SummarisesNewest() const { return false; }
    // Why the last OnError came, where its number alone does not tell (CP932,
    // one line); empty otherwise. Set before OnError, kept until the next one.
    // What TLS did is told by SecurityOutcome instead.
    const std::string& ErrorReason() const { return errorReason_; }
    // The last login error was the server refusing the token (SignInWithToken):
    // a fresh one may pass where this one did not.
    bool TokenRefused() const { return tokenRefused_; }

protected:
    // The protocol's session tells; the handlers hear.
    void TellConnect(int mailCount) {
        if (OnConnect)
            OnConnect(this, mailCount);
    }
    void TellMail(const MailSummary& summary, const std::string& uniqueId) {
        if (OnGetMailInformation)
            OnGetMailInformation(this, summary.MailTitle, summary.SendUser, summary.RecvTime,
                                 uniqueId);
    }
    void TellDisconnect() {
        if (OnDisconnect)
            OnDisconnect(this);
    }
    void TellError(uint8_t errorNo, std::string reason = {}) {
        errorReason_ = std::move(reason);
        if (OnError)
            OnError(this, errorNo);
    }
    void TellAlert(const std::string& text) {
        if (OnAlert)
            OnAlert(this, text);
    }
    void SetTokenRefused(bool refused) { tokenRefused_ = refused; }
    void TellQuitRefused() {
        if (OnQuitRefused)
            OnQuitRefused(this);
    }

private:
    std::string errorReason_;
    bool tokenRefused_ = false;
};

} // namespace pim
