#include "oauth/LoopbackRedirect.h"

#include "common/UiText.h"
#include "oauth/RedirectRequest.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

namespace pim {
namespace {

// Another program may hold ::1's side of the port 127.0.0.1 was given: a few
// other ports are tried before IPv4 alone is taken.
constexpr int kPortTries = 8;

} // namespace

LoopbackRedirect::LoopbackRedirect(QObject* parent) : QObject(parent) {}

LoopbackRedirect::~LoopbackRedirect() {
    Close();
}

bool LoopbackRedirect::Listen(const QByteArray& state) {
    Close();
    state_ = state;
    for (int attempt = 0; attempt < kPortTries && servers_.empty(); ++attempt) {
        auto v4 = std::make_unique<QTcpServer>();
        if (!v4->listen(QHostAddress::LocalHost, 0))
            return false;
        auto v6 = std::make_unique<QTcpServer>();
        const bool both = v6->listen(QHostAddress::LocalHostIPv6, v4->serverPort());
        // Without IPv6 the browser cannot reach ::1 either; a port held there
        // by someone else would hand them the code.
        if (!both && v6->serverError() == QAbstractSocket::AddressInUseError)
            continue;
        port_ = v4->serverPort();
        servers_.push_back(std::move(v4));
        if (both)
            servers_.push_back(std::move(v6));
    }
    for (const auto& server : servers_) {
        QTcpServer* raw = server.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { Accept(*raw); });
    }
    return !servers_.empty();
}

void LoopbackRedirect::Close() {
    servers_.clear(); // their sockets are their children
    open_ = 0;
    port_ = 0;
}

void LoopbackRedirect::Accept(QTcpServer& server) {
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        if (open_ >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { open_ = std::max(open_ - 1, 0); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
        QTimer::singleShot(kRequestMs, socket, [socket] { socket->abort(); });
        socket->setReadBufferSize(kMaxRedirectRequest + 1);
    }
}

void LoopbackRedirect::Read(QTcpSocket* socket) {
    if (socket->property("answered").toBool())
        return;
    QByteArray head = socket->property("head").toByteArray();
    head += socket->read(kMaxRedirectRequest + 1 - head.size());
    socket->setProperty("head", head);
    const RedirectVerdict verdict = ReadRedirect(head, state_);
    if (verdict.kind == RedirectVerdict::Incomplete)
        return;
    QString text;
    switch (verdict.kind) {
    case RedirectVerdict::Code:
        text = UiString("SignIn", "Pim にサインインしました。このタブは閉じてかまいません。");
        break;
    case RedirectVerdict::Denied:
        text = UiString("SignIn", "サインインできませんでした: %1").arg(verdict.error);
        break;
    default:
        text = UiString("SignIn", "このページは Pim のサインインのものではありません。");
        break;
    }
    socket->setProperty("answered", true);
    socket->write(RedirectAnswer(verdict.status, text));
    socket->disconnectFromHost();
    if (verdict.kind == RedirectVerdict::Ignored)
        return;
    // The answer still goes out: the socket outlives its server.
    socket->setParent(nullptr);
    QTimer::singleShot(kRequestMs, socket, &QObject::deleteLater);
    Close();
    if (verdict.kind == RedirectVerdict::Code)
        emit codeReceived(verdict.code);
    else
        emit denied(verdict.error);
}

} // namespace pim
