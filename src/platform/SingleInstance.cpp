#include "platform/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace pim {

namespace {

using namespace std::chrono_literals;

const QByteArray kRequest = QByteArrayLiteral("Pim: show\n");
const QByteArray kAnswer = QByteArrayLiteral("Pim: shown\n");
// A second start is quick; whatever takes longer, or comes in numbers, is no second start.
constexpr auto kPatience = 2s;
constexpr int kMaxPeers = 8;

// The lock and the socket share a name; only the ending differs.
std::string BasePath() {
    // A runtime folder that is not there (a stale variable after su, a container)
    // must not keep Pim from starting.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime && *runtime == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        ::access(runtime, W_OK | X_OK) == 0)
        return std::string(runtime) + "/Pim";
    return "/tmp/Pim-" + std::to_string(::getuid());
}

int ConnectOnce(const sockaddr_un& address) {
    // Non-blocking: a Pim that hangs with a full backlog must not hang this one.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    ::close(fd);
    return -1;
}

} // namespace

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string SingleInstance::LockPath() {
    return BasePath() + ".lock";
}

std::string SingleInstance::SocketPath() {
    return BasePath() + ".socket";
}

SingleInstance::Outcome SingleInstance::Acquire(std::string* error) {
    if (fd_ >= 0)
        return Outcome::Acquired;
    const std::string path = LockPath();
    // Close-on-exec: a mail program started by Pim must not keep holding the lock.
    // No-follow: in /tmp another user could plant a link.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int reason = errno;
        if (fd >= 0)
            ::close(fd);
        if (fd >= 0 && reason == EWOULDBLOCK)
            return Outcome::HeldElsewhere;
        if (error)
            *error = path + ": " + std::strerror(reason);
        return Outcome::Failed;
    }
    fd_ = fd;
    return Outcome::Acquired;
}

bool SingleInstance::ShowRunning(const std::string& socketPath, std::chrono::milliseconds wait) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return false;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);

    using Clock = std::chrono::steady_clock;
    // The other Pim holds the lock from its first moment but listens only once its
    // window is made.
    const auto connectBy = Clock::now() + wait;
    int fd = ConnectOnce(address);
    while (fd < 0 && Clock::now() < connectBy) {
        std::this_thread::sleep_for(50ms);
        fd = ConnectOnce(address);
    }
    if (fd < 0)
        return false;
    bool shown = false;
    if (::send(fd, kRequest.constData(), kRequest.size(), MSG_NOSIGNAL) == kRequest.size()) {
        QByteArray answer;
        const auto answerBy = Clock::now() + wait;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(answerBy - Clock::now());
            pollfd readable{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0)
                break;
            char buffer[32];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0)
                break;
            answer.append(buffer, got);
            if (answer.size() >= kAnswer.size())
                break;
        }
        shown = answer == kAnswer;
    }
    ::close(fd);
    return shown;
}

ShowRequestState CheckShowRequest(const QByteArray& received) {
    if (received == kRequest)
        return ShowRequestState::Complete;
    return kRequest.startsWith(received) ? ShowRequestState::Partial : ShowRequestState::Bad;
}

ShowRequestServer::ShowRequestServer(QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &ShowRequestServer::Accept);
}

ShowRequestServer::~ShowRequestServer() = default;

bool ShowRequestServer::Listen(const std::string& path) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

void ShowRequestServer::Accept() {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
        if (pending_ >= kMaxPeers) {
            peer->abort();
            peer->deleteLater();
            continue;
        }
        ++pending_;
        peer->setReadBufferSize(kRequest.size() + 1);
        connect(peer, &QObject::destroyed, this, [this] { --pending_; });
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { Read(peer); });
        QTimer::singleShot(kPatience, peer, [peer] {
            peer->abort();
            peer->deleteLater();
        });
        Read(peer);
    }
}

void ShowRequestServer::Read(QLocalSocket* peer) {
    if (peer->state() != QLocalSocket::ConnectedState)
        return;
    QByteArray received = peer->property("received").toByteArray();
    // One byte beyond the request tells "too much" from "just right".
    received += peer->read(kRequest.size() + 1 - received.size());
    switch (CheckShowRequest(received)) {
    case ShowRequestState::Partial:
        peer->setProperty("received", received);
        return;
    case ShowRequestState::Bad:
        peer->abort();
        peer->deleteLater();
        return;
    case ShowRequestState::Complete:
        disconnect(peer, &QLocalSocket::readyRead, this, nullptr);
        emit showRequested();
        peer->write(kAnswer);
        peer->disconnectFromServer();
        return;
    }
}

} // namespace pim
