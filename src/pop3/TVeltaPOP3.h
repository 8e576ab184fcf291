// The POP3 client component: logs in to one mailbox at a time, reports how many
// messages wait and, message by message, their title, sender and date. It never
// deletes or keeps mail. Runs on the Qt event loop of the GUI thread; nothing blocks.
#pragma once

#include "pop3/Pop3Session.h"
#include "pop3/TlsOutcome.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

class QHostInfo;
class QSslError;
class QSslSocket;

namespace pim {

class TVeltaPOP3 : public QObject, private Pop3SessionHost {
    Q_OBJECT
public:
    explicit TVeltaPOP3(QObject* parent = nullptr);
    ~TVeltaPOP3() override;

    // Milliseconds of silence allowed while a connection or a reply is awaited;
    // a new value applies from the next timer start.
    int TimeOutCount = 60000;
    // What the account has earned; read at Connect. On a plain connection STLS
    // is used whenever the server lists it; the certificate must be valid for
    // the host name, or be the one trusted.
    TlsPolicy Security;

    std::function<void(TVeltaPOP3* sender, int mailCount)> OnConnect;
    std::function<void(TVeltaPOP3* sender)> OnDisconnect;
    std::function<void(TVeltaPOP3* sender, const std::string& mailTitle,
                       const std::string& sendUser, const std::string& recvTime)>
        OnGetMailInformation;
    std::function<void(TVeltaPOP3* sender, uint8_t errorNo)> OnError;
    // Not an event of the classic component: the server refused QUIT and the
    // session ended silently (after the reset). A check run moves on with it.
    std::function<void(TVeltaPOP3* sender)> OnQuitRefused;
    // The component finishes its own work after an event returns: a handler may
    // call Connect, Retr or Quit, but must never destroy the component (deleteLater
    // is fine).

    // `hostName` is "host", "host:port" (port 110 otherwise) or
    // "pop3s://host[:port]" for TLS (port 995 otherwise). True: events follow.
    // False: a session is already open or the host cannot be used; no event follows.
    bool Connect(const std::string& hostName, const std::string& userID,
                 const std::string& password);
    // Only in the ready state (after OnConnect has returned). A message the
    // component already knows (seen by an earlier check under the same unique id,
    // or read ahead) is answered from inside the call.
    bool Retr(int mailNo);
    // In any state of an open session.
    bool Quit();

    // What TLS did in the last session (reset by Connect).
    const TlsOutcome& SecurityOutcome() const { return tlsOutcome_; }

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
    void MailInformation(const MailSummary& summary) override;
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
