// What an IMAP check of a large mailbox costs behind a slow link: the real IMAP
// client checks a local server through the latency proxy twice in a row, the
// second time with nothing changed, at 0 and 20 ms of delay each way. The
// yardstick runs through the same proxy in the same run: a minimal client that
// sends LOGIN, EXAMINE and the search in one write, then one UID FETCH of every
// header and LOGOUT in another.
//   imap_check [--runs N] [--rate BYTES_PER_S] PORT USER PASS
// The server listens for IMAP on 127.0.0.1:PORT (bench/imap-check/run starts
// one). Each run is a process of its own, so the first check of every run
// starts with nothing remembered; the two checks of a run share one client.
// Prints the median time, bytes each way and round trips of each, then the
// goals; ends with 1 when a goal is missed, 2 when the bench could not run.
#include "common/Cp932.h"
#include "imap/TVeltaIMAP.h"
#include "latency-proxy/LatencyProxy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSslSocket>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using pim::bench::LatencyProxy;
using pim::bench::LinkFigures;

constexpr int kDelays[] = {0, 20};
constexpr auto kCloseWait = std::chrono::seconds(10);

struct Settings {
    uint16_t port = 0;
    std::string user;
    std::string pass;
    uint64_t rate = 0;
};

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "imap_check: %s\n", what.c_str());
    std::exit(2);
}

// The minimal client: blocking, one response at a time, literals skipped.
class MinimalClient {
public:
    explicit MinimalClient(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const timeval timeout{60, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
    }
    ~MinimalClient() { close(fd_); }
    MinimalClient(const MinimalClient&) = delete;
    MinimalClient& operator=(const MinimalClient&) = delete;

    void Send(const std::string& text) {
        for (size_t sent = 0; sent < text.size();) {
            const ssize_t n = send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("the server stopped listening");
            sent += static_cast<size_t>(n);
        }
    }
    // One response without its literals' bytes, up to its last CR LF.
    std::string Response() {
        std::string response;
        for (;;) {
            const size_t end = Find("\r\n");
            response.append(buffer_, start_, end - start_);
            start_ = end + 2;
            const size_t open = response.rfind('{');
            if (response.empty() || response.back() != '}' || open == std::string::npos)
                return response;
            size_t left = std::stoul(response.substr(open + 1));
            while (left > 0) {
                if (start_ == buffer_.size() && !Fill())
                    throw std::runtime_error("the server closed in a literal");
                const size_t n = std::min(left, buffer_.size() - start_);
                start_ += n;
                left -= n;
            }
        }
    }
    // The untagged responses up to `tag`'s, which must be OK.
    std::vector<std::string> Until(const std::string& tag) {
        std::vector<std::string> untagged;
        for (;;) {
            std::string response = Response();
            if (response.rfind(tag + ' ', 0) == 0) {
                if (response.compare(tag.size() + 1, 2, "OK") != 0)
                    throw std::runtime_error("the server answered: " + response);
                return untagged;
            }
            untagged.push_back(std::move(response));
        }
    }
    void WaitForClose() {
        while (Fill()) {
        }
    }

private:
    size_t Find(const char* text) {
        for (;;) {
            const size_t end = buffer_.find(text, start_);
            if (end != std::string::npos)
                return end;
            if (!Fill())
                throw std::runtime_error("the server closed in the middle of a reply");
        }
    }
    bool Fill() {
        buffer_.erase(0, start_);
        start_ = 0;
        char chunk[65536];
        const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0)
            throw std::runtime_error(std::string("reading: ") + std::strerror(errno));
        buffer_.append(chunk, static_cast<size_t>(n));
        return n > 0;
    }

    int fd_ = -1;
    std::string buffer_;
    size_t start_ = 0;
};

double Since(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The yardstick; returns how many headers came.
int Minimal(const Settings& settings, uint16_t port) {
    MinimalClient client(port);
    client.Response();
    client.Send("a1 LOGIN " + settings.user + ' ' + settings.pass +
                "\r\na2 EXAMINE INBOX\r\na3 UID SEARCH UNSEEN\r\n");
    client.Until("a1");
    client.Until("a2");
    std::string uids;
    for (const std::string& response : client.Until("a3")) {
        if (response.rfind("* SEARCH", 0) != 0)
            continue;
        std::istringstream words(response.substr(8));
        for (std::string uid; words >> uid;)
            uids += (uids.empty() ? "" : ",") + uid;
    }
    if (uids.empty())
        throw std::runtime_error("no unseen message");
    client.Send("a4 UID FETCH " + uids +
                " (BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT RECEIVED)])\r\na5 LOGOUT\r\n");
    const std::vector<std::string> fetched = client.Until("a4");
    client.Until("a5");
    client.WaitForClose();
    return static_cast<int>(std::count_if(fetched.begin(), fetched.end(), [](const auto& r) {
        return r.find(" FETCH ") != std::string::npos;
    }));
}

double TimedMinimal(const Settings& settings, uint16_t port, int count) {
    QElapsedTimer timer;
    timer.start();
    if (Minimal(settings, port) != count)
        Die("the minimal client read another number of headers");
    return Since(timer);
}

struct Summary {
    std::string title, from, time, id;
    bool operator==(const Summary&) const = default;
};

// Asks for messages 1..n the way a check run does: each Retr from the event
// loop after the last answer, then Quit; timed until the session's end.
double Check(pim::TVeltaIMAP& imap, uint16_t port, const Settings& settings,
             std::vector<Summary>& summaries) {
    QEventLoop loop;
    int count = -1;
    int next = 1;
    std::string failure;
    summaries.clear();
    const auto advance = [&] {
        if (next <= count)
            imap.Retr(next++);
        else
            imap.Quit();
    };
    imap.OnConnect = [&](pim::MailChecker*, int mailCount) {
        count = std::min(mailCount, pim::ImapSession::kMaxMails);
        QMetaObject::invokeMethod(&imap, advance, Qt::QueuedConnection);
    };
    imap.OnGetMailInformation = [&](pim::MailChecker*, const std::string& title,
                                    const std::string& from, const std::string& time,
                                    const std::string& id) {
        summaries.push_back({title, from, time, id});
        QMetaObject::invokeMethod(&imap, advance, Qt::QueuedConnection);
    };
    imap.OnDisconnect = [&](pim::MailChecker*) {
        if (static_cast<int>(summaries.size()) != count)
            failure = "the check ended early";
        loop.quit();
    };
    imap.OnError = [&](pim::MailChecker*, uint8_t error) {
        failure = "the check ended with error " + std::to_string(error);
        loop.quit();
    };
    QElapsedTimer timer;
    timer.start();
    if (!imap.Connect("imap://127.0.0.1:" + std::to_string(port), settings.user, settings.pass))
        Die("the client would not connect");
    loop.exec();
    const double milliseconds = Since(timer);
    if (!failure.empty())
        Die(failure);
    return milliseconds;
}

// What each run measures, in this order: the name in a run's output and the label.
const char* const kMeasured[][2] = {
    {"minimal", "minimal client"}, {"first", "first check"}, {"second", "second check"}};

// One run at one delay: prints "NAME MS TO_SERVER FROM_SERVER ROUND_TRIPS" for each.
void Run(const Settings& settings, int delay, int count) {
    LatencyProxy proxy({settings.port, 0, std::chrono::milliseconds(delay), settings.rate});
    proxy.Start();
    const uint16_t port = proxy.Port();
    const auto report = [&](const char* name, double milliseconds) {
        const std::vector<LinkFigures> links = proxy.Take(1, kCloseWait);
        if (links.size() != 1)
            Die(std::string(name) + " used " + std::to_string(links.size()) + " connections");
        if (links[0].broken)
            std::fprintf(stderr, "imap_check: %s: the connection broke\n", name);
        std::printf("%s %.3f %llu %llu %d\n", name, milliseconds,
                    static_cast<unsigned long long>(links[0].toServer),
                    static_cast<unsigned long long>(links[0].fromServer), links[0].roundTrips);
    };
    report(kMeasured[0][0], TimedMinimal(settings, port, count));
    // A resident Pim has the CP932 converter and the TLS library (every
    // connection's socket needs it, for STARTTLS) loaded before any check.
    pim::cp932::FromUtf8("テスト");
    { const QSslSocket loadsTheLibrary; }
    pim::TVeltaIMAP imap;
    std::vector<Summary> first, second;
    report(kMeasured[1][0], Check(imap, port, settings, first));
    report(kMeasured[2][0], Check(imap, port, settings, second));
    if (static_cast<int>(first.size()) != count)
        Die("the first check read " + std::to_string(first.size()) + " summaries");
    if (first != second)
        Die("the second check found other summaries than the first");
}

struct Figures {
    std::vector<double> milliseconds, toServer, fromServer, roundTrips;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Size(double bytes) {
    char text[32];
    if (bytes >= 1e6)
        std::snprintf(text, sizeof text, "%.2f MB", bytes / 1e6);
    else
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
    return text;
}

void Usage() {
    std::fprintf(stderr, "usage: imap_check [--runs N] [--rate BYTES_PER_S] PORT USER PASS\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    Settings settings;
    int runs = 5;
    // Internal: one run, as a process of its own.
    if (args.size() == 7 && args[0] == "--run") {
        try {
            settings = {static_cast<uint16_t>(std::stoi(args[4])), args[5], args[6],
                        std::stoull(args[2])};
            Run(settings, std::stoi(args[1]), std::stoi(args[3]));
        } catch (const std::exception& error) {
            Die(error.what());
        }
        return 0;
    }
    while (args.size() > 3) {
        if (args[0] == "--runs" && args.size() > 4)
            runs = std::atoi(args[1].c_str());
        else if (args[0] == "--rate" && args.size() > 4)
            settings.rate = std::strtoull(args[1].c_str(), nullptr, 10);
        else
            Usage();
        args.erase(args.begin(), args.begin() + 2);
    }
    const int port = args.size() == 3 ? std::atoi(args[0].c_str()) : 0;
    if (port <= 0 || port > 65535 || runs < 1)
        Usage();
    settings.port = static_cast<uint16_t>(port);
    settings.user = args[1];
    settings.pass = args[2];

    // Straight to the server, untimed: it also has Dovecot keep these header
    // fields in its cache before the first run, as it would after any check.
    int count = 0;
    try {
        count = Minimal(settings, settings.port);
    } catch (const std::exception& error) {
        Die(error.what());
    }
    if (count > pim::ImapSession::kMaxMails)
        Die("more unseen messages than a check reads");
    std::printf(
        "%d unseen messages on 127.0.0.1:%u; medians of %d runs, each a process of its own%s\n",
        count, settings.port, runs,
        settings.rate
            ? (", at most " + Size(static_cast<double>(settings.rate)) + "/s each way").c_str()
            : "");
    std::fflush(stdout);

    std::map<int, std::map<std::string, Figures>> results;
    std::map<int, std::vector<double>> ratios; // first check against the minimal client, per run
    for (const int delay : kDelays) {
        for (int run = 0; run < runs; ++run) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--run"), QString::number(delay),
                         QString::number(settings.rate), QString::number(count),
                         QString::number(settings.port), QString::fromStdString(settings.user),
                         QString::fromStdString(settings.pass)});
            if (!child.waitForFinished(1'800'000) || child.exitStatus() != QProcess::NormalExit ||
                child.exitCode() != 0)
                Die("a run failed");
            std::istringstream lines(child.readAllStandardOutput().toStdString());
            std::map<std::string, double> milliseconds;
            std::string name;
            double ms = 0, to = 0, from = 0, trips = 0;
            while (lines >> name >> ms >> to >> from >> trips) {
                Figures& figures = results[delay][name];
                figures.milliseconds.push_back(ms);
                figures.toServer.push_back(to);
                figures.fromServer.push_back(from);
                figures.roundTrips.push_back(trips);
                milliseconds[name] = ms;
            }
            if (milliseconds.size() != std::size(kMeasured))
                Die("a run reported no figures");
            ratios[delay].push_back(milliseconds["first"] / milliseconds["minimal"]);
        }
        std::printf("\nDelay %d ms each way:     time      from server    to server  round trips\n",
                    delay);
        for (const auto& [name, label] : kMeasured) {
            const Figures& figures = results[delay][name];
            std::printf("  %-18s %9.1f ms %13s %12s %8.0f\n", label, Median(figures.milliseconds),
                        Size(Median(figures.fromServer)).c_str(),
                        Size(Median(figures.toServer)).c_str(), Median(figures.roundTrips));
        }
        std::printf("  first check / minimal client: %.2f x\n", Median(ratios[delay]));
        std::fflush(stdout);
    }

    std::map<std::string, Figures>& slow = results[20];
    struct Goal {
        const char* what;
        double value;
        std::string shown;
        double limit;
        const char* limitShown;
    };
    const double firstToMinimal = Median(ratios[20]);
    const double firstFrom = Median(slow["first"].fromServer);
    const double secondTrips = Median(slow["second"].roundTrips);
    const double secondFrom = Median(slow["second"].fromServer);
    char text[2][32];
    std::snprintf(text[0], sizeof text[0], "%.2f x", firstToMinimal);
    std::snprintf(text[1], sizeof text[1], "%.0f", secondTrips);
    const Goal goals[] = {
        {"20 ms: first check / minimal client", firstToMinimal, text[0], 1.1, "1.1 x"},
        {"20 ms: first check from server", firstFrom, Size(firstFrom), 1.5e6, "1.5 MB"},
        {"20 ms: second check round trips", secondTrips, text[1], 6, "6"},
        {"20 ms: second check from server", secondFrom, Size(secondFrom), 10e3, "10 KB"},
    };
    std::printf("\nGoals (medians):\n");
    bool met = true;
    for (const Goal& goal : goals) {
        const bool ok = goal.value <= goal.limit;
        met = met && ok;
        std::printf("  %-37s %10s  goal <= %-6s  %s\n", goal.what, goal.shown.c_str(),
                    goal.limitShown, ok ? "met" : "MISSED");
    }
    return met ? 0 : 1;
}
