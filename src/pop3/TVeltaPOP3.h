// The POP3 client: a mail checker over POP3 (and POP3 over TLS). It never
// deletes or keeps mail.
#pragma once

#include "mail/MailChecker.h"
#include "mail/MailConnection.h"
#include "pop3/Pop3Session.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace pim {

class TVeltaPOP3 : public MailChecker, private Pop3SessionHost, private MailConnection::Owner {
    Q_OBJECT
public:
    explicit TVeltaPOP3(QObject* parent = nullptr);
    ~TVeltaPOP3() override;

    // `hostName` is "host", "host:port" (port 110 otherwise) or
    // "pop3s://host[:port]" for TLS (port 995 otherwise).
    bool Connect(const std::string& hostName, const std::string& userID,
                 const std::string& password) override;
    // A message seen by an earlier check under the same unique id, or read
    // ahead, is answered from inside the call.
    bool Retr(int mailNo) override;
    bool Quit() override;
    const TlsOutcome& SecurityOutcome() const override { return connection_.Outcome(); }

    bool SessionOpen() const { return session_.Open(); }
    Pop3Session::State State() const { return session_.FState(); }

private:
    // Pop3SessionHost
    bool SendLine(const std::string& line) override;
    void StartTimer(Wait wait) override;
    void StopTimer() override;
    void StartSessionTimer() override;
    void StopSessionTimer() override;
    void CloseConnection() override { connection_.Close(), timer_.stop(); }
    void StartTls() override { connection_.StartTls(); }
    void TlsOffered() override { connection_.TlsOffered(); }
    void TlsFailed(TlsFailure failure) override { connection_.TlsFailed(failure); }
    bool HandlesConnect() const override { return static_cast<bool>(OnConnect); }
    void Connected(int mailCount) override { TellConnect(mailCount); }
    void MailInformation(const MailSummary& summary, const std::string& uniqueId) override {
        TellMail(summary, uniqueId);
    }
    void Disconnected() override { TellDisconnect(); }
    void Failed(uint8_t errorNo) override { TellError(errorNo, std::exchange(reason_, {})); }
    void TokenNotOffered() override { reason_ = TokenNotOfferedText(); }
    void TokenRefused(const std::string& status) override {
        reason_ = TokenRefusedText(status);
        SetTokenRefused(true);
    }
    void QuitRefused() override { TellQuitRefused(); }

    // MailConnection::Owner
    bool Wanted() const override { return session_.Open(); }
    void Connecting() override { session_.StartTimeOut(); }
    void Received(std::string_view bytes) override { session_.Receive(bytes); }
    void TlsUp() override { session_.TlsStarted(); }
    void Closed() override { session_.ConnectionClosed(); }
    void Failed() override { session_.ConnectionFailed(); }

    Pop3Session session_{*this};
    MailConnection connection_{*this};
    QTimer timer_;
    QTimer sessionTimer_;
    std::string reason_; // of the error about to be told
};

} // namespace pim
