#include "mail/ServerDiscovery.h"

#include <QDnsLookup>
#include <algorithm>
#include <array>

namespace pim {

namespace {

struct Service {
    const char* name;
    const char* scheme; // before the host; POP3 without TLS has none
    quint16 port;       // the scheme's own, left out of the server
    bool tls;
};
constexpr std::array kServices{
    Service{"_imaps._tcp", "imaps://", 993, true}, Service{"_pop3s._tcp", "pop3s://", 995, true},
    Service{"_imap._tcp", "imap://", 143, false}, Service{"_pop3._tcp", "", 110, false}};

int Rank(const QString& service) {
    for (size_t i = 0; i < kServices.size(); ++i)
        if (service == QLatin1String(kServices[i].name))
            return int(i);
    return -1;
}

} // namespace

std::optional<ServerProposal> ChooseServer(std::vector<SrvRecord> records) {
    std::erase_if(records, [](const SrvRecord& r) {
        return Rank(r.service) < 0 || r.port == 0 || r.target.isEmpty() || r.target == u'.';
    });
    if (records.empty())
        return std::nullopt;
    const auto best = std::ranges::min_element(
        records, {}, [](const SrvRecord& r) { return std::pair(r.priority, Rank(r.service)); });
    const Service& service = kServices[size_t(Rank(best->service))];
    QString host = best->target;
    if (host.endsWith(u'.'))
        host.chop(1);
    if (host.contains(u':'))
        host = u'[' + host + u']';
    QString server = QLatin1String(service.scheme) + host;
    if (best->port != service.port)
        server += u':' + QString::number(best->port);
    return ServerProposal{server, service.tls};
}

ServerDiscovery::ServerDiscovery(QObject* parent) : QObject(parent) {
    timeOut_.setSingleShot(true);
    connect(&timeOut_, &QTimer::timeout, this, &ServerDiscovery::Finish);
}

ServerDiscovery::~ServerDiscovery() {
    for (QDnsLookup* lookup : lookups_)
        lookup->abort();
}

void ServerDiscovery::Start(const QString& domain) {
    for (QDnsLookup* lookup : std::exchange(lookups_, {}))
        lookup->abort(), lookup->deleteLater();
    records_.clear();
    for (const Service& service : kServices) {
        auto* lookup =
            new QDnsLookup(QDnsLookup::SRV, QLatin1String(service.name) + u'.' + domain, this);
        if (!Nameserver.isNull())
            lookup->setNameserver(Nameserver);
        connect(lookup, &QDnsLookup::finished, this, &ServerDiscovery::Answered);
        lookups_.push_back(lookup);
        lookup->lookup();
    }
    timeOut_.start(kTimeOutMs);
}

void ServerDiscovery::Answered() {
    auto* lookup = qobject_cast<QDnsLookup*>(sender());
    if (!lookup || std::ranges::find(lookups_, lookup) == lookups_.end())
        return;
    const QString service = lookup->name().section(u'.', 0, 1);
    if (lookup->error() == QDnsLookup::NoError)
        for (const QDnsServiceRecord& record : lookup->serviceRecords())
            records_.push_back({service, record.target(), record.port(), record.priority()});
    std::erase(lookups_, lookup);
    lookup->deleteLater();
    if (lookups_.empty())
        Finish();
}

void ServerDiscovery::Finish() {
    if (!timeOut_.isActive() && !lookups_.empty())
        for (QDnsLookup* lookup : std::exchange(lookups_, {}))
            lookup->abort(), lookup->deleteLater();
    timeOut_.stop();
    emit found(ChooseServer(std::exchange(records_, {})));
}

} // namespace pim
