#include "support/DovecotServer.h"

#include "support/Pop3TestClient.h"
#include "support/ScriptedServer.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kDovecot = "/usr/sbin/dovecot";
constexpr const char* kPop3Daemon = "/usr/lib/dovecot/pop3";
constexpr const char* kOpenssl = "/usr/bin/openssl";
// Owns the mail. Any uid at or above first_valid_uid would do; this one exists everywhere.
constexpr const char* kMailOwner = "nobody";

bool WriteBytes(const std::string& path, std::string_view bytes, mode_t mode) {
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            return false;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts a program with its output appended to `logPath`. A test that crashes
// takes it along.
pid_t Spawn(std::vector<std::string> args, const std::string& logPath) {
    // Everything the child needs is ready before fork(): it may only make system calls.
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t parent = ::getpid();
    const pid_t pid = null < 0 || out < 0 ? -1 : ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(null, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(null);
    ::close(out);
    return pid;
}

// Runs a program to its end; true when it succeeded.
bool Run(std::vector<std::string> args, const std::string& logPath) {
    const pid_t pid = Spawn(std::move(args), logPath);
    int status = -1;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// `text` with every '@' made `folder`.
std::string InFolder(std::string text, const std::string& folder) {
    for (size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, folder);
    return text;
}

} // namespace

DovecotServer::~DovecotServer() {
    Stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::string DovecotServer::SkipReason(bool withTls) {
    if (::geteuid() != 0)
        return "needs root: Dovecot runs from a configuration of its own";
    if (::access(kDovecot, X_OK) != 0 || ::access(kPop3Daemon, X_OK) != 0)
        return "dovecot-pop3d not installed (scripts/setup installs it)";
    for (const char* user : {"dovecot", "dovenull", kMailOwner})
        if (!::getpwnam(user))
            return std::string("user ") + user + " missing (the dovecot-core package makes it)";
    if (withTls && ::access(kOpenssl, X_OK) != 0)
        return "openssl not installed (scripts/setup installs it)";
    return {};
}

bool DovecotServer::Fail(std::string message) {
    error_ = std::move(message);
    if (const std::string log = Log(); !log.empty())
        error_ += "\n--- Dovecot log ---\n" + log;
    Stop();
    return false;
}

bool DovecotServer::Start(const std::vector<MailUser>& users, bool withTls) {
    Stop();
    error_.clear();
    if (const std::string reason = SkipReason(withTls); !reason.empty())
        return Fail(reason);
    std::error_code ignored;
    if (!folder_.empty())
        fs::remove_all(folder_, ignored);
    // /tmp and not $TMPDIR: every folder above the mail must be open to its owner.
    std::string pattern = "/tmp/pim-dovecot-XXXXXX";
    if (!::mkdtemp(pattern.data()) || ::chmod(pattern.c_str(), 0755) != 0)
        return Fail("cannot make a temporary folder");
    folder_ = pattern;
    tls_ = withTls;
    if (!WriteMail(users) || (tls_ && !MakeCertificates()))
        return false;
    // A port taken between our probe and Dovecot's bind makes it exit; try others.
    for (int attempt = 0; !Launch(); ++attempt) {
        if (Log().find("Address already in use") == std::string::npos || attempt == 4)
            return Fail(error_);
        fs::remove(folder_ + "/dovecot.stderr", ignored);
        fs::remove(folder_ + "/dovecot.log", ignored);
    }
    for (const MailUser& user : users)
        if (!LoginOnce(user))
            return false;
    return true;
}

bool DovecotServer::WriteMail(const std::vector<MailUser>& users) {
    const passwd* owner = ::getpwnam(kMailOwner);
    const group* dovecotGroup = ::getgrnam("dovecot");
    if (!owner || !dovecotGroup)
        return Fail("users missing");
    std::string passwdFile;
    for (const MailUser& user : users) {
        const std::string home = folder_ + "/mail/" + user.name;
        std::error_code failed;
        for (const char* sub : {"/cur", "/new", "/tmp"})
            fs::create_directories(home + "/Maildir" + sub, failed);
        // Dovecot numbers new mail in the order of the time stamp in the file name.
        for (size_t i = 0; i < user.messages.size() && !failed; ++i) {
            const std::string name = home + "/Maildir/new/" + std::to_string(1000000000 + i) +
                                     ".M" + std::to_string(i) + ".pim";
            if (!WriteBytes(name, user.messages[i], 0600))
                return Fail("cannot write " + name);
        }
        bool owned = !failed && ::chown(home.c_str(), owner->pw_uid, owner->pw_gid) == 0;
        for (const auto& entry : fs::recursive_directory_iterator(home, failed))
            owned = owned && ::chown(entry.path().c_str(), owner->pw_uid, owner->pw_gid) == 0;
        if (!owned || failed)
            return Fail("cannot make the mail of " + user.name);
        passwdFile += user.name + ":{PLAIN}" + user.password + ":" + std::to_string(owner->pw_uid) +
                      ":" + std::to_string(owner->pw_gid) + "::" + home + "::\n";
    }
    const std::string path = folder_ + "/passwd";
    if (!WriteBytes(path, passwdFile, 0640) || ::chown(path.c_str(), 0, dovecotGroup->gr_gid) != 0)
        return Fail("cannot write " + path);
    return true;
}

bool DovecotServer::MakeCertificates() {
    const std::string tls = folder_ + "/tls/";
    const std::string log = folder_ + "/openssl.log";
    // EC keys: generated in milliseconds, where RSA ones take a noticeable while.
    const auto openssl = [&](std::vector<std::string> args, const std::string& key) {
        args.insert(args.begin(), kOpenssl);
        args.insert(args.end(), {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                 "-nodes", "-keyout", tls + key});
        return Run(std::move(args), log);
    };
    const auto authority = [&](const std::string& name, const std::string& commonName) {
        return openssl({"req", "-x509", "-days", "30", "-subj", "/CN=" + commonName, "-addext",
                        "basicConstraints=critical,CA:TRUE", "-addext",
                        "keyUsage=critical,keyCertSign,cRLSign", "-out", tls + name + ".pem"},
                       name + ".key");
    };
    // Without a serial file openssl picks a random serial number.
    const bool made =
        ::mkdir(tls.c_str(), 0755) == 0 &&
        WriteBytes(tls + "server.ext",
                   "subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                   "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n",
                   0600) &&
        authority("ca", "Pim Test CA") && authority("untrusted-ca", "Pim Untrusted CA") &&
        openssl({"req", "-new", "-subj", "/CN=localhost", "-out", tls + "server.csr"},
                "server.key") &&
        Run({kOpenssl, "x509", "-req", "-in", tls + "server.csr", "-CA", tls + "ca.pem", "-CAkey",
             tls + "ca.key", "-out", tls + "server.pem", "-days", "30", "-extfile",
             tls + "server.ext"},
            log);
    // The authorities are read by whoever runs the client under test.
    if (!made || ::chmod((tls + "ca.pem").c_str(), 0644) != 0 ||
        ::chmod((tls + "untrusted-ca.pem").c_str(), 0644) != 0)
        return Fail("openssl failed:\n" + ReadBytes(log));
    return true;
}

// Writes the configuration, starts Dovecot and waits for its greeting; false,
// with error(), when it does not come.
bool DovecotServer::Launch() {
    // Free now; another process may take them before Dovecot binds them.
    port_ = ScriptedServer::ClosedPort();
    tlsPort_ = tls_ ? ScriptedServer::ClosedPort() : 0;
    // No delay after a wrong password, and repeated failures do not slow down
    // later logins.
    std::string conf = R"(base_dir = @/run
state_dir = @/state
log_path = @/dovecot.log
instance_name = pim-test
protocols = pop3
listen = 127.0.0.1, 127.0.0.2
disable_plaintext_auth = no
auth_mechanisms = plain
auth_verbose = yes
auth_failure_delay = 0
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
first_valid_uid = 100
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u @/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u @/passwd
}
)";
    conf += tls_ ? "ssl = yes\nssl_cert = <@/tls/server.pem\nssl_key = <@/tls/server.key\n"
                 : "ssl = no\n";
    conf += "service pop3-login {\n  inet_listener pop3 {\n    port = " + std::to_string(port_) +
            "\n  }\n  inet_listener pop3s {\n    port = " + std::to_string(tlsPort_) +
            (tls_ ? "\n    ssl = yes" : "") + "\n  }\n}\n";
    const std::string path = folder_ + "/dovecot.conf";
    if (port_ == 0 || (tls_ && tlsPort_ == 0) || !WriteBytes(path, InFolder(conf, folder_), 0644))
        return Fail("cannot write " + path);
    pid_ = Spawn({kDovecot, "-F", "-c", path}, folder_ + "/dovecot.stderr");
    if (pid_ < 0)
        return Fail("cannot start Dovecot");
    for (const auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(5ms)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "Dovecot exited at start";
            return false;
        }
        Pop3TestClient client;
        if (client.Connect(port_, 2s) && client.ReadLine().value_or("").starts_with("+OK"))
            return true;
    }
    Stop();
    error_ = "Dovecot did not greet on port " + std::to_string(port_) + " within 10 s";
    return false;
}

bool DovecotServer::LoginOnce(const MailUser& user) {
    Pop3TestClient client;
    const std::string count = "+OK " + std::to_string(user.messages.size()) + " ";
    const bool ok = client.Connect(port_) && client.ReadLine() &&
                    client.Command("USER " + user.name) &&
                    client.Command("PASS " + user.password).value_or("").starts_with("+OK") &&
                    client.Command("STAT").value_or("").starts_with(count);
    client.Command("QUIT");
    return ok || Fail("the first login of " + user.name + " failed, or its STAT was not " + count);
}

void DovecotServer::Stop() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    // Dovecot waits about a second for its log process; the port is free once it is gone.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
}

std::string DovecotServer::CaCertificatePath() const {
    return tls_ ? folder_ + "/tls/ca.pem" : std::string();
}

std::string DovecotServer::UntrustedCaCertificatePath() const {
    return tls_ ? folder_ + "/tls/untrusted-ca.pem" : std::string();
}

std::string DovecotServer::Log() const {
    return folder_.empty()
               ? std::string()
               : ReadBytes(folder_ + "/dovecot.stderr") + ReadBytes(folder_ + "/dovecot.log");
}

} // namespace pim::test
