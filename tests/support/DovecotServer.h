// A real Dovecot POP3 server for tests, run from a configuration of its own in
// a temporary folder and listening on 127.0.0.1 and 127.0.0.2 (a name its
// certificate does not carry) only. The system's Dovecot service is never
// used. It runs as root; see SkipReason().
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pim::test {

struct MailUser {
    std::string name;
    std::string password;
    std::vector<std::string> messages; // raw RFC 822 bytes, CR LF line ends, in POP3 order
};

class DovecotServer {
public:
    DovecotServer() = default;
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Why no server can run here ("needs root", a missing package); empty when one can.
    static std::string SkipReason(bool withTls = false);

    // Returns once every user has logged in once (Dovecot builds its index then),
    // so the first login a test makes is not slowed down by that. False, with
    // error(), on failure. With `withTls` a pop3s listener runs too and the plain
    // one offers STLS.
    bool Start(const std::vector<MailUser>& users, bool withTls = false);
    // SIGTERM to the master process, then waits for it to exit; Start() may follow.
    void Stop();

    const std::string& error() const { return error_; }
    bool Running() const { return pid_ > 0; }

    uint16_t Port() const { return port_; }
    uint16_t TlsPort() const { return tlsPort_; }
    // The test authority that signed the server certificate (for "localhost"
    // and 127.0.0.1), and one that signed nothing the server shows.
    std::string CaCertificatePath() const;
    std::string UntrustedCaCertificatePath() const;

    // Dovecot's own log, for failure messages.
    std::string Log() const;
    // The temporary folder (configuration, log, mail); removed by the destructor.
    const std::string& Folder() const { return folder_; }

private:
    bool WriteMail(const std::vector<MailUser>& users);
    bool MakeCertificates();
    bool Launch();
    bool LoginOnce(const MailUser& user);
    bool Fail(std::string message);

    std::string folder_;
    std::string error_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
    uint16_t tlsPort_ = 0;
    bool tls_ = false;
};

} // namespace pim::test
