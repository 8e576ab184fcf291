#include "support/PrivateBus.h"

#include "support/EventLoop.h"
#include "support/Spawn.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <sstream>

namespace pim::test {

using std::chrono::seconds;

QString PrivateBus::SkipReason() {
    if (::access("/usr/bin/dbus-daemon", X_OK) != 0)
        return QStringLiteral("dbus-daemon is not installed");
    if (std::system("/usr/bin/python3 -c 'import dbusmock, gi' 2>/dev/null") != 0)
        return QStringLiteral("python3-dbusmock is not installed");
    return {};
}

bool PrivateBus::Start() {
    address_ = "unix:path=" + dir_.file("bus");
    WriteFile(dir_.file("bus.conf"),
              "<busconfig><type>session</type><listen>" + address_ +
                  "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                  "<allow own=\"*\"/><allow send_destination=\"*\"/>"
                  "<allow receive_sender=\"*\"/></policy></busconfig>");
    children_.push_back(Spawn({"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--print-address",
                               "--config-file=" + dir_.file("bus.conf")},
                              {}, dir_.file("bus.log")));
    static int serial = 0;
    connectionName_ = QStringLiteral("pim-test-bus-%1").arg(++serial);
    // It prints its address once it listens; a failed connection leaves libdbus unhappy.
    if (children_[0] < 0 ||
        !RunUntil(
            [&] { return ReadFile(dir_.file("bus.log")).find(",guid=") != std::string::npos; },
            seconds(10))) {
        error_ = QStringLiteral("the private bus did not come up");
        return false;
    }
    bus_ = QDBusConnection::connectToBus(Address(), connectionName_);
    error_ = bus_.lastError().message();
    return bus_.isConnected();
}

bool PrivateBus::StartMock(const std::vector<std::string>& arguments, bool asSystemBus,
                           const QString& service) {
    std::vector<std::string> argv = {"/usr/bin/python3", "-m", "dbusmock"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return StartService(argv, asSystemBus, service);
}

bool PrivateBus::StartService(const std::vector<std::string>& argv, bool asSystemBus,
                              const QString& service) {
    children_.push_back(Spawn(
        argv, {(asSystemBus ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=") + address_},
        dir_.file(service.toStdString() + ".log")));
    if (children_.back() < 0 ||
        !RunUntil([&] { return bus_.interface()->isServiceRegistered(service).value(); },
                  seconds(15))) {
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

std::vector<std::string> PrivateBus::Logged(const QString& service,
                                            const std::string& method) const {
    std::vector<std::string> calls;
    std::istringstream log(ReadFile(dir_.file(service.toStdString() + ".log")));
    for (std::string line; std::getline(log, line);) {
        line.erase(0, line.find(' ') + 1); // the time
        if (line == method || line.starts_with(method + ' '))
            calls.push_back(line);
    }
    return calls;
}

PrivateBus::~PrivateBus() {
    // Every reference goes before the connection is closed, and it is closed
    // before its daemon goes.
    bus_ = QDBusConnection(QString());
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    for (auto child = children_.rbegin(); child != children_.rend(); ++child)
        if (*child > 0)
            ::kill(*child, SIGTERM), WaitExit(*child, std::chrono::seconds(5));
}

} // namespace pim::test
