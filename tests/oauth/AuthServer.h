// The tests' own authorization server (auth_server.py) on loopback over TLS,
// with a certificate of its own that the test process is made to trust.
#pragma once

#include "support/EventLoop.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <csignal>
#include <filesystem>
#include <string>

namespace pim::test {

class AuthServer {
public:
    AuthServer() {
        const std::string at = dir_.path() + "/";
        if (std::system(
                ("/usr/bin/openssl req -x509 -days 2 -subj /CN=localhost -newkey ec -pkeyopt "
                 "ec_paramgen_curve:prime256v1 -nodes -keyout " +
                 at + "key.pem -out " + at +
                 "cert.pem -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >" + at +
                 "openssl.log 2>&1")
                    .c_str()) != 0)
            return;
        pid_ = Spawn({"/usr/bin/python3", kScript, at + "cert.pem", at + "key.pem", at + "port",
                      at + "files"},
                     {}, at + "server.log");
        RunUntil([&] { return std::filesystem::exists(at + "port"); }, std::chrono::seconds(10));
        port_ = QString::fromStdString(ReadFile(at + "port")).toInt();
        // Trusted by this process the way a system authority would be.
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(at + "cert.pem")));
        QSslConfiguration::setDefaultConfiguration(config);
    }
    ~AuthServer() {
        if (pid_ > 0)
            ::kill(pid_, SIGTERM), WaitExit(pid_, std::chrono::seconds(5));
    }
    bool Running() const { return port_ > 0; }
    // Its certificate, its own authority.
    std::string Certificate() const { return dir_.path() + "/cert.pem"; }
    // What a GET of `path` (with its query) is answered.
    void Publish(const QString& path, const std::string& body) const {
        WriteFile(dir_.path() + "/files/" + QUrl::toPercentEncoding(path).toStdString(), body);
    }
    QString Url(const char* path) const {
        return QStringLiteral("https://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(path));
    }
    // /control/<what>: the server's JSON answer.
    QByteArray Control(const char* what) {
        QNetworkReply* reply =
            network_.get(QNetworkRequest(QUrl(Url("/control/") + QLatin1String(what))));
        RunUntil([&] { return reply->isFinished(); }, std::chrono::seconds(10));
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    }

private:
    static constexpr const char* kScript = PIM_TESTS_DIR "/oauth/auth_server.py";
    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    QNetworkAccessManager network_;
};

} // namespace pim::test
