// The POP3 client: a mail checker over POP3 (and POP3 over TLS). It never
// deletes or keeps mail.
#pragma once

#include "mail/MailChecker.h"
#include "pop3/Pop3Session.h"

#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

class QHostInfo;
class QSslError;
class QSslSocket;

namespace pim {

class TVeltaPOP3 : public MailChecker, private Pop3SessionHost {
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
    const TlsOutcome& SecurityOutcome() const override { return tlsOutcome_; }

    bool SessionOpen() const { return session_.Open(); }
    Pop3Session::State State() const { return session_.FState(); }

private Q_SLOTS:
    void LookupDone(const QHostInfo& info);

private:
    // Pop3SessionHost
    bool SendLine(const std::string& line) override;
    void StartTimer(Wait wait) override;
    void StopTimer() override;
    void StartSessionTimer() override;
    void StopSessionTimer() override;
    void CloseConnection() override;
    void StartTls() override;
    void TlsOffered() override { tlsOutcome_.Offered = true; }
    void TlsFailed(TlsFailure failure) override;
    bool HandlesConnect() const override { return static_cast<bool>(OnConnect); }
    void Connected(int mailCount) override;
    void MailInformation(const MailSummary& summary, const std::string& uniqueId) override;
    void Disconnected() override;
    void Failed(uint8_t errorNo) override;
    void QuitRefused() override;

    void StartSocket(const QString& address);
    void ReadSocket();
    void SocketClosed();
    void SocketFailed();
    void Encrypted();
    void CertificateErrors(const QList<QSslError>& errors);

    Pop3Session session_{*this};
    QTimer timer_;
    QTimer sessionTimer_;
    QSslSocket* socket_ = nullptr; // plain until TLS starts (pop3s: at once)
    int lookupId_ = -1;
    bool tls_ = false;
    bool established_ = false; // connected (and, for TLS, encrypted)
    bool handshaking_ = false;
    quint16 port_ = 110;
    QString host_;
    std::string hostText_; // the host as the account names it
    std::string trustedFingerprint_;
    TlsOutcome tlsOutcome_;
    uint64_t generation_ = 0; // tells a late notification from the current session's
};

} // namespace pim
