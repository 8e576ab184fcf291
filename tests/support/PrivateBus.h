// A private D-Bus daemon for a test, and services that python3-dbusmock plays
// on it. Nothing touches the machine's own session or system bus.
#pragma once

#include "support/TempDir.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace pim::test {

class PrivateBus {
public:
    ~PrivateBus(); // not copied: its folder is not

    // Why it cannot run here; empty when it can.
    static QString SkipReason();
    // Starts the daemon and connects to it.
    bool Start();
    // Starts `python3 -m dbusmock` with `arguments` on this bus (given to it as
    // the system bus or the session bus) and waits until `service` is there.
    bool StartMock(const std::vector<std::string>& arguments, bool asSystemBus,
                   const QString& service);
    // The same for any program `argv`.
    bool StartService(const std::vector<std::string>& argv, bool asSystemBus,
                      const QString& service);

    QDBusConnection Bus() const { return bus_; }
    // For a second peer on the same bus.
    QString Address() const { return QString::fromStdString(address_); }
    const QString& error() const { return error_; }
    // A method call and its reply (an error reply sets error()).
    QDBusMessage Call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {});
    // Each call of `method` that the mock of `service` logged so far, oldest first,
    // as it logs them: `Notify "Pim" 0 ["default", "..."] {"key": "value"} -1`.
    std::vector<std::string> Logged(const QString& service, const std::string& method) const;
    // All that the service started for `service` printed so far.
    std::string Output(const QString& service) const {
        return ReadFile(dir_.file(service.toStdString() + ".log"));
    }

private:
    TempDir dir_;
    std::string address_;
    std::vector<pid_t> children_; // the daemon first
    QString connectionName_;
    QDBusConnection bus_{QString()};
    QString error_;
};

} // namespace pim::test
