// A real Dovecot POP3 and IMAP server for tests, run as root from a configuration of its
// own in a temporary folder, listening on 127.0.0.1 and 127.0.0.2 (a name its
// certificate does not carry) only. The system's Dovecot service is never used.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pim::test {

struct MailUser {
    std::string name, password;
    std::vector<std::string> messages; // raw RFC 822 bytes, CR LF line ends, in POP3 order
};

class DovecotServer {
public:
    DovecotServer() = default;
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;

    // Why no server can run here ("needs root", a missing package); empty when one can.
    static std::string SkipReason();

    // Returns once the server greets; false, with error(), on failure. With
    // `withTls` the plain port offers STLS and a pop3s one runs too, with a
    // certificate of its own for "localhost" and 127.0.0.1.
    bool Start(const std::vector<MailUser>& users, bool withTls = false);
    // Before Start: logins with OAuth tokens too (OAUTHBEARER, XOAUTH2), each
    // token asked of the authorization server at `introspectionUrl`, whose
    // certificate `caFile` signed.
    void AcceptTokens(const std::string& introspectionUrl, const std::string& caFile) {
        introspection_ = introspectionUrl, introspectionCa_ = caFile;
    }

    const std::string& error() const { return error_; }
    bool Running() const { return pid_ > 0; }
    uint16_t Port() const { return port_; }
    uint16_t TlsPort() const { return tlsPort_; }
    // IMAP on a plain port (offering STARTTLS with `withTls`) and, with it, imaps.
    uint16_t ImapPort() const { return imapPort_; }
    uint16_t ImapTlsPort() const { return imapTlsPort_; }
    // Runs doveadm on this server with `input` on its standard input: what it
    // printed, or "doveadm failed: " and what it printed. E.g. {"save", "-u",
    // "taro"} delivers a message; {"flags", "add", "-u", "taro", "\\Seen",
    // "mailbox", "INBOX", "uid", "3"} marks one read.
    // Stops the server, as a crash or a restart would.
    void Stop();
    // Starts it again on the same ports, with the mail it held.
    bool Restart();
    std::string Doveadm(const std::vector<std::string>& args, const std::string& input = {}) const;
    // In the folder: ca.pem signed the server's certificate server.pem,
    // untrusted-ca.pem signed nothing it shows.
    std::string File(const std::string& name) const { return folder_ + "/" + name; }

private:
    bool WriteMail(const std::vector<MailUser>& users);
    bool MakeCertificates();
    bool Launch(bool withTls, bool samePorts = false);
    bool Fail(const std::string& message);

    std::string folder_, error_, introspection_, introspectionCa_;
    pid_t pid_ = -1;
    uint16_t port_ = 0, tlsPort_ = 0, imapPort_ = 0, imapTlsPort_ = 0;
    bool withTls_ = false;
};

} // namespace pim::test
