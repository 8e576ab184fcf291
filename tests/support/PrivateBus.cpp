#include "support/PrivateBus.h"

#include "support/Spawn.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QThread>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pim::test {

namespace {

const char* const kPython = "/usr/bin/python3";
const char* const kDaemon = "/usr/bin/dbus-daemon";

void Stop(pid_t& pid) {
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool CanConnect(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

template <typename Predicate>
bool WaitFor(Predicate done, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (done())
            return true;
        QThread::msleep(20);
    }
    return done();
}

} // namespace

QString PrivateBus::SkipReason() {
    if (::access(kDaemon, X_OK) != 0)
        return QStringLiteral("dbus-daemon is not installed");
    if (std::system("/usr/bin/python3 -c 'import dbusmock, gi' 2>/dev/null") != 0)
        return QStringLiteral("python3-dbusmock is not installed");
    return {};
}

bool PrivateBus::Start() {
    const std::string socket = dir_.file("bus");
    address_ = "unix:path=" + socket;
    WriteFile(dir_.file("bus.conf"),
              R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>)" + address_ +
                  R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)");
    daemon_ = Spawn({kDaemon, "--nofork", "--nopidfile", "--config-file=" + dir_.file("bus.conf")},
                    {}, dir_.file("bus.log"));
    if (daemon_ < 0) {
        error_ = QStringLiteral("cannot start dbus-daemon");
        return false;
    }
    static int serial = 0;
    connectionName_ = QStringLiteral("pim-test-bus-%1").arg(++serial);
    // Connect only once the daemon listens: a failed attempt leaves libdbus unhappy.
    if (!WaitFor([&] { return CanConnect(socket); }, 10000)) {
        error_ = QStringLiteral("the private bus did not come up");
        return false;
    }
    bus_ = QDBusConnection::connectToBus(QString::fromStdString(address_), connectionName_);
    if (!bus_.isConnected()) {
        error_ = bus_.lastError().message();
        return false;
    }
    return true;
}

bool PrivateBus::StartMock(const std::vector<std::string>& arguments, bool asSystemBus,
                           const QString& service) {
    std::vector<std::string> argv = {kPython, "-m", "dbusmock"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const pid_t mock = Spawn(
        argv, {(asSystemBus ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=") + address_},
        dir_.file(service.toStdString() + ".log"));
    if (mock > 0)
        mocks_.push_back(mock);
    if (mock < 0 ||
        !WaitFor([&] { return bus_.interface()->isServiceRegistered(service).value(); }, 15000)) {
        error_ = QStringLiteral("the mock of %1 did not come up").arg(service);
        return false;
    }
    return true;
}

QDBusMessage PrivateBus::Call(const QString& service, const QString& path, const QString& interface,
                              const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = bus_.call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        error_ = reply.errorMessage();
    return reply;
}

std::vector<QVariantList> PrivateBus::MockCalls(const QString& service, const QString& path,
                                                const QString& method) {
    const QDBusMessage reply = Call(service, path, QStringLiteral("org.freedesktop.DBus.Mock"),
                                    QStringLiteral("GetMethodCalls"), {method});
    std::vector<QVariantList> calls;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return calls;
    const auto list = qvariant_cast<QDBusArgument>(reply.arguments().value(0));
    list.beginArray();
    while (!list.atEnd()) {
        quint64 time = 0;
        QVariantList arguments;
        list.beginStructure();
        list >> time;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant argument;
            list >> argument;
            arguments << argument.variant();
        }
        list.endArray();
        list.endStructure();
        calls.push_back(arguments);
    }
    list.endArray();
    return calls;
}

PrivateBus::~PrivateBus() {
    // Every reference goes before the connection is closed, and it is closed
    // before its daemon goes.
    bus_ = QDBusConnection(QString());
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    for (pid_t& mock : mocks_)
        Stop(mock);
    Stop(daemon_);
}

} // namespace pim::test
