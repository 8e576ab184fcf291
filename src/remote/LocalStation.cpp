#include "remote/LocalStation.h"

#include <QHostInfo>
#include <QNetworkInterface>
#include <unistd.h>

namespace pim {

std::string LocalMachineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    std::string shortName(name);
    shortName = shortName.substr(0, shortName.find('.'));
    return shortName.substr(0, 15);
}

std::string LocalIPv4Address() {
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack) ||
            !(flags & QNetworkInterface::CanBroadcast))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                return entry.ip().toString().toStdString();
        }
    }
    for (const QHostAddress& address :
         QHostInfo::fromName(QHostInfo::localHostName()).addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address.toString().toStdString();
    }
    return {};
}

} // namespace pim
