// Where the browser comes back to after the provider's sign-in page: one port
// on 127.0.0.1 and ::1 (a provider registered with "localhost" may send the
// browser to either), open only while a sign-in waits.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace pim {

class LoopbackRedirect : public QObject {
    Q_OBJECT
public:
    // Connections open at once beyond this are dropped unanswered.
    static constexpr int kMaxConnections = 16;
    // A connection that sends no whole request head in this time is dropped.
    static constexpr int kRequestMs = 10'000;

    explicit LoopbackRedirect(QObject* parent = nullptr);
    ~LoopbackRedirect() override;

    // Waits for the redirect carrying `state`; false when no port could be had.
    bool Listen(const QByteArray& state);
    quint16 Port() const { return port_; }
    // Stops listening and drops every connection; nothing more is told.
    void Close();

signals:
    // Told once; the listener is closed by then.
    void codeReceived(const QByteArray& code);
    void denied(const QString& reason);

private:
    void Accept(QTcpServer& server);
    void Read(QTcpSocket* socket);

    std::vector<std::unique_ptr<QTcpServer>> servers_;
    QByteArray state_;
    quint16 port_ = 0;
    int open_ = 0;
};

} // namespace pim
