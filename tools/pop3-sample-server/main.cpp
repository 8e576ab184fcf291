// pop3-sample-server: serves a few sample messages over POP3 on 127.0.0.1 so a
// mail client can be tried without a real account. Prints "PORT n" first so
// scripts can find it:
//
//   pop3-sample-server [--port N] [--user NAME] [--pass WORD] [--mailbox DIR]
#include "Mailbox.h"
#include "Pop3Session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <memory>

namespace pim::sample {
namespace {

// RFC 2449 allows 255 octets per command; a client that sends far more is broken.
constexpr qsizetype kLineLimit = 1024;

// Feeds one socket's command lines to its session; lives as long as the socket.
class Connection : public QObject {
public:
    Connection(QTcpSocket* socket, Maildrop& maildrop, const QByteArray& user,
               const QByteArray& password)
        : QObject(socket), socket_(socket), session_(maildrop, user, password) {
        connect(socket, &QTcpSocket::readyRead, this, &Connection::Read);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(Pop3Session::Greeting());
    }

private:
    void Read() {
        buffer_ += socket_->readAll();
        for (qsizetype end; !session_.Finished() && (end = buffer_.indexOf('\n')) >= 0;) {
            QByteArray line = buffer_.left(end);
            buffer_.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            socket_->write(session_.Reply(line));
        }
        if (!session_.Finished() && buffer_.size() > kLineLimit) {
            socket_->write("-ERR line too long\r\n");
            buffer_.clear();
            socket_->disconnectFromHost();
        }
        if (session_.Finished())
            socket_->disconnectFromHost();
    }

    QTcpSocket* socket_;
    Pop3Session session_;
    QByteArray buffer_;
};

int Fail(const QString& message) {
    std::fprintf(stderr, "pop3-sample-server: %s\n", qPrintable(message));
    return 2;
}

} // namespace
} // namespace pim::sample

int main(int argc, char** argv) {
    using namespace pim::sample;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pop3-sample-server");

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves sample mail over POP3 (USER, PASS, STAT, RETR, QUIT) on 127.0.0.1.\n"
        "Prints \"PORT n\" as its first line of output.");
    parser.addHelpOption();
    parser.addOptions({
        {"port", "Port to listen on; 0 picks a free one.", "N", "0"},
        {"user", "The one user name accepted.", "NAME", "demo"},
        {"pass", "Its password.", "WORD", "demo"},
        {"mailbox", "Serve the *.eml files of DIR instead of the bundled samples.", "DIR"},
    });
    parser.process(app);

    bool numeric = false;
    const uint port = parser.value("port").toUInt(&numeric);
    if (!numeric || (port != 0 && (port < 1024 || port > 65535)))
        return Fail("--port must be 0 or an unprivileged port (1024-65535)");
    const QString folder = parser.isSet("mailbox") ? parser.value("mailbox") : ":/sample-mailbox";
    const auto messages = LoadMessages(folder);
    if (!messages)
        return Fail("cannot read the mailbox " + folder);
    if (parser.value("user").isEmpty() || parser.value("user").contains(' '))
        return Fail("--user must be one word");

    Maildrop maildrop{*messages, false};
    const QByteArray user = parser.value("user").toUtf8();
    const QByteArray password = parser.value("pass").toUtf8();

    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection())
            new Connection(socket, maildrop, user, password);
    });
    if (!server.listen(QHostAddress::LocalHost, static_cast<quint16>(port)))
        return Fail("cannot listen on 127.0.0.1:" + QString::number(port) + ": " +
                    server.errorString());
    std::printf("PORT %u\n", static_cast<unsigned>(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
