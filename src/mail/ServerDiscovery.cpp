#include "mail/ServerDiscovery.h"

#include <QDnsLookup>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>
#include <QXmlStreamReader>
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

std::optional<ServerProposal> ReadAutoconfig(const QByteArray& document, const QString& address) {
    if (document.size() > ServerDiscovery::kMaxDocumentBytes)
        return std::nullopt;
    // Each incoming server as SRV records would name it, in the document's order.
    std::vector<SrvRecord> servers;
    std::vector<QString> users;
    QXmlStreamReader xml(document);
    QString type, host, port, socket, user;
    bool incoming = false;
    while (!xml.atEnd() && !xml.hasError()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"incomingServer") {
            incoming = true;
            type = xml.attributes().value(QLatin1String("type")).toString();
            host = port = socket = user = QString();
        } else if (incoming && xml.isStartElement()) {
            const QStringView name = xml.name();
            QString* field = name == u"hostname"     ? &host
                             : name == u"port"       ? &port
                             : name == u"socketType" ? &socket
                             : name == u"username"   ? &user
                                                     : nullptr;
            const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
            if (field)
                *field = text.trimmed();
        } else if (incoming && xml.isEndElement() && xml.name() == u"incomingServer") {
            incoming = false;
            const bool tls = socket == u"SSL";
            host.replace(QLatin1String("%EMAILDOMAIN%"), address.section(u'@', -1));
            if ((type != u"imap" && type != u"pop3") || (!tls && socket != u"STARTTLS") ||
                host.isEmpty() || host.contains(u'/') || host.contains(u'%'))
                continue;
            // The order among equals is the document's own.
            servers.push_back({u'_' + type + QLatin1String(tls ? "s._tcp" : "._tcp"), host,
                               quint16(port.toUInt()), quint16(servers.size())});
            users.push_back(user);
        }
    }
    if (xml.hasError())
        return std::nullopt;
    // TLS before STARTTLS, whatever the document's order.
    for (SrvRecord& server : servers)
        server.priority =
            quint16(server.priority + (server.service.endsWith(u"s._tcp") ? 0 : 1000));
    std::optional<ServerProposal> chosen = ChooseServer(servers);
    if (!chosen)
        return chosen;
    for (size_t i = 0; i < servers.size(); ++i) {
        // The user of the very entry chosen: a host may serve POP3 and IMAP apart.
        if (ChooseServer({servers[i]}) != chosen)
            continue;
        const QString local = address.section(u'@', 0, -2);
        QString named = users[i];
        named.replace(QLatin1String("%EMAILADDRESS%"), address)
            .replace(QLatin1String("%EMAILLOCALPART%"), local);
        if (named != address && !named.contains(u'%'))
            chosen->user = named;
        break;
    }
    return chosen;
}

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
    return ServerProposal{server, service.tls, {}};
}

ServerDiscovery::ServerDiscovery(QObject* parent) : QObject(parent) {
    timeOut_.setSingleShot(true);
    connect(&timeOut_, &QTimer::timeout, this, &ServerDiscovery::Finish);
}

ServerDiscovery::~ServerDiscovery() {
    // An abort tells its end at once: nobody here may hear it any more.
    for (QDnsLookup* lookup : lookups_)
        lookup->disconnect(this), lookup->abort();
}

void ServerDiscovery::Start(const QString& address) {
    for (QDnsLookup* lookup : std::exchange(lookups_, {}))
        lookup->abort(), lookup->deleteLater();
    records_.clear();
    address_ = address;
    const QString domain = address.section(u'@', -1);
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
    std::optional<ServerProposal> chosen = ChooseServer(std::exchange(records_, {}));
    if (!chosen)
        return FetchAutoconfig(0);
    const QString host = QUrl(chosen->server).host(), domain = address_.section(u'@', -1);
    chosen->outside = host.compare(domain, Qt::CaseInsensitive) != 0 &&
                      !host.endsWith(u'.' + domain, Qt::CaseInsensitive);
    emit found(chosen);
}

void ServerDiscovery::FetchAutoconfig(int step) {
    const QString domain = address_.section(u'@', -1);
    const QString base = AutoconfigBase.isEmpty() ? QString() : AutoconfigBase;
    QUrl url;
    if (step == 0) {
        url = QUrl((base.isEmpty() ? QStringLiteral("https://autoconfig.") + domain : base) +
                   QStringLiteral("/mail/config-v1.1.xml"));
        url.setQuery({{QStringLiteral("emailaddress"), address_}});
    } else if (step == 1) {
        url = QUrl((base.isEmpty() ? QStringLiteral("https://") + domain : base) +
                   QStringLiteral("/.well-known/autoconfig/mail/config-v1.1.xml"));
    }
    if (!url.isValid() || url.scheme() != u"https" || url.host().isEmpty())
        return Probe(0);
    if (!network_)
        network_ = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    // Secure to the end: an HTTPS page may send the reader to another, never to HTTP.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setTransferTimeout(kTimeOutMs);
    QNetworkReply* reply = network_->get(request);
    // The transfer time-out counts only silence: a server that trickles is cut too.
    QTimer::singleShot(kTimeOutMs, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxDocumentBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, step] { Fetched(reply, step); });
}

// The last guess: the customary names, where the DNS knows them; over TLS only,
// the user may change it.
void ServerDiscovery::Probe(int step) {
    static constexpr std::array kGuesses{std::pair{"imap.", "imaps://"},
                                         std::pair{"pop.", "pop3s://"}};
    if (step >= int(kGuesses.size())) {
        emit found(std::nullopt);
        return;
    }
    const QString host = QLatin1String(kGuesses[size_t(step)].first) + address_.section(u'@', -1);
    auto* lookup = new QDnsLookup(QDnsLookup::A, host, this);
    if (!Nameserver.isNull())
        lookup->setNameserver(Nameserver);
    lookups_.push_back(lookup);
    connect(lookup, &QDnsLookup::finished, this, [this, lookup, host, step] {
        lookup->deleteLater();
        if (std::erase(lookups_, lookup) == 0)
            return; // given up
        if (lookup->error() == QDnsLookup::NoError && !lookup->hostAddressRecords().isEmpty())
            emit found(
                ServerProposal{QLatin1String(kGuesses[size_t(step)].second) + host, true, {}});
        else
            Probe(step + 1);
    });
    lookup->lookup();
    QTimer::singleShot(kTimeOutMs, lookup, [this, lookup, step] {
        if (std::erase(lookups_, lookup) == 0)
            return;
        lookup->abort();
        lookup->deleteLater();
        Probe(step + 1);
    });
}

void ServerDiscovery::Fetched(QNetworkReply* reply, int step) {
    reply->deleteLater();
    std::optional<ServerProposal> chosen;
    if (reply->error() == QNetworkReply::NoError)
        chosen = ReadAutoconfig(reply->read(kMaxDocumentBytes + 1), address_);
    if (chosen)
        emit found(chosen);
    else
        FetchAutoconfig(step + 1);
}

} // namespace pim
