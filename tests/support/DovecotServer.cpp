#include "support/DovecotServer.h"

#include "support/ScriptedServer.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

namespace pim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr const char* kOpenssl = "/usr/bin/openssl";
// Owns the mail: Dovecot reads no mail as root.
constexpr const char* kMailOwner = "nobody";

} // namespace

DovecotServer::~DovecotServer() {
    Stop();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string DovecotServer::SkipReason() {
    if (::geteuid() != 0)
        return "needs root: Dovecot runs from a configuration of its own";
    if (::access(kDovecot, X_OK) != 0 || ::access(kOpenssl, X_OK) != 0 ||
        ::access("/usr/lib/dovecot/imap", X_OK) != 0)
        return "dovecot-pop3d, dovecot-imapd or openssl not installed (scripts/setup installs "
               "them)";
    for (const char* user : {"dovecot", "dovenull", kMailOwner})
        if (!::getpwnam(user))
            return std::string("user ") + user + " missing (the dovecot-core package makes it)";
    return {};
}

bool DovecotServer::Fail(const std::string& message) {
    error_ = message + "\n--- Dovecot log ---\n" + ReadFile(folder_ + "/dovecot.log");
    Stop();
    return false;
}

bool DovecotServer::Start(const std::vector<MailUser>& users, bool withTls) {
    if (const std::string reason = SkipReason(); !reason.empty())
        return Fail(reason);
    // /tmp and not $TMPDIR: every folder above the mail must be open to its owner.
    folder_ = "/tmp/pim-dovecot-XXXXXX";
    if (!::mkdtemp(folder_.data()) || ::chmod(folder_.c_str(), 0755) != 0)
        return Fail("cannot make a temporary folder");
    if (!WriteMail(users) || (withTls && !MakeCertificates()))
        return false;
    // A port taken between our probe and Dovecot's bind makes it exit; try others.
    for (int attempt = 0; !Launch(withTls); ++attempt, fs::remove(folder_ + "/dovecot.log"))
        if (ReadFile(folder_ + "/dovecot.log").find("already in use") == std::string::npos ||
            attempt == 4)
            return Fail(error_);
    return true;
}

bool DovecotServer::WriteMail(const std::vector<MailUser>& users) {
    const passwd* owner = ::getpwnam(kMailOwner);
    std::string passwdFile;
    std::error_code failed;
    for (const MailUser& user : users) {
        const std::string home = folder_ + "/mail/" + user.name;
        for (const char* sub : {"/cur", "/new", "/tmp"})
            fs::create_directories(home + "/Maildir" + sub, failed);
        // Dovecot numbers new mail in the order of the time stamp in the file name.
        for (size_t i = 0; i < user.messages.size(); ++i)
            WriteFile(home + "/Maildir/new/" + std::to_string(1000000000 + i) + ".pim",
                      user.messages[i]);
        passwdFile += user.name + ":{PLAIN}" + user.password + ":" + std::to_string(owner->pw_uid) +
                      ":" + std::to_string(owner->pw_gid) + "::" + home + "::\n";
    }
    bool owned = !failed;
    for (const auto& entry : fs::recursive_directory_iterator(folder_ + "/mail", failed))
        owned = owned && ::chown(entry.path().c_str(), owner->pw_uid, owner->pw_gid) == 0;
    const std::string path = folder_ + "/passwd";
    WriteFile(path, passwdFile);
    if (!owned || failed || ::chmod(path.c_str(), 0640) != 0 ||
        ::chown(path.c_str(), 0, ::getgrnam("dovecot")->gr_gid) != 0)
        return Fail("cannot write the mail and passwd under " + folder_);
    return true;
}

bool DovecotServer::MakeCertificates() {
    const std::string log = folder_ + "/openssl.log";
    const std::string at = folder_ + "/";
    // EC keys: made in milliseconds, where RSA ones take a noticeable while.
    const auto openssl = [&](std::vector<std::string> args, const std::string& key) {
        args.insert(args.begin(), kOpenssl);
        if (!key.empty())
            args.insert(args.end(), {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                     "-nodes", "-keyout", at + key});
        const pid_t pid = Spawn(args, {}, log);
        return pid > 0 && WaitExit(pid, 60s) == 0;
    };
    const auto authority = [&](const std::string& name) {
        return openssl({"req", "-x509", "-days", "30", "-subj", "/CN=Pim " + name, "-addext",
                        "basicConstraints=critical,CA:TRUE", "-addext",
                        "keyUsage=critical,keyCertSign,cRLSign", "-out", at + name + ".pem"},
                       name + ".key");
    };
    // Signed as it is made; openssl picks a random serial number.
    if (authority("ca") && authority("untrusted-ca") &&
        openssl({"req", "-x509", "-days", "30", "-subj", "/CN=localhost", "-addext",
                 "basicConstraints=critical,CA:FALSE", "-addext",
                 "subjectAltName=DNS:localhost,IP:127.0.0.1", "-addext",
                 "extendedKeyUsage=serverAuth", "-CA", at + "ca.pem", "-CAkey", at + "ca.key",
                 "-out", at + "server.pem"},
                "server.key"))
        return true;
    return Fail("openssl failed:\n" + ReadFile(log));
}

bool DovecotServer::Restart() {
    Stop();
    return Launch(withTls_, true) || Fail(error_);
}

bool DovecotServer::Launch(bool withTls, bool samePorts) {
    withTls_ = withTls;
    // Free now; another process may take them before Dovecot binds them.
    if (!samePorts) {
        port_ = ScriptedServer::ClosedPort();
        tlsPort_ = withTls ? ScriptedServer::ClosedPort() : 0;
        imapPort_ = ScriptedServer::ClosedPort();
        imapTlsPort_ = withTls ? ScriptedServer::ClosedPort() : 0;
    }
    // No delay after a wrong password, and failures do not slow down later logins.
    std::string conf = "base_dir = @/run\nstate_dir = @/state\nlog_path = @/dovecot.log\n"
                       "protocols = pop3 imap\nlisten = 127.0.0.1, 127.0.0.2\n"
                       "disable_plaintext_auth = no\nauth_failure_delay = 0\n"
                       "service anvil {\n unix_listener anvil-auth-penalty {\n  mode = 0\n }\n}\n"
                       "mail_location = maildir:~/Maildir\n"
                       "passdb {\n driver = passwd-file\n args = scheme=PLAIN @/passwd\n}\n"
                       "userdb {\n driver = passwd-file\n args = @/passwd\n}\n";
    conf +=
        withTls ? "ssl = yes\nssl_cert = <@/server.pem\nssl_key = <@/server.key\n" : "ssl = no\n";
    if (!introspection_.empty()) {
        conf += "auth_mechanisms = plain login oauthbearer xoauth2\n"
                "passdb {\n driver = oauth2\n mechanisms = oauthbearer xoauth2\n"
                " args = @/oauth2.conf.ext\n}\n";
        WriteFile(folder_ + "/oauth2.conf.ext",
                  "introspection_mode = post\nintrospection_url = " + introspection_ +
                      "\nforce_introspection = yes\nusername_attribute = username\n"
                      "active_attribute = active\nactive_value = true\n"
                      "tls_ca_cert_file = " +
                      folder_ + "/introspection-ca.pem\n");
        // Where its unprivileged auth process can read it.
        WriteFile(folder_ + "/introspection-ca.pem", ReadFile(introspectionCa_));
    }
    conf += "service pop3-login {\n inet_listener pop3 {\n  port = " + std::to_string(port_) +
            "\n }\n inet_listener pop3s {\n  port = " + std::to_string(tlsPort_) +
            (withTls ? "\n  ssl = yes" : "") + "\n }\n}\n";
    conf += "service imap-login {\n inet_listener imap {\n  port = " + std::to_string(imapPort_) +
            "\n }\n inet_listener imaps {\n  port = " + std::to_string(imapTlsPort_) +
            (withTls ? "\n  ssl = yes" : "") + "\n }\n}\n";
    for (size_t at; (at = conf.find('@')) != std::string::npos;)
        conf.replace(at, 1, folder_);
    WriteFile(folder_ + "/dovecot.conf", conf);
    pid_ = Spawn({kDovecot, "-F", "-c", folder_ + "/dovecot.conf"}, {}, folder_ + "/dovecot.log",
                 true);
    for (int i = 0; pid_ > 0 && i < 2000; ++i, std::this_thread::sleep_for(5ms)) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            pid_ = -1;
        else if (ServerConnection::To(port_).ReadLine(2s).starts_with("+OK") &&
                 ServerConnection::To(imapPort_).ReadLine(2s).starts_with("* OK"))
            return true;
    }
    Stop();
    error_ = "Dovecot did not greet on port " + std::to_string(port_);
    return false;
}

std::string DovecotServer::Doveadm(const std::vector<std::string>& args,
                                   const std::string& input) const {
    const std::string in = folder_ + "/doveadm.in", out = folder_ + "/doveadm.out";
    // The shell only gives it `input`: $0 names that file, the arguments follow.
    std::vector<std::string> argv = {"/bin/sh",          "-c", "exec \"$@\" < \"$0\"",   in,
                                     "/usr/bin/doveadm", "-c", folder_ + "/dovecot.conf"};
    argv.insert(argv.end(), args.begin(), args.end());
    WriteFile(in, input);
    const pid_t pid = Spawn(argv, {}, out);
    const bool ran = pid > 0 && WaitExit(pid, 60s) == 0;
    std::string printed = ReadFile(out);
    std::filesystem::remove(out);
    return ran ? printed : "doveadm failed: " + printed;
}

void DovecotServer::Stop() {
    if (pid_ <= 0)
        return;
    // Its login and mail processes too: left alone they would serve on.
    ::kill(-pid_, SIGKILL), WaitExit(pid_, 5s);
    pid_ = -1;
    // Killed, it left its number behind: a new process of that number would seem it.
    std::error_code ignored;
    fs::remove(folder_ + "/run/master.pid", ignored);
}

} // namespace pim::test
