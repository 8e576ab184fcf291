// Fetches a whole mailbox the way a check does: log in, STAT, RETR 1..n one at a
// time (each asked for from the event loop after the last answer), extraction,
// QUIT. For timing against other clients: pop3_fetch HOST PORT USER PASS
// `pop3_fetch --big MB` fetches one message of MB megabytes from a server of its
// own on 127.0.0.1 and ends with 1 when retrieving it grew the peak RSS by 2 MB
// or more: only what the header extraction reads may be kept.
#include "pop3/TVeltaPOP3.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

long StatusKb(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key + ":", 0) == 0)
            return std::stol(line.substr(key.size() + 1));
    }
    return -1;
}

constexpr long kBigGoalKb = 2048;

} // namespace

// Under AddressSanitizer freed memory must be reused at once, or its quarantine
// would look like growth.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
}

namespace {

// Serves one session with one message of `megabytes` on a loopback port, which it
// returns. The client sends one command at a time; each read stands for one.
uint16_t ServeBigMessage(size_t megabytes) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::thread([listener, megabytes] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const auto send = [fd](const std::string& bytes) {
            return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(bytes.size());
        };
        std::string block;
        while (block.size() < 64 * 1024)
            block += std::string(76, 'A') + "\r\n";
        const size_t blocks = megabytes * 1024 * 1024 / block.size();
        char command[512];
        bool open = send("+OK\r\n");
        for (const char* reply :
             {"+OK\r\nUSER\r\n.\r\n", "+OK\r\n", "+OK\r\n", "+OK 1 1\r\n",
              "+OK\r\nSubject: big\r\nFrom: a@example.jp\r\n\r\n", "+OK bye\r\n"}) {
            open = open && ::recv(fd, command, sizeof command, 0) > 0 && send(reply);
            for (size_t i = 0; open && reply[5] == 'S' && i <= blocks; ++i)
                open = send(i < blocks ? block : ".\r\n");
        }
        ::close(fd);
        ::close(listener);
    }).detach();
    return ntohs(address.sin_port);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool big = argc == 3 && std::string(argv[1]) == "--big";
    if (argc != 5 && !big) {
        std::fprintf(stderr, "usage: pop3_fetch HOST PORT USER PASS | pop3_fetch --big MB\n");
        return 2;
    }
    pim::TVeltaPOP3 pop3;
    int count = 0;
    int next = 1;
    int fetched = 0;
    int status = 1;
    const auto post = [&](auto step) {
        QMetaObject::invokeMethod(&pop3, step, Qt::QueuedConnection);
    };
    const auto advance = [&] {
        if (next <= count)
            pop3.Retr(next++);
        else
            pop3.Quit();
    };
    long before = 0;
    pop3.OnConnect = [&](pim::MailChecker*, int mailCount) {
        // From here on it is retrieving; what logging in paged in is not counted.
        std::ofstream("/proc/self/clear_refs") << "5";
        before = StatusKb("VmRSS");
        count = mailCount;
        post(advance);
    };
    pop3.OnGetMailInformation = [&](pim::MailChecker*, const std::string&, const std::string&,
                                    const std::string&, const std::string&) {
        ++fetched;
        post(advance);
    };
    pop3.OnDisconnect = [&](pim::MailChecker*) {
        status = fetched == count ? 0 : 1;
        QCoreApplication::quit();
    };
    pop3.OnError = [&](pim::MailChecker*, uint8_t error) {
        std::fprintf(stderr, "pop3_fetch: error %d\n", error);
        QCoreApplication::quit();
    };
    const std::string host =
        big ? "127.0.0.1:" + std::to_string(ServeBigMessage(std::stoul(argv[2])))
            : std::string(argv[1]) + ":" + argv[2];
    if (!pop3.Connect(host, big ? "u" : argv[3], big ? "p" : argv[4])) {
        std::fprintf(stderr, "pop3_fetch: cannot connect to %s\n", host.c_str());
        return 1;
    }
    QCoreApplication::exec();
    const long growth = StatusKb("VmHWM") - before;
    std::printf("%d of %d messages, peak RSS growth while retrieving %ld KB\n", fetched, count,
                growth);
    if (big)
        std::printf("one message of %s MB: goal < %ld KB, %s\n", argv[2], kBigGoalKb,
                    growth < kBigGoalKb ? "met" : "MISSED");
    return big && growth >= kBigGoalKb ? 1 : status;
}
