#include "CheckBench.h"

#include "common/Cp932.h"
#include "latency-proxy/LatencyProxy.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QSslSocket>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pim::bench {

namespace {

constexpr int kDelays[] = {0, 20};
constexpr auto kCloseWait = std::chrono::seconds(10);

const char* gName = "check bench";

struct Summary {
    std::string title, from, time, id;
    bool operator==(const Summary&) const = default;
};

// Asks for messages 1..n the way a check run does: each Retr from the event
// loop after the last answer, then Quit; timed until the session's end.
double Check(const CheckBench& bench, MailChecker& checker, uint16_t port, const Settings& settings,
             std::vector<Summary>& summaries) {
    QEventLoop loop;
    int count = -1;
    int next = 1;
    std::string failure;
    summaries.clear();
    const auto advance = [&] {
        if (next <= count)
            checker.Retr(next++);
        else
            checker.Quit();
    };
    checker.OnConnect = [&](MailChecker*, int mailCount) {
        count = std::min(mailCount, bench.mostRead);
        QMetaObject::invokeMethod(&checker, advance, Qt::QueuedConnection);
    };
    checker.OnGetMailInformation = [&](MailChecker*, const std::string& title,
                                       const std::string& from, const std::string& time,
                                       const std::string& id) {
        summaries.push_back({title, from, time, id});
        QMetaObject::invokeMethod(&checker, advance, Qt::QueuedConnection);
    };
    checker.OnDisconnect = [&](MailChecker*) {
        if (static_cast<int>(summaries.size()) != count)
            failure = "the check ended early";
        loop.quit();
    };
    checker.OnError = [&](MailChecker*, uint8_t error) {
        failure = "the check ended with error " + std::to_string(error);
        loop.quit();
    };
    QElapsedTimer timer;
    timer.start();
    if (!checker.Connect(bench.scheme + "127.0.0.1:" + std::to_string(port), settings.user,
                         settings.pass))
        Die("the checker would not connect");
    loop.exec();
    const double milliseconds = Since(timer);
    if (!failure.empty())
        Die(failure);
    return milliseconds;
}

// One run at one delay: prints "NAME MS TO_SERVER FROM_SERVER ROUND_TRIPS" for each.
void Run(const CheckBench& bench, const Settings& settings, int delay, int count) {
    LatencyProxy proxy({settings.port, 0, std::chrono::milliseconds(delay), settings.rate});
    proxy.Start();
    const uint16_t port = proxy.Port();
    const Report report = [&](const char* name, double milliseconds) {
        const std::vector<LinkFigures> links = proxy.Take(1, kCloseWait);
        if (links.size() != 1)
            Die(std::string(name) + " used " + std::to_string(links.size()) + " connections");
        if (links[0].broken)
            std::fprintf(stderr, "%s: %s: the connection broke\n", gName, name);
        std::printf("%s %.3f %llu %llu %d\n", name, milliseconds,
                    static_cast<unsigned long long>(links[0].toServer),
                    static_cast<unsigned long long>(links[0].fromServer), links[0].roundTrips);
    };
    bench.yardsticks(settings, port, count, report);
    // Pim converts its own texts to CP932 from its start on, so a resident Pim
    // has the converter loaded before any check; a fresh process has not.
    cp932::FromUtf8("テスト");
    // Likewise the TLS library (which every connection's socket needs, for
    // STLS or STARTTLS): a resident Pim loads it once, at its first check
    // (~15 ms), not at each one.
    { const QSslSocket loadsTheLibrary; }
    const std::unique_ptr<MailChecker> checker = bench.checker();
    std::vector<Summary> first, second;
    report("first", Check(bench, *checker, port, settings, first));
    report("second", Check(bench, *checker, port, settings, second));
    if (static_cast<int>(first.size()) != count)
        Die("the first check read " + std::to_string(first.size()) + " summaries");
    if (first != second)
        Die("the second check found other summaries than the first");
}

std::string Whole(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

void Usage() {
    std::fprintf(stderr, "usage: %s [--runs N] [--rate BYTES_PER_S] PORT USER PASS\n", gName);
    std::exit(2);
}

} // namespace

BlockingClient::BlockingClient(uint16_t port) {
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

BlockingClient::~BlockingClient() {
    close(fd_);
}

void BlockingClient::Send(const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("the server stopped listening");
        sent += static_cast<size_t>(n);
    }
}

void BlockingClient::WaitForClose() {
    while (Fill()) {
    }
}

std::string BlockingClient::Line() {
    for (;;) {
        const size_t end = buffer_.find("\r\n", start_);
        if (end != std::string::npos) {
            std::string line = buffer_.substr(start_, end - start_);
            start_ = end + 2;
            return line;
        }
        if (!Fill())
            throw std::runtime_error("the server closed in the middle of a reply");
    }
}

bool BlockingClient::Fill() {
    buffer_.erase(0, start_);
    start_ = 0;
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0)
        throw std::runtime_error(std::string("reading: ") + std::strerror(errno));
    buffer_.append(chunk, static_cast<size_t>(n));
    return n > 0;
}

void SetName(const char* name) {
    gName = name;
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", gName, what.c_str());
    std::exit(2);
}

double Since(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

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

std::string Times(double ratio) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f x", ratio);
    return text;
}

double Results::Median(int delay, const std::string& row,
                       std::vector<double> Figures::*figure) const {
    return bench::Median(figures.at(delay).at(row).*figure);
}

double Results::Ratio(int delay) const {
    return bench::Median(ratios.at(delay));
}

bool PrintGoals(const std::vector<Goal>& goals) {
    // The names' column is as wide as the longest name and two spaces.
    size_t width = 0;
    for (const Goal& goal : goals)
        width = std::max(width, std::strlen(goal.what));
    std::printf("\nGoals (medians):\n");
    bool met = true;
    for (const Goal& goal : goals) {
        const bool ok = goal.value <= goal.limit;
        met = met && ok;
        std::printf("  %-*s %10s  goal <= %-6s  %s\n", static_cast<int>(width + 2), goal.what,
                    goal.shown(goal.value).c_str(), goal.limitShown, ok ? "met" : "MISSED");
    }
    return met;
}

int RunCheckBench(const CheckBench& bench, int argc, char** argv) {
    gName = bench.name;
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    Settings settings;
    int runs = 5;
    // Internal: one run, as a process of its own.
    if (args.size() == 7 && args[0] == "--run") {
        try {
            settings = {static_cast<uint16_t>(std::stoi(args[4])), args[5], args[6],
                        std::stoull(args[2])};
            Run(bench, settings, std::stoi(args[1]), std::stoi(args[3]));
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
        count = bench.count(settings);
    } catch (const std::exception& error) {
        Die(error.what());
    }
    std::printf(
        "%d %s on 127.0.0.1:%u; medians of %d runs, each a process of its own%s\n", count,
        bench.counted, settings.port, runs,
        settings.rate
            ? (", at most " + Size(static_cast<double>(settings.rate)) + "/s each way").c_str()
            : "");
    std::fflush(stdout);

    Results results;
    for (const int delay : kDelays) {
        const char* const yardstick = bench.yardstick(delay);
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
                Figures& figures = results.figures[delay][name];
                figures.milliseconds.push_back(ms);
                figures.toServer.push_back(to);
                figures.fromServer.push_back(from);
                figures.roundTrips.push_back(trips);
                milliseconds[name] = ms;
            }
            if (milliseconds.size() != bench.measured.size())
                Die("a run reported no figures");
            results.ratios[delay].push_back(milliseconds["first"] / milliseconds[yardstick]);
        }
        std::printf("\nDelay %d ms each way:     time      from server    to server  round trips\n",
                    delay);
        const char* yardstickLabel = yardstick;
        for (const auto& [name, label] : bench.measured) {
            const Figures& figures = results.figures[delay][name];
            std::printf("  %-18s %9.1f ms %13s %12s %8.0f\n", label, Median(figures.milliseconds),
                        Size(Median(figures.fromServer)).c_str(),
                        Size(Median(figures.toServer)).c_str(), Median(figures.roundTrips));
            if (std::strcmp(name, yardstick) == 0)
                yardstickLabel = label;
        }
        if (bench.ratioPerDelay)
            std::printf("  first check / %s: %.2f x\n", yardstickLabel,
                        Median(results.ratios[delay]));
        std::fflush(stdout);
    }

    std::vector<Goal> goals = {
        {bench.firstToYardstick, results.Ratio(20), Times, bench.ratio.value, bench.ratio.shown},
        {"20 ms: first check from server", results.Median(20, "first", &Figures::fromServer), Size,
         bench.firstFrom.value, bench.firstFrom.shown},
        {"20 ms: second check round trips", results.Median(20, "second", &Figures::roundTrips),
         Whole, bench.secondTrips.value, bench.secondTrips.shown},
        {"20 ms: second check from server", results.Median(20, "second", &Figures::fromServer),
         Size, bench.secondFrom.value, bench.secondFrom.shown},
    };
    if (bench.moreGoals)
        for (Goal& goal : bench.moreGoals(results))
            goals.push_back(std::move(goal));
    return PrintGoals(goals) ? 0 : 1;
}

} // namespace pim::bench
