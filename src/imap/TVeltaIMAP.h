// The IMAP client: a mail checker that reads the unseen messages of INBOX,
// over IMAP with STARTTLS or imaps, without changing the mailbox. Kept open, it
// idles after each check where the server offers IDLE and tells of every change.
#pragma once

#include "imap/ImapSession.h"
#include "mail/MailChecker.h"
#include "mail/MailConnection.h"

#include <QTimer>

namespace pim {

class TVeltaIMAP : public MailChecker, private ImapSessionHost, private MailConnection::Owner {
    Q_OBJECT
public:
    explicit TVeltaIMAP(QObject* parent = nullptr);
    ~TVeltaIMAP() override;

    // `hostName` is "imap://host[:port]" (port 143 otherwise) or
    // "imaps://host[:port]" for TLS (port 993 otherwise).
    bool Connect(const std::string& hostName, const std::string& userID,
                 const std::string& password) override;
    bool CheckOpen(const std::string& hostName, const std::string& userID) override;
    bool Retr(int mailNo) override { return session_.Retr(mailNo); }
    bool Quit() override;
    const TlsOutcome& SecurityOutcome() const override;
    bool SummarisesNewest() const override { return true; }

    bool SessionOpen() const { return session_.Open(); }

    // Kept open after a check, idling where the server offers IDLE: its end is
    // told as OnDisconnect, and the next Connect to the same account checks
    // again on the open connection, without logging in.
    void KeepOpen(bool keep) { session_.KeepOpen(keep); }
    bool IsIdling() const { return idling_; }
    // INBOX changed while idling.
    std::function<void(TVeltaIMAP* sender)> OnPush;
    // The idling connection ended (closed, BYE, ended by the server, or found
    // dead at its renewal), or a check failed for a reason that may pass; no
    // check was running, so no other event tells it. Not told when the server
    // refuses IDLE: the session then ends as after a quit, and the account is
    // checked at its interval only.
    std::function<void(TVeltaIMAP* sender, uint8_t errorNo)> OnDropped;
    // It idles: a check on it worked.
    std::function<void(TVeltaIMAP* sender)> OnIdling;
    // Ends an idling connection with LOGOUT; what becomes of it is not told.
    // Destroying the client closes the connection at once.
    void Leave();
    // Closes the connection at once, without a word: after a suspend it may be
    // dead, and a LOGOUT would only wait for its time-out.
    void Drop();

    // Servers may end an IDLE after 30 minutes (RFC 2177); tests shorten it.
    int RenewInterval = 29 * 60 * 1000;

private:
    // A check on the open connection: the search again, without logging in.
    bool SearchAgain();
    // ImapSessionHost
    bool Send(const std::string& bytes) override { return connection_.Send(bytes); }
    void StartTimer() override { timer_.start(std::max(1, TimeOutCount)); }
    void StopTimer() override { timer_.stop(); }
    void StartSessionTimer() override {
        sessionTimer_.start(ImapSession::SessionLimit(TimeOutCount));
    }
    void StopSessionTimer() override { sessionTimer_.stop(); }
    void CloseConnection() override { connection_.Close(), timer_.stop(); }
    void StartTls() override { connection_.StartTls(); }
    void TlsOffered() override { connection_.TlsOffered(); }
    void TlsFailed(TlsFailure failure) override { connection_.TlsFailed(failure); }
    void Connected(int unseenCount) override { TellConnect(unseenCount); }
    void Idling() override;
    void Pushed() override {
        if (OnPush)
            OnPush(this);
    }
    void MailInformation(const MailSummary& summary, const std::string& uniqueId) override {
        TellMail(summary, uniqueId);
    }
    void Reason(ImapReason reason) override;
    void TokenRefused(const std::string& status) override;
    void Alert(const std::string& text) override { TellAlert(text); }
    void Disconnected() override;
    void Failed(uint8_t errorNo) override;

    // MailConnection::Owner
    bool Wanted() const override { return session_.Open(); }
    void Connecting() override { StartTimer(); }
    void Received(std::string_view bytes) override { session_.Receive(bytes); }
    void TlsUp() override { session_.TlsStarted(); }
    void Closed() override { session_.ConnectionClosed(); }
    void Failed() override { session_.ConnectionFailed(); }

    ImapSession session_{*this};
    MailConnection connection_{*this};
    QTimer timer_;
    QTimer sessionTimer_;
    QTimer renewTimer_;
    // Tells a check refused before any connection, once Connect has returned.
    QTimer refusal_;
    bool unconnected_ = false; // so refused: no TLS outcome of its own
    std::string reason_;       // of the error about to be told
    std::string tokenStatus_;  // of the token refusal about to be told
    bool idling_ = false;
    bool checking_ = false; // a check runs: its owner hears the session's events
    bool leaving_ = false;
    std::string account_; // host, user and password of the open session
};

} // namespace pim
