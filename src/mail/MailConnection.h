// The connection of a mail client to its server: the name looked up, the
// socket, TLS at once or upgraded later, and the certificate judged by the same
// rules for every protocol (valid for the host name, or the very one the user
// trusted). The protocol's dialogue hears only bytes and what became of them.
#pragma once

#include "mail/TlsOutcome.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

class QHostInfo;
class QSslError;
class QSslSocket;

namespace pim {

class MailConnection : public QObject {
    Q_OBJECT
public:
    // The dialogue's side.
    class Owner {
    public:
        virtual ~Owner() = default;
        // The session that asked for the connection still waits for it.
        virtual bool Wanted() const = 0;
        // The socket starts connecting: the reply time-out counts from here.
        virtual void Connecting() = 0;
        virtual void Received(std::string_view bytes) = 0;
        // The upgrade asked for by StartTls succeeded.
        virtual void TlsUp() = 0;
        // The server closed the connection.
        virtual void Closed() = 0;
        // No connection: refused, unreachable, or a TLS handshake or
        // certificate that failed.
        virtual void Failed() = 0;
    };

    explicit MailConnection(Owner& owner, QObject* parent = nullptr);
    ~MailConnection() override;

    // Opens a connection to `host` (a name or an address; `hostText` as the
    // account writes it, for the reasons shown) from the event loop, never from
    // inside the call. With `tls` the handshake comes first. `trusted` is the
    // fingerprint of a certificate the user chose to trust, or empty.
    void Open(const QString& host, const std::string& hostText, uint16_t port, bool tls,
              const std::string& trusted);
    // Drops the connection (or the lookup) at once; nothing more is reported.
    void Close();
    // What came in clear text since is dropped unread, and the handshake starts.
    void StartTls();
    // False before the connection (and its handshake) is up.
    bool Send(std::string_view bytes);
    // Hands what was sent to the system now, without waiting: a LOGOUT at exit
    // goes out although the connection is closed right after.
    void Flush();
    // The session ends as a TLS failure for this reason, unless the
    // certificate's own verdict, which says more, came first.
    void TlsFailed(TlsFailure failure);
    // The server offered to upgrade the connection.
    void TlsOffered() { outcome_.Offered = true; }

    // What TLS did in this connection (reset by Open).
    const TlsOutcome& Outcome() const { return outcome_; }

private Q_SLOTS:
    void LookupDone(const QHostInfo& info);

private:
    void StartSocket(const QString& address);
    void ReadSocket();
    void SocketClosed();
    void SocketFailed();
    // Records why no connection came up; the first reason stands.
    void NoConnection(ConnectFailure failure);
    void Encrypted();
    void CertificateErrors(const QList<QSslError>& errors);

    Owner& owner_;
    QSslSocket* socket_ = nullptr; // plain until TLS starts (at once with `tls`)
    int lookupId_ = -1;
    bool tls_ = false;
    bool established_ = false; // connected (and, for TLS, encrypted)
    bool handshaking_ = false;
    uint16_t port_ = 0;
    QString host_;
    std::string hostText_;
    std::string trusted_;
    TlsOutcome outcome_;
    uint64_t generation_ = 0; // tells a late notification from the current connection's
};

} // namespace pim
