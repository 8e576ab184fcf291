// The mail server of an address's domain from its DNS SRV records (RFC 6186,
// RFC 8314), else from the provider's autoconfig document: which service of
// which host an account should use. The choices are apart from the lookups,
// which wait for nothing.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <vector>

class QDnsLookup;
class QNetworkAccessManager;
class QNetworkReply;

namespace pim {

struct SrvRecord {
    QString service; // "_imaps._tcp", "_pop3s._tcp", "_imap._tcp" or "_pop3._tcp"
    QString target;  // "." where the domain says it does not offer the service
    quint16 port = 0;
    quint16 priority = 0;
};

struct ServerProposal {
    QString server;  // as an account's host: "imaps://mail.example.jp"
    bool tls = true; // false: STARTTLS at best, the password in clear at worst
    QString user;    // the user ID the provider names; empty: the address
    // The DNS named a host outside the address's domain: an answer anyone on the
    // way could have forged, which no certificate of the domain vouches for.
    bool outside = false;
    bool operator==(const ServerProposal&) const = default;
};

// The lowest priority wins; between equals, IMAP over TLS, POP3 over TLS, then
// IMAP and POP3 with STARTTLS. None where every record says "not offered".
std::optional<ServerProposal> ChooseServer(std::vector<SrvRecord> records);

// The incoming server of an autoconfig document (config-v1.1.xml) for
// `address`, chosen as above; none for a document that is not one, or too large.
std::optional<ServerProposal> ReadAutoconfig(const QByteArray& document, const QString& address);

// Asks the DNS for the four services of the address's domain at once; where
// none is offered, the provider's autoconfig document over HTTPS. Tells the
// choice (or none) once known; each step ends after kTimeOutMs.
class ServerDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeOutMs = 5000;
    // Whom every lookup asks; the system's resolver where null (tests name their own).
    static inline QHostAddress Nameserver;
    // Where the autoconfig documents are asked for instead of the domain's own
    // hosts (tests: "https://127.0.0.1:port"); empty: the domain's.
    static inline QString AutoconfigBase;
    static constexpr qint64 kMaxDocumentBytes = 64 * 1024;
    explicit ServerDiscovery(QObject* parent = nullptr);
    ~ServerDiscovery() override;
    void Start(const QString& address);

signals:
    void found(const std::optional<pim::ServerProposal>& proposal);

private:
    void Answered();
    void Finish();
    // The autoconfig document at the `step`th place; none past the last.
    void FetchAutoconfig(int step);
    void Fetched(QNetworkReply* reply, int step);
    // The `step`th customary name of the domain's servers; none past the last.
    void Probe(int step);

    QString address_;
    std::vector<QDnsLookup*> lookups_;
    QNetworkAccessManager* network_ = nullptr;
    std::vector<SrvRecord> records_;
    QTimer timeOut_;
};

} // namespace pim
