#include "support/DovecotServer.h"

#include "support/Pop3TestClient.h"

#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

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

// A port nothing listens on right now. Another process may take it before
// Dovecot binds it; Start() then tries again.
uint16_t FreePort(int& keep) {
    keep = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (keep < 0 || ::bind(keep, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(keep, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

// Runs a program to its end with its output appended to `logPath`; its exit status.
int Run(std::vector<std::string> args, const std::string& logPath) {
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                       0600);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ValidName(const std::string& name) {
    if (name.empty() || name.size() > 64)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_' &&
            c != '@')
            return false;
    return true;
}

bool ValidPassword(const std::string& password) {
    return !password.empty() && password.find_first_of(":\r\n") == std::string::npos;
}

bool ChownTree(const fs::path& top, uid_t uid, gid_t gid) {
    if (::chown(top.c_str(), uid, gid) != 0)
        return false;
    for (const auto& entry : fs::recursive_directory_iterator(top))
        if (::chown(entry.path().c_str(), uid, gid) != 0)
            return false;
    return true;
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
    if (::access(kDovecot, X_OK) != 0)
        return "dovecot not installed (scripts/setup installs dovecot-pop3d)";
    if (::access(kPop3Daemon, X_OK) != 0)
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
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    // /tmp and not $TMPDIR: every folder above the mail must be open to its owner.
    std::string pattern = "/tmp/pim-dovecot-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return Fail("cannot make a temporary folder");
    folder_ = pattern;
    if (::chmod(folder_.c_str(), 0755) != 0)
        return Fail("cannot open up " + folder_);
    tls_ = withTls;
    if (!WriteMail(users) || (tls_ && !MakeCertificates()))
        return false;

    // A port taken between our probe and Dovecot's bind makes it exit; try others.
    for (int attempt = 0;; ++attempt) {
        int probe[2] = {-1, -1};
        port_ = FreePort(probe[0]);
        tlsPort_ = tls_ ? FreePort(probe[1]) : 0;
        for (const int fd : probe)
            if (fd >= 0)
                ::close(fd);
        if (port_ == 0 || (tls_ && tlsPort_ == 0))
            return Fail("no free loopback port");
        if (!WriteConfiguration() || !Launch())
            return false;
        if (WaitReady())
            break;
        const bool portTaken = Log().find("Address already in use") != std::string::npos;
        if (!portTaken || attempt == 4)
            return Fail(error_.empty() ? "Dovecot did not start" : error_);
        Stop();
        std::error_code ignored;
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
    const uid_t uid = owner->pw_uid;
    const gid_t gid = owner->pw_gid;

    std::string passwdFile;
    std::error_code failed;
    fs::create_directory(folder_ + "/mail", failed);
    for (const MailUser& user : users) {
        if (!ValidName(user.name))
            return Fail("user name not usable in a passwd-file: " + user.name);
        if (!ValidPassword(user.password))
            return Fail("password not usable in a passwd-file for " + user.name);
        const std::string home = folder_ + "/mail/" + user.name;
        const std::string maildir = home + "/Maildir";
        for (const char* sub : {"/cur", "/new", "/tmp"})
            fs::create_directories(maildir + sub, failed);
        if (failed)
            return Fail("cannot make " + maildir + ": " + failed.message());
        // Dovecot numbers new mail in the order of the time stamp in the file name.
        for (size_t i = 0; i < user.messages.size(); ++i) {
            const std::string name = maildir + "/new/" + std::to_string(1000000000 + i) + ".M" +
                                     std::to_string(i) + "P" + std::to_string(::getpid()) + ".pim";
            if (!WriteBytes(name, user.messages[i], 0600))
                return Fail("cannot write " + name);
        }
        if (!ChownTree(home, uid, gid))
            return Fail("cannot hand " + home + " to " + kMailOwner);
        passwdFile += user.name + ":{PLAIN}" + user.password + ":" + std::to_string(uid) + ":" +
                      std::to_string(gid) + "::" + home + "::\n";
    }
    const std::string path = folder_ + "/passwd";
    if (!WriteBytes(path, passwdFile, 0640) || ::chown(path.c_str(), 0, dovecotGroup->gr_gid) != 0)
        return Fail("cannot write " + path);
    return true;
}

bool DovecotServer::MakeCertificates() {
    const std::string tls = folder_ + "/tls";
    const std::string log = folder_ + "/openssl.log";
    if (::mkdir(tls.c_str(), 0700) != 0)
        return Fail("cannot make " + tls);
    // EC keys: generated in milliseconds, where RSA ones take a noticeable while.
    const std::vector<std::string> newKey = {"-newkey", "ec", "-pkeyopt",
                                             "ec_paramgen_curve:prime256v1", "-nodes"};
    auto openssl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), kOpenssl);
        return Run(std::move(args), log) == 0;
    };
    auto makeAuthority = [&](const std::string& name, const std::string& commonName) {
        std::vector<std::string> args = {"req",     "-x509",
                                         "-days",   "30",
                                         "-subj",   "/CN=" + commonName,
                                         "-addext", "basicConstraints=critical,CA:TRUE",
                                         "-addext", "keyUsage=critical,keyCertSign,cRLSign",
                                         "-keyout", tls + "/" + name + ".key",
                                         "-out",    tls + "/" + name + ".pem"};
        args.insert(args.end(), newKey.begin(), newKey.end());
        return openssl(args);
    };
    if (!WriteBytes(tls + "/server.ext",
                    "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                    "basicConstraints=CA:FALSE\n"
                    "keyUsage=critical,digitalSignature\n"
                    "extendedKeyUsage=serverAuth\n",
                    0600))
        return Fail("cannot write " + tls + "/server.ext");
    std::vector<std::string> request = {"req",     "-new",
                                        "-subj",   "/CN=localhost",
                                        "-keyout", tls + "/server.key",
                                        "-out",    tls + "/server.csr"};
    request.insert(request.end(), newKey.begin(), newKey.end());
    // Without a serial file openssl picks a random serial number.
    const bool made = makeAuthority("ca", "Pim Test CA") &&
                      makeAuthority("untrusted-ca", "Pim Untrusted CA") && openssl(request) &&
                      openssl({"x509", "-req", "-in", tls + "/server.csr", "-CA", tls + "/ca.pem",
                               "-CAkey", tls + "/ca.key", "-out", tls + "/server.pem", "-days",
                               "30", "-extfile", tls + "/server.ext"});
    if (!made)
        return Fail("openssl failed:\n" + ReadBytes(log));
    // Readable by whoever runs the client under test.
    ::chmod(tls.c_str(), 0755);
    ::chmod((tls + "/ca.pem").c_str(), 0644);
    ::chmod((tls + "/untrusted-ca.pem").c_str(), 0644);
    return true;
}

bool DovecotServer::WriteConfiguration() {
    const std::string& d = folder_;
    std::string conf = "# Written by the Pim test fixture; the system's Dovecot is not involved.\n"
                       "base_dir = " +
                       d +
                       "/run\n"
                       "state_dir = " +
                       d +
                       "/state\n"
                       "log_path = " +
                       d +
                       "/dovecot.log\n"
                       "instance_name = pim-test\n"
                       "protocols = pop3\n"
                       "listen = 127.0.0.1\n"
                       "disable_plaintext_auth = no\n"
                       "auth_mechanisms = plain\n"
                       "auth_verbose = yes\n"
                       // Wrong-password cases answer at once instead of after 2 s,
                       // and repeated failures do not slow down later logins.
                       "auth_failure_delay = 0\n"
                       "service anvil {\n"
                       "  unix_listener anvil-auth-penalty {\n"
                       "    mode = 0\n"
                       "  }\n"
                       "}\n"
                       "first_valid_uid = 100\n"
                       "mail_location = maildir:~/Maildir\n"
                       "passdb {\n"
                       "  driver = passwd-file\n"
                       "  args = scheme=PLAIN username_format=%u " +
                       d +
                       "/passwd\n"
                       "}\n"
                       "userdb {\n"
                       "  driver = passwd-file\n"
                       "  args = username_format=%u " +
                       d +
                       "/passwd\n"
                       "}\n";
    if (tls_)
        conf += "ssl = yes\n"
                "ssl_cert = <" +
                d +
                "/tls/server.pem\n"
                "ssl_key = <" +
                d + "/tls/server.key\n";
    else
        conf += "ssl = no\n";
    conf += "service pop3-login {\n"
            "  inet_listener pop3 {\n"
            "    port = " +
            std::to_string(port_) +
            "\n"
            "  }\n"
            "  inet_listener pop3s {\n"
            "    port = " +
            std::to_string(tlsPort_) + "\n" + (tls_ ? "    ssl = yes\n" : "") +
            "  }\n"
            "}\n";
    if (!WriteBytes(d + "/dovecot.conf", conf, 0644))
        return Fail("cannot write " + d + "/dovecot.conf");
    return true;
}

bool DovecotServer::Launch() {
    const std::string conf = folder_ + "/dovecot.conf";
    const std::string output = folder_ + "/dovecot.stderr";
    // Everything the child needs is ready before fork(): it may only make system calls.
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    std::vector<std::string> args = {kDovecot, "-F", "-c", conf};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    if (null < 0 || out < 0)
        return Fail("cannot open " + output);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A test that crashes takes its Dovecot with it.
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
    if (pid < 0)
        return Fail("fork failed");
    pid_ = pid;
    return true;
}

bool DovecotServer::WaitReady() {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            error_ = "Dovecot exited at start with status " +
                     std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
            return false;
        }
        Pop3TestClient client;
        if (client.Connect(port_, 2s)) {
            const auto greeting = client.ReadLine();
            if (greeting && greeting->starts_with("+OK"))
                return true;
        }
        std::this_thread::sleep_for(5ms);
    }
    error_ = "Dovecot did not greet on port " + std::to_string(port_) + " within 10 s";
    return false;
}

bool DovecotServer::LoginOnce(const MailUser& user) {
    Pop3TestClient client;
    if (!client.Connect(port_) || !client.ReadLine())
        return Fail("no greeting on port " + std::to_string(port_));
    const auto userReply = client.Command("USER " + user.name);
    const auto passReply = client.Command("PASS " + user.password);
    const auto stat = client.Command("STAT");
    client.Command("QUIT");
    const std::string expected = "+OK " + std::to_string(user.messages.size()) + " ";
    if (!passReply || !passReply->starts_with("+OK"))
        return Fail("first login of " + user.name + " refused: " + passReply.value_or("(none)"));
    if (!stat || !stat->starts_with(expected))
        return Fail("STAT for " + user.name + " gave " + stat.value_or("(none)") + ", expected " +
                    expected + "...");
    return userReply.has_value();
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
    if (folder_.empty())
        return {};
    return ReadBytes(folder_ + "/dovecot.stderr") + ReadBytes(folder_ + "/dovecot.log");
}

} // namespace pim::test
