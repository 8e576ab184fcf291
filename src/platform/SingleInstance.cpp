#include "platform/SingleInstance.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace pim {

namespace {

using namespace std::chrono_literals;

// "Pim: show\n", or with the launcher's tokens: "Pim: show WAYLAND<tab>X11\n".
const QByteArray kRequest = QByteArrayLiteral("Pim: show");
constexpr qsizetype kMaxToken = 512;
constexpr qsizetype kMaxRequest = 9 + 1 + kMaxToken + 1;
const QByteArray kAnswer = QByteArrayLiteral("Pim: shown\n");
// A second start is quick; whatever takes longer, or comes in numbers, is no second start.
constexpr auto kPatience = 2s;
constexpr int kMaxPeers = 8;

// A folder only this user can reach: made if missing, and refused when it is a
// link, no folder, another user's or open to others (in /tmp anybody may have made it first).
bool PrivateFolder(const std::string& path) {
    ::mkdir(path.c_str(), 0700);
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

std::string HostName() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    std::string host = name;
    std::replace(host.begin(), host.end(), '/', '_');
    return host.empty() ? "localhost" : host;
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

// Only the user's own Pim is asked: a socket planted by another user must not
// answer in its place.
bool PeerIs(int fd, uid_t user) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == user;
}

} // namespace

std::string SingleInstance::BasePath(const char* runtime, const std::string& tmp,
                                     const std::string& home) {
    // A runtime folder that is not there (a stale variable after su, a container),
    // is another user's or is open to others must not keep Pim from starting,
    // nor hold its lock.
    struct stat info {};
    if (runtime && *runtime == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid() && (info.st_mode & 077) == 0 &&
        ::access(runtime, W_OK | X_OK) == 0)
        return std::string(runtime) + "/Pim";
    // The home folder before /tmp: nobody else decides what is there, so every
    // start of this user's finds the same place. It may be shared between
    // machines: the name keeps one machine's Pim from keeping another's from starting.
    if (!home.empty()) {
        ::mkdir((home + "/.cache").c_str(), 0700);
        if (PrivateFolder(home + "/.cache/Pim"))
            return home + "/.cache/Pim/" + HostName();
    }
    const std::string own = tmp + "/Pim-" + std::to_string(::getuid());
    return PrivateFolder(own) ? own + "/Pim" : std::string();
}

std::string SingleInstance::BasePath() {
    // Chosen once: the lock and the socket must never part.
    static const std::string base = [] {
        const passwd* user = ::getpwuid(::getuid());
        return BasePath(std::getenv("XDG_RUNTIME_DIR"), "/tmp",
                        user && user->pw_dir ? user->pw_dir : "");
    }();
    return base;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string SingleInstance::LockPath() {
    const std::string base = BasePath();
    return base.empty() ? base : base + ".lock";
}

std::string SingleInstance::SocketPath() {
    const std::string base = BasePath();
    return base.empty() ? base : base + ".socket";
}

SingleInstance::Outcome SingleInstance::Acquire(std::string* error) {
    if (fd_ >= 0)
        return Outcome::Acquired;
    const std::string path = LockPath();
    if (path.empty()) {
        if (error)
            *error = "~/.cache/Pim, /tmp/Pim-" + std::to_string(::getuid()) + ": " +
                     std::strerror(EACCES);
        return Outcome::Failed;
    }
    // Close-on-exec: a mail program started by Pim must not keep holding the lock.
    // No-follow, and a file of this user's own: a lock another user holds must
    // never keep this Pim from starting.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat info {};
    if (fd >= 0 &&
        (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid())) {
        ::close(fd);
        if (error)
            *error = path + ": " + std::strerror(EACCES);
        return Outcome::Failed;
    }
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

namespace {

// Printable, and at most one tab between the two kinds.
bool TokenText(QByteArrayView token) {
    return token.size() <= kMaxToken && token.count('\t') <= 1 &&
           std::all_of(token.begin(), token.end(),
                       [](char c) { return c == '\t' || (c >= 0x20 && c < 0x7f); });
}

QByteArray ShowRequest(const QByteArray& token) {
    return !token.isEmpty() && TokenText(token) ? kRequest + ' ' + token + '\n' : kRequest + '\n';
}

} // namespace

QByteArray LauncherToken() {
    // Both: which one counts depends on the platform the running Pim is on.
    const QByteArray wayland = qgetenv("XDG_ACTIVATION_TOKEN"), x11 = qgetenv("DESKTOP_STARTUP_ID");
    if (wayland.contains('\t') || x11.contains('\t'))
        return {};
    return wayland.isEmpty() && x11.isEmpty() ? QByteArray() : wayland + '\t' + x11;
}

bool SingleInstance::ShowRunning(const std::string& socketPath, std::chrono::milliseconds wait,
                                 const QByteArray& token, uid_t owner) {
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
    const QByteArray request = ShowRequest(token);
    if (PeerIs(fd, owner) &&
        ::send(fd, request.constData(), request.size(), MSG_NOSIGNAL) == request.size()) {
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

ShowRequestState CheckShowRequest(const QByteArray& received, QByteArray* token) {
    if (!received.startsWith(kRequest))
        return kRequest.startsWith(received) ? ShowRequestState::Partial : ShowRequestState::Bad;
    QByteArrayView rest = QByteArrayView(received).sliced(kRequest.size());
    const bool ended = rest.endsWith('\n');
    if (ended)
        rest.chop(1);
    if (!rest.isEmpty()) {
        if (rest.front() != ' ' || rest.size() == 1 || !TokenText(rest.sliced(1)))
            return ShowRequestState::Bad;
        rest = rest.sliced(1);
    }
    if (!ended)
        return ShowRequestState::Partial;
    if (token)
        *token = rest.toByteArray();
    return ShowRequestState::Complete;
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
        if (!PeerIs(static_cast<int>(peer->socketDescriptor()), ::getuid())) {
            peer->abort();
            peer->deleteLater();
            continue;
        }
        ++pending_;
        peer->setReadBufferSize(kMaxRequest + 1);
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
    // One byte beyond the longest request tells "too much" from "just right".
    received += peer->read(kMaxRequest + 1 - received.size());
    QByteArray token;
    switch (CheckShowRequest(received, &token)) {
    case ShowRequestState::Partial:
        peer->setProperty("received", received);
        return;
    case ShowRequestState::Bad:
        peer->abort();
        peer->deleteLater();
        return;
    case ShowRequestState::Complete:
        disconnect(peer, &QLocalSocket::readyRead, this, nullptr);
        emit showRequested(token);
        peer->write(kAnswer);
        peer->disconnectFromServer();
        return;
    }
}

} // namespace pim
