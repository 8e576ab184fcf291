// What a check of a large mailbox costs behind a slow link: the real POP3
// component checks a local server through the latency proxy twice in a row,
// the second time with nothing changed, at 0 and 20 ms of delay each way.
// Two yardsticks run through the same proxy in the same run: curl retrieving
// every message, and a minimal client that logs in and sends every `TOP n 0`
// (and QUIT) in one batch.
//   check_bench [--runs N] [--rate BYTES_PER_S] PORT USER PASS
// The server listens on 127.0.0.1:PORT (bench/check-bench/run starts one).
// Each run is a process of its own, so the first check of every run starts
// with nothing remembered; the two checks of a run share one component.
// Prints the median time, bytes each way and round trips of each, then the
// goals; ends with 1 when a goal is missed, 2 when the bench could not run.
#include "common/Cp932.h"
#include "latency-proxy/LatencyProxy.h"
#include "pop3/TVeltaPOP3.h"

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
    std::fprintf(stderr, "check_bench: %s\n", what.c_str());
    std::exit(2);
}

// A blocking POP3 line client for the yardstick and the message count.
class LineClient {
public:
    explicit LineClient(uint16_t port) {
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
    ~LineClient() { close(fd_); }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    void Send(const std::string& text) {
        for (size_t sent = 0; sent < text.size();) {
            const ssize_t n = send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                throw std::runtime_error("the server stopped listening");
            sent += static_cast<size_t>(n);
        }
    }
    // One line without its CR LF.
    std::string Line() {
        for (;;) {
            const size_t end = buffer_.find("\r\n", start_);
            if (end != std::string::npos) {
                std::string line = buffer_.substr(start_, end - start_);
                start_ = end + 2;
                return line;
            }
            buffer_.erase(0, start_);
            start_ = 0;
            if (!Fill())
                throw std::runtime_error("the server closed in the middle of a reply");
        }
    }
    std::string Positive() {
        std::string line = Line();
        if (line.rfind("+OK", 0) != 0)
            throw std::runtime_error("the server answered: " + line);
        return line;
    }
    void LogIn(const Settings& settings) {
        Positive();
        Send("USER " + settings.user + "\r\n");
        Positive();
        Send("PASS " + settings.pass + "\r\n");
        Positive();
    }
    void WaitForClose() {
        while (Fill()) {
        }
    }

private:
    bool Fill() {
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

int MessageCount(const Settings& settings) {
    LineClient client(settings.port);
    client.LogIn(settings);
    client.Send("STAT\r\n");
    const int count = std::atoi(client.Positive().c_str() + 4);
    client.Send("QUIT\r\n");
    client.Positive();
    return count;
}

double Since(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double Curl(const Settings& settings, uint16_t port, int count) {
    QProcess curl;
    curl.setStandardOutputFile(QProcess::nullDevice());
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               {QStringLiteral("-sS"), QStringLiteral("-u"),
                QString::fromStdString(settings.user + ":" + settings.pass),
                QStringLiteral("pop3://127.0.0.1:%1/[1-%2]").arg(port).arg(count)});
    if (!curl.waitForFinished(600'000) || curl.exitStatus() != QProcess::NormalExit ||
        curl.exitCode() != 0)
        Die("curl failed");
    return Since(timer);
}

double PipelinedTop(const Settings& settings, uint16_t port, int count) {
    QElapsedTimer timer;
    timer.start();
    LineClient client(port);
    client.LogIn(settings);
    std::string batch;
    for (int i = 1; i <= count; ++i)
        batch += "TOP " + std::to_string(i) + " 0\r\n";
    client.Send(batch + "QUIT\r\n");
    for (int i = 1; i <= count; ++i) {
        client.Positive();
        while (client.Line() != ".") {
        }
    }
    client.Positive();
    client.WaitForClose();
    return Since(timer);
}

struct Summary {
    std::string title, from, time;
    bool operator==(const Summary&) const = default;
};

// Asks for messages 1..n the way a check run does: each Retr from the event
// loop after the last answer, then QUIT; timed until the server's close.
double Check(pim::TVeltaPOP3& pop3, uint16_t port, const Settings& settings,
             std::vector<Summary>& summaries) {
    QEventLoop loop;
    int count = -1;
    int next = 1;
    std::string failure;
    summaries.clear();
    const auto advance = [&] {
        if (next <= count)
            pop3.Retr(next++);
        else
            pop3.Quit();
    };
    pop3.OnConnect = [&](pim::MailChecker*, int mailCount) {
        count = mailCount;
        QMetaObject::invokeMethod(&pop3, advance, Qt::QueuedConnection);
    };
    pop3.OnGetMailInformation = [&](pim::MailChecker*, const std::string& title,
                                    const std::string& from, const std::string& time,
                                    const std::string&) {
        summaries.push_back({title, from, time});
        QMetaObject::invokeMethod(&pop3, advance, Qt::QueuedConnection);
    };
    pop3.OnDisconnect = [&](pim::MailChecker*) {
        if (static_cast<int>(summaries.size()) != count)
            failure = "the check ended early";
        loop.quit();
    };
    pop3.OnError = [&](pim::MailChecker*, uint8_t error) {
        failure = "the check ended with error " + std::to_string(error);
        loop.quit();
    };
    QElapsedTimer timer;
    timer.start();
    if (!pop3.Connect("127.0.0.1:" + std::to_string(port), settings.user, settings.pass))
        Die("the component would not connect");
    loop.exec();
    const double milliseconds = Since(timer);
    if (!failure.empty())
        Die(failure);
    return milliseconds;
}

// What each run measures, in this order: the name in a run's output and the label.
const char* const kMeasured[][2] = {{"curl", "curl, RETR each"},
                                    {"top", "pipelined TOP n 0"},
                                    {"first", "first check"},
                                    {"second", "second check"}};

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
            std::fprintf(stderr, "check_bench: %s: the connection broke\n", name);
        std::printf("%s %.3f %llu %llu %d\n", name, milliseconds,
                    static_cast<unsigned long long>(links[0].toServer),
                    static_cast<unsigned long long>(links[0].fromServer), links[0].roundTrips);
    };
    report(kMeasured[0][0], Curl(settings, port, count));
    report(kMeasured[1][0], PipelinedTop(settings, port, count));
    // Pim converts its own texts to CP932 from its start on, so a resident Pim
    // has the converter loaded before any check; a fresh process has not.
    pim::cp932::FromUtf8("テスト");
    // Likewise the TLS library (which every connection's socket needs, for STLS):
    // a resident Pim loads it once, at its first check (~15 ms), not at each one.
    { const QSslSocket loadsTheLibrary; }
    pim::TVeltaPOP3 pop3;
    std::vector<Summary> first, second;
    report(kMeasured[2][0], Check(pop3, port, settings, first));
    report(kMeasured[3][0], Check(pop3, port, settings, second));
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
    std::fprintf(stderr, "usage: check_bench [--runs N] [--rate BYTES_PER_S] PORT USER PASS\n");
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

    int count = 0;
    try {
        count = MessageCount(settings);
    } catch (const std::exception& error) {
        Die(error.what());
    }
    std::printf(
        "%d messages on 127.0.0.1:%u; medians of %d runs, each a process of its own%s\n", count,
        settings.port, runs,
        settings.rate
            ? (", at most " + Size(static_cast<double>(settings.rate)) + "/s each way").c_str()
            : "");
    std::fflush(stdout);

    std::map<int, std::map<std::string, Figures>> results;
    std::map<int, std::vector<double>> ratios; // first check against its yardstick, per run
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
            ratios[delay].push_back(milliseconds["first"] /
                                    milliseconds[delay == 0 ? "curl" : "top"]);
        }
        std::printf("\nDelay %d ms each way:     time      from server    to server  round trips\n",
                    delay);
        for (const auto& [name, label] : kMeasured) {
            const Figures& figures = results[delay][name];
            std::printf("  %-18s %9.1f ms %13s %12s %8.0f\n", label, Median(figures.milliseconds),
                        Size(Median(figures.fromServer)).c_str(),
                        Size(Median(figures.toServer)).c_str(), Median(figures.roundTrips));
        }
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
    const double firstToTop = Median(ratios[20]);
    const double firstFrom = Median(slow["first"].fromServer);
    const double secondTrips = Median(slow["second"].roundTrips);
    const double secondFrom = Median(slow["second"].fromServer);
    const double firstToCurl = Median(ratios[0]);
    char text[3][32];
    std::snprintf(text[0], sizeof text[0], "%.2f x", firstToTop);
    std::snprintf(text[1], sizeof text[1], "%.0f", secondTrips);
    std::snprintf(text[2], sizeof text[2], "%.2f x", firstToCurl);
    const Goal goals[] = {
        {"20 ms: first check / pipelined TOP", firstToTop, text[0], 1.1, "1.1 x"},
        {"20 ms: first check from server", firstFrom, Size(firstFrom), 1.5e6, "1.5 MB"},
        {"20 ms: second check round trips", secondTrips, text[1], 8, "8"},
        {"20 ms: second check from server", secondFrom, Size(secondFrom), 20e3, "20 KB"},
        {"0 ms:  first check / curl", firstToCurl, text[2], 0.2, "0.2 x"},
    };
    std::printf("\nGoals (medians):\n");
    bool met = true;
    for (const Goal& goal : goals) {
        const bool ok = goal.value <= goal.limit;
        met = met && ok;
        std::printf("  %-36s %10s  goal <= %-6s  %s\n", goal.what, goal.shown.c_str(),
                    goal.limitShown, ok ? "met" : "MISSED");
    }
    return met ? 0 : 1;
}
