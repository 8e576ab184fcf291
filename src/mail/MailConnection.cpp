#include "mail/MailConnection.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace pim {

namespace {
// Qt reads no further ahead than this, so memory stays flat however fast the server sends.
constexpr qint64 kReadChunk = 64 * 1024;

// An idling connection hears nothing for many minutes: the system asks the
// other end now and then, so that one lost to a suspend, a network change or a
// crashed server fails within about a minute and a half, without waking Pim.
void KeepAlive(qintptr descriptor) {
    const int fd = static_cast<int>(descriptor), on = 1, idle = 60, interval = 10, probes = 3;
    if (fd < 0)
        return;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

// Why a certificate does not verify; 0 when an error is of another kind.
uint8_t CertificateProblemOf(const QSslError& error) {
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return cpSelfSigned;
    case QSslError::CertificateExpired:
    case QSslError::CertificateNotYetValid:
        return cpExpired;
    case QSslError::HostNameMismatch:
        return cpWrongName;
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::UnableToVerifyFirstCertificate:
        return cpUnknownAuthority;
    default:
        return 0;
    }
}
// Why a socket that was still connecting failed.
ConnectFailure ConnectFailureOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ConnectFailure::Refused;
    case QAbstractSocket::HostNotFoundError:
        return ConnectFailure::HostNotFound;
    // No route to the host or its network (a connect that ran into the
    // system's own time-out reads the same).
    case QAbstractSocket::NetworkError:
        return ConnectFailure::Unreachable;
    case QAbstractSocket::SocketTimeoutError:
        return ConnectFailure::TimedOut;
    default:
        return ConnectFailure::Other;
    }
}
} // namespace

MailConnection::MailConnection(Owner& owner, QObject* parent) : QObject(parent), owner_(owner) {}

MailConnection::~MailConnection() {
    Close();
}

void MailConnection::Open(const QString& host, const std::string& hostText, uint16_t port, bool tls,
                          const std::string& trusted) {
    Close();
    host_ = host;
    hostText_ = hostText;
    port_ = port;
    tls_ = tls;
    trusted_ = trusted;
    outcome_ = {};
    outcome_.Offered = tls;
    // An address needs no lookup (and a reverse lookup could stall on a machine
    // without DNS); it still connects from the event loop.
    if (!QHostAddress(host_).isNull()) {
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation == generation_ && owner_.Wanted())
                    StartSocket(host_);
            },
            Qt::QueuedConnection);
        return;
    }
    // By slot name: an aborted lookup then leaves nothing behind, where a
    // functor's slot object would be freed only with a delivered result.
    lookupId_ = QHostInfo::lookupHost(host_, this, SLOT(LookupDone(QHostInfo)));
}

void MailConnection::Close() {
    // Given up before a connection came up, with no other reason known: the
    // reply time-out ran out on the lookup or on the connect.
    if ((lookupId_ != -1 || (socket_ && !established_ && !handshaking_)) &&
        outcome_.Connect == ConnectFailure::None && outcome_.Failure == TlsFailure::None)
        NoConnection(ConnectFailure::TimedOut);
    ++generation_;
    if (lookupId_ != -1) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    if (socket_) {
        socket_->disconnect(this);
        socket_->abort();
        socket_->deleteLater();
        socket_ = nullptr;
    }
    established_ = false;
    handshaking_ = false;
}

void MailConnection::LookupDone(const QHostInfo& info) {
    // A lookup that ends after its session was reset must never connect.
    if (info.lookupId() != lookupId_ || !owner_.Wanted())
        return;
    lookupId_ = -1;
    QString address = host_; // a failed lookup still tries the text as an address
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        NoConnection(info.error() == QHostInfo::UnknownError ? ConnectFailure::LookupFailed
                                                             : ConnectFailure::HostNotFound);
    if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty()) {
        address = info.addresses().first().toString();
        for (const QHostAddress& candidate : info.addresses()) {
            if (candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                address = candidate.toString();
                break;
            }
        }
    }
    StartSocket(address);
}

void MailConnection::StartSocket(const QString& address) {
    // A TLS socket for plain connections too, so that they can be upgraded; the
    // TLS library is loaded with the first check, not at start.
    socket_ = new QSslSocket(this);
    socket_->setReadBufferSize(kReadChunk);
    // The name the account gives, not the address it resolved to.
    socket_->setPeerVerifyName(host_);
    established_ = false;
    handshaking_ = false;
    connect(socket_, &QTcpSocket::readyRead, this, &MailConnection::ReadSocket);
    connect(socket_, &QTcpSocket::disconnected, this, &MailConnection::SocketClosed);
    connect(socket_, &QTcpSocket::errorOccurred, this, &MailConnection::SocketFailed);
    connect(socket_, &QSslSocket::encrypted, this, &MailConnection::Encrypted);
    connect(socket_, &QSslSocket::sslErrors, this, &MailConnection::CertificateErrors);
    connect(socket_, &QTcpSocket::connected, this, [this] {
        KeepAlive(socket_->socketDescriptor());
        if (tls_)
            handshaking_ = true;
        else
            established_ = true;
    });

    owner_.Connecting();
    const QHostAddress target(address);
    if (target.isNull()) {
        QMetaObject::invokeMethod(
            this,
            [this, generation = generation_] {
                if (generation == generation_)
                    owner_.Failed();
            },
            Qt::QueuedConnection);
        return;
    }
    if (tls_)
        socket_->connectToHostEncrypted(target.toString(), port_, host_);
    else
        socket_->connectToHost(target, port_);
}

void MailConnection::StartTls() {
    if (!socket_)
        return;
    // What came after the server's yes in clear text is dropped unread: anyone
    // on the way could have put it there.
    while (socket_->bytesAvailable() > 0 && socket_->skip(socket_->bytesAvailable()) > 0) {
    }
    established_ = false;
    handshaking_ = true;
    socket_->startClientEncryption();
}

void MailConnection::Encrypted() {
    handshaking_ = false;
    established_ = true;
    outcome_.Encrypted = true;
    // Errors ignored for the trusted certificate are still listed here.
    outcome_.Verified = socket_->sslHandshakeErrors().isEmpty();
    if (!tls_)
        owner_.TlsUp();
}

void MailConnection::CertificateErrors(const QList<QSslError>& errors) {
    uint8_t problems = 0;
    bool other = errors.isEmpty();
    for (const QSslError& error : errors) {
        const uint8_t problem = CertificateProblemOf(error);
        problems |= problem;
        other = other || problem == 0;
    }
    const QSslCertificate peer = socket_->peerCertificate();
    outcome_.Host = hostText_;
    outcome_.Fingerprint = peer.isNull()
                               ? std::string()
                               : peer.digest(QCryptographicHash::Sha256).toHex().toStdString();
    if (other || peer.isNull()) {
        outcome_.Failure = TlsFailure::Handshake;
        return;
    }
    if (!trusted_.empty() && outcome_.Fingerprint == trusted_) {
        // The user trusted this very certificate as it is.
        socket_->ignoreSslErrors(errors);
        return;
    }
    outcome_.Failure = TlsFailure::Untrusted;
    outcome_.Problems = problems;
    outcome_.FingerprintChanged = !trusted_.empty();
}

void MailConnection::TlsFailed(TlsFailure failure) {
    if (outcome_.Failure == TlsFailure::None)
        outcome_.Failure = failure;
}

void MailConnection::ReadSocket() {
    char buffer[kReadChunk];
    const uint64_t generation = generation_;
    // What the owner does with the bytes may end this connection (or start another).
    while (socket_ && generation == generation_) {
        const qint64 n = socket_->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        owner_.Received(std::string_view(buffer, static_cast<size_t>(n)));
    }
}

void MailConnection::SocketClosed() {
    if (handshaking_) {
        SocketFailed();
        return;
    }
    const uint64_t generation = generation_;
    ReadSocket();
    if (generation == generation_)
        owner_.Closed();
}

void MailConnection::NoConnection(ConnectFailure failure) {
    if (outcome_.Connect != ConnectFailure::None)
        return;
    outcome_.Connect = failure;
    outcome_.Host = hostText_;
}

void MailConnection::SocketFailed() {
    if (handshaking_)
        TlsFailed(TlsFailure::Handshake);
    else if (!established_)
        NoConnection(ConnectFailureOf(socket_->error()));
    if (!established_)
        owner_.Failed();
    else
        SocketClosed();
}

void MailConnection::Flush() {
    if (socket_)
        socket_->flush();
}

bool MailConnection::Send(std::string_view bytes) {
    // Before the connection (or its TLS handshake) is up nothing can be sent; a
    // socket would buffer it and the server would take it for an answer.
    if (!socket_ || !established_)
        return false;
    return socket_->write(bytes.data(), static_cast<qint64>(bytes.size())) ==
           static_cast<qint64>(bytes.size());
}

} // namespace pim
