#pragma once

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <string>
#include <unistd.h>

class QLocalServer;
class QLocalSocket;

namespace pim {

// Only one Pim runs per user: a lock on a file that the kernel releases when the
// process ends, however it ends, so a crashed Pim never blocks the next start.
class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // $XDG_RUNTIME_DIR/Pim.lock, else (unset, or not a private folder of this
    // user's own) ~/.cache/Pim/<host>.lock, else /tmp/Pim-<uid>/Pim.lock, each
    // in a folder only this user can reach. Empty when there is no such folder.
    static std::string LockPath();
    // The running Pim's socket, beside the lock.
    static std::string SocketPath();

    enum class Outcome { Acquired, HeldElsewhere, Failed };
    // Failed: the lock file cannot be made; `error` then says why.
    Outcome Acquire(std::string* error = nullptr);

    // Asks the Pim that holds the lock to show its window: connects (the other
    // may still be starting, so for up to `wait`), sends the request with the
    // launcher's activation token and waits as long again for the answer. False
    // when nobody answered, or the socket's end is not `owner`'s.
    static bool ShowRunning(const std::string& socketPath, std::chrono::milliseconds wait,
                            const QByteArray& token = {}, uid_t owner = ::getuid());

    // Where the lock and socket go, without their endings, given the runtime
    // folder (may be null), the folder for temporary files and the home folder.
    static std::string BasePath(const char* runtime, const std::string& tmp,
                                const std::string& home);

private:
    static std::string BasePath();

    int fd_ = -1;
};

// The activation tokens this process was started with, Wayland's and X11's
// startup id joined by a tab; empty when none.
QByteArray LauncherToken();

// What a connection to the socket has sent so far: the request, a part of it,
// or anything else. A complete request gives its activation token, if any.
enum class ShowRequestState { Partial, Complete, Bad };
ShowRequestState CheckShowRequest(const QByteArray& received, QByteArray* token = nullptr);

// The running Pim's end of the socket: a second start asks it to show the window.
// A peer that sends anything but the request, or too little for too long, is
// dropped; none holds up the others.
class ShowRequestServer : public QObject {
    Q_OBJECT
public:
    explicit ShowRequestServer(QObject* parent = nullptr);
    ~ShowRequestServer() override;

    // Call only while holding the lock: whatever lies at `path` is then left
    // by a Pim that has ended, and is replaced.
    bool Listen(const std::string& path);

signals:
    // `token`: the second start's activation token; empty when it had none.
    void showRequested(const QByteArray& token);

private:
    void Accept();
    void Read(QLocalSocket* peer);

    QLocalServer* server_;
    int pending_ = 0;
};

} // namespace pim
