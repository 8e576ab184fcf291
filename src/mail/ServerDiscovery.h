// The mail server of an address's domain from its DNS SRV records (RFC 6186,
// RFC 8314): which service of which host an account should use. The choice is
// apart from the lookup, which QDnsLookup does without waiting.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <vector>

class QDnsLookup;

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
    bool operator==(const ServerProposal&) const = default;
};

// The lowest priority wins; between equals, IMAP over TLS, POP3 over TLS, then
// IMAP and POP3 with STARTTLS. None where every record says "not offered".
std::optional<ServerProposal> ChooseServer(std::vector<SrvRecord> records);

// Asks the DNS for the four services of `domain` at once and tells the choice
// (or none) once all have answered or after kTimeOutMs.
class ServerDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeOutMs = 5000;
    // Whom every lookup asks; the system's resolver where null (tests name their own).
    static inline QHostAddress Nameserver;
    explicit ServerDiscovery(QObject* parent = nullptr);
    ~ServerDiscovery() override;
    void Start(const QString& domain);

signals:
    void found(const std::optional<pim::ServerProposal>& proposal);

private:
    void Answered();
    void Finish();

    std::vector<QDnsLookup*> lookups_;
    std::vector<SrvRecord> records_;
    QTimer timeOut_;
};

} // namespace pim
