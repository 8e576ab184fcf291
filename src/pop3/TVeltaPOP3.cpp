#include "pop3/TVeltaPOP3.h"

#include "common/Cp932.h"
#include "pop3/Pop3Endpoint.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QHostInfo>
#include <QSslSocket>

namespace pim {

namespace {
// Qt reads no further ahead than this, so memory stays flat however fast the server sends.
constexpr qint64 kReadChunk = 64 * 1024;
// A server that adds a line after refusing a login sends it at once.
constexpr int kRejectedLineWait = 2000;

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
} // namespace

TVeltaPOP3::TVeltaPOP3(QObject* parent) : MailChecker(parent) {
    session_.UseCache(&SummaryCache::Shared());
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.TimerExpired(); });
    sessionTimer_.setSingleShot(true);
    connect(&sessionTimer_, &QTimer::timeout, this, [this] { session_.SessionTimerExpired(); });
}

TVeltaPOP3::~TVeltaPOP3() {
    // Going away ends the session without reporting it.
    CloseConnection();
}

bool TVeltaPOP3::Connect(const std::string& hostName, const std::string& userID,
                         const std::string& password) {
    if (session_.Open())
        return false;
    const auto endpoint = ParsePop3Endpoint(hostName);
    if (!endpoint)
        return false;
    host_ = cp932::ToUnicode(endpoint->host);
    hostText_ = endpoint->host;
    port_ = endpoint->port;
    tls_ = endpoint->tls;
    ++generation_;
    tlsOutcome_ = {};
    tlsOutcome_.Offered = tls_;
    trustedFingerprint_ = Security.TrustedFingerprint;
    session_.Begin(userID, password, hostName,
                   tls_                ? Pop3Session::Tls::Implicit
                   : Security.Required ? Pop3Session::Tls::Required
                                       : Pop3Session::Tls::Offered);

    // An address needs no lookup (and a reverse lookup could stall on a machine
    // without DNS); it still connects from the event loop, never from inside Connect.
    if (!QHostAddress(host_).isNull()) {
        const uint64_t generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_ && session_.Open()) {
                    session_.StopTimeOut();
                    StartSocket(host_);
                }
            },
            Qt::QueuedConnection);
        return true;
    }
    // By slot name: an aborted lookup then leaves nothing behind, where a
    // functor's slot object would be freed only with a delivered result.
    lookupId_ = QHostInfo::lookupHost(host_, this, SLOT(LookupDone(QHostInfo)));
    return true;
}

bool TVeltaPOP3::Retr(int mailNo) {
    return session_.Retr(mailNo);
}

bool TVeltaPOP3::Quit() {
    return session_.Quit();
}

void TVeltaPOP3::LookupDone(const QHostInfo& info) {
    // A lookup that ends after its session was reset must never connect.
    if (info.lookupId() != lookupId_ || !session_.Open())
        return;
    lookupId_ = -1;
    session_.StopTimeOut();
    QString address = host_; // a failed lookup still tries the text as an address
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

void TVeltaPOP3::StartSocket(const QString& address) {
    // A TLS socket for plain POP3 too, so that STLS can upgrade it; the TLS
    // library is loaded with the first check, not at start.
    socket_ = new QSslSocket(this);
    socket_->setReadBufferSize(kReadChunk);
    // The name the account gives, not the address it resolved to.
    socket_->setPeerVerifyName(host_);
    established_ = false;
    handshaking_ = false;
    connect(socket_, &QTcpSocket::readyRead, this, &TVeltaPOP3::ReadSocket);
    connect(socket_, &QTcpSocket::disconnected, this, &TVeltaPOP3::SocketClosed);
    connect(socket_, &QTcpSocket::errorOccurred, this, &TVeltaPOP3::SocketFailed);
    connect(socket_, &QSslSocket::encrypted, this, &TVeltaPOP3::Encrypted);
    connect(socket_, &QSslSocket::sslErrors, this, &TVeltaPOP3::CertificateErrors);
    connect(socket_, &QTcpSocket::connected, this, [this] {
        if (tls_)
            handshaking_ = true;
        else
            established_ = true;
    });

    session_.StartTimeOut();
    const QHostAddress target(address);
    if (target.isNull()) {
        const uint64_t generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_)
                    session_.ConnectionFailed();
            },
            Qt::QueuedConnection);
        return;
    }
    if (tls_)
        socket_->connectToHostEncrypted(target.toString(), port_, host_);
    else
        socket_->connectToHost(target, port_);
}

void TVeltaPOP3::StartTls() {
    if (!socket_)
        return;
    // What came after "+OK" in clear text is dropped unread: anyone on the way
    // could have put it there.
    while (socket_->bytesAvailable() > 0 && socket_->skip(socket_->bytesAvailable()) > 0) {
    }
    established_ = false;
    handshaking_ = true;
    socket_->startClientEncryption();
}

void TVeltaPOP3::Encrypted() {
    handshaking_ = false;
    established_ = true;
    tlsOutcome_.Encrypted = true;
    // Errors ignored for the trusted certificate are still listed here.
    tlsOutcome_.Verified = socket_->sslHandshakeErrors().isEmpty();
    if (!tls_)
        session_.TlsStarted();
}

void TVeltaPOP3::CertificateErrors(const QList<QSslError>& errors) {
    uint8_t problems = 0;
    bool other = errors.isEmpty();
    for (const QSslError& error : errors) {
        const uint8_t problem = CertificateProblemOf(error);
        problems |= problem;
        other = other || problem == 0;
    }
    const QSslCertificate peer = socket_->peerCertificate();
    tlsOutcome_.Host = hostText_;
    tlsOutcome_.Fingerprint = peer.isNull()
                                  ? std::string()
                                  : peer.digest(QCryptographicHash::Sha256).toHex().toStdString();
    if (other || peer.isNull()) {
        tlsOutcome_.Failure = TlsFailure::Handshake;
        return;
    }
    const std::string& trusted = trustedFingerprint_;
    if (!trusted.empty() && tlsOutcome_.Fingerprint == trusted) {
        // The user trusted this very certificate as it is.
        socket_->ignoreSslErrors(errors);
        return;
    }
    tlsOutcome_.Failure = TlsFailure::Untrusted;
    tlsOutcome_.Problems = problems;
    tlsOutcome_.FingerprintChanged = !trusted.empty();
}

void TVeltaPOP3::TlsFailed(TlsFailure failure) {
    // The certificate's verdict comes first and says more.
    if (tlsOutcome_.Failure == TlsFailure::None)
        tlsOutcome_.Failure = failure;
}

void TVeltaPOP3::ReadSocket() {
    char buffer[kReadChunk];
    const uint64_t generation = generation_;
    // An event handler inside Receive may end this session (or start another).
    while (socket_ && generation == generation_) {
        const qint64 n = socket_->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        session_.Receive(std::string_view(buffer, static_cast<size_t>(n)));
    }
}

void TVeltaPOP3::SocketClosed() {
    if (handshaking_) {
        SocketFailed();
        return;
    }
    const uint64_t generation = generation_;
    ReadSocket();
    if (generation == generation_)
        session_.ConnectionClosed();
}

void TVeltaPOP3::SocketFailed() {
    // Refused, unreachable, or a TLS handshake or certificate that fails: no connection.
    if (handshaking_)
        TlsFailed(TlsFailure::Handshake);
    if (!established_)
        session_.ConnectionFailed();
    else
        SocketClosed();
}

bool TVeltaPOP3::SendLine(const std::string& line) {
    // Before the connection (or its TLS handshake) is up nothing can be sent; a
    // socket would buffer it and the server would take it for an answer.
    if (!socket_ || !established_)
        return false;
    const std::string text = line + "\r\n";
    return socket_->write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

void TVeltaPOP3::StartTimer(Wait wait) {
    // A time-out of 0 or less would never fire; it ends the wait at once instead.
    const int limit = std::max(1, TimeOutCount);
    timer_.start(wait == Wait::RejectedLine ? std::min(limit, kRejectedLineWait) : limit);
}

void TVeltaPOP3::StopTimer() {
    timer_.stop();
}

void TVeltaPOP3::StartSessionTimer() {
    sessionTimer_.start(Pop3Session::SessionLimit(TimeOutCount));
}

void TVeltaPOP3::StopSessionTimer() {
    sessionTimer_.stop();
}

void TVeltaPOP3::CloseConnection() {
    ++generation_;
    timer_.stop();
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

void TVeltaPOP3::Connected(int mailCount) {
    if (OnConnect)
        OnConnect(this, mailCount);
}

void TVeltaPOP3::MailInformation(const MailSummary& summary, const std::string& uniqueId) {
    if (OnGetMailInformation)
        OnGetMailInformation(this, summary.MailTitle, summary.SendUser, summary.RecvTime, uniqueId);
}

void TVeltaPOP3::Disconnected() {
    if (OnDisconnect)
        OnDisconnect(this);
}

void TVeltaPOP3::QuitRefused() {
    if (OnQuitRefused)
        OnQuitRefused(this);
}

void TVeltaPOP3::Failed(uint8_t errorNo) {
    if (OnError)
        OnError(this, errorNo);
}

} // namespace pim
