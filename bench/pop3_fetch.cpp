// Fetches a whole mailbox the way a check does: log in, STAT, RETR 1..n one at a
// time (each asked for from the event loop after the last answer), extraction,
// QUIT. For timing against other clients: pop3_fetch HOST PORT USER PASS
#include "pop3/TVeltaPOP3.h"

#include <QCoreApplication>
#include <cstdio>
#include <fstream>
#include <string>

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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: pop3_fetch HOST PORT USER PASS\n");
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
    pop3.OnConnect = [&](pim::TVeltaPOP3*, int mailCount) {
        // From here on it is retrieving; what logging in paged in is not counted.
        std::ofstream("/proc/self/clear_refs") << "5";
        before = StatusKb("VmRSS");
        count = mailCount;
        post(advance);
    };
    pop3.OnGetMailInformation = [&](pim::TVeltaPOP3*, const std::string&, const std::string&,
                                    const std::string&) {
        ++fetched;
        post(advance);
    };
    pop3.OnDisconnect = [&](pim::TVeltaPOP3*) {
        status = fetched == count ? 0 : 1;
        QCoreApplication::quit();
    };
    pop3.OnError = [&](pim::TVeltaPOP3*, uint8_t error) {
        std::fprintf(stderr, "pop3_fetch: error %d\n", error);
        QCoreApplication::quit();
    };
    const std::string host = std::string(argv[1]) + ":" + argv[2];
    if (!pop3.Connect(host, argv[3], argv[4])) {
        std::fprintf(stderr, "pop3_fetch: cannot connect to %s\n", host.c_str());
        return 1;
    }
    QCoreApplication::exec();
    std::printf("%d of %d messages, peak RSS growth while retrieving %ld KB\n", fetched, count,
                StatusKb("VmHWM") - before);
    return status;
}
