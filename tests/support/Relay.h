// A TCP relay on loopback that passes each new connection on to the port set
// at that moment: one host name for the client, another server behind it at
// its next connection.
#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>

namespace pim::test {

class Relay : public QObject {
public:
    uint16_t target = 0;

    Relay() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* in = server_.nextPendingConnection())
                Pass(in);
        });
    }
    bool Listen() { return server_.listen(QHostAddress::LocalHost); }
    uint16_t Port() const { return server_.serverPort(); }

private:
    void Pass(QTcpSocket* in) const {
        auto* out = new QTcpSocket(in); // what the client writes first waits in it
        connect(in, &QTcpSocket::readyRead, out, [in, out] { out->write(in->readAll()); });
        connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
        connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
        connect(in, &QTcpSocket::disconnected, in, [in, out] {
            out->disconnectFromHost();
            in->deleteLater();
        });
        out->connectToHost(QHostAddress::LocalHost, target);
    }
    QTcpServer server_;
};

} // namespace pim::test
