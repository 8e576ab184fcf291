// What push costs and how soon it tells, behind a slow link: Pim's push (a
// the account list keeping each IMAP account's client idling, a CheckRun with a small
// host in place of the window) against a local Dovecot through the latency
// proxy, D ms late each way.
//   1. From a delivery (doveadm save, timed from just before it) to the push
//      check's ShowRun with Changed, beside a minimal IDLE client in the same run.
//   2. An unchanged interval check on the idling connection: round trips and bytes.
//   3. N accounts idling for a while, in a process of its own: wake-ups, server
//      messages, bytes, and anonymous memory against none idling.
//   4. Dovecot stopped and started again on its port: when a delivery is seen again.
//   push_bench [--runs N] [--idle-seconds S] [--accounts N] [--delay MS]
//              --conf DOVECOT_CONF --master PID PORT PASS
// Users push1..pushN with password PASS (bench/push-bench/run makes them);
// PID is Dovecot's master, stopped and started again for 4. Everything is on
// 127.0.0.1. Ends with 1 when a goal is missed, 2 when the bench could not run.
#include "CheckBench.h"
#include "app/check/CheckRun.h"
#include "common/Cp932.h"
#include "imap/Backoff.h"
#include "imap/TVeltaIMAP.h"
#include "latency-proxy/LatencyProxy.h"
#include "pop3/TVeltaPOP3.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QSslSocket>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace pim;
using namespace pim::bench;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Options {
    int runs = 5;
    int idleSeconds = 600;
    int accounts = 20;
    int delay = 20;
    std::string conf;
    pid_t master = 0;
    uint16_t port = 0;
    std::string pass;
};
Options gOptions;

std::string User(int i) {
    return "push" + std::to_string(i);
}

// Runs the event loop until `done`, at most `seconds`; false on the time-out.
bool RunUntil(const std::function<bool()>& done, double seconds) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    QTimer tick; // other threads' news wakes nobody here
    tick.start(5);
    while (!done()) {
        if (Clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50);
    }
    return true;
}

void Idle(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
}

struct Dialup : DialupControl {
    int ActiveEntryCount() override { return 1; }
    int EntryCount() override { return 0; }
    std::string GetEntryName(int) override { return {}; }
    bool Dial(int) override { return false; }
    bool HangUp() override { return true; }
};

// The window's part: the time each run was shown.
struct Host : CheckRunHost {
    int shown = 0, over = 0;
    RunOutcome last;
    Clock::time_point lastAt;
    int Ask(const std::string&, unsigned) override { return 0; }
    bool Offline() const override { return false; }
    void GoOnline() override {}
    void SetStatus(const std::string&) override {}
    void StartBusyAnimation() override {}
    void ResetAfterFailedDial() override {}
    void OpenAccountOptions() override {}
    std::function<void()> onShow;
    void ShowRun(const RunOutcome& outcome) override {
        lastAt = Clock::now();
        if (onShow)
            onShow();
        last = outcome;
        ++shown;
    }
    void RunOver(const RunOutcome&) override { ++over; }
    void RememberSecurity(const TlsLesson&) override {}
};

// Pim without its window: the pieces wired as the main window wires them.
struct Pim {
    Dialup dialup;
    TSettings settings;
    TAccounts accounts{};
    Host host;
    AccountList list{accounts};
    CheckRun run{list, dialup, host, settings};

    Pim(uint16_t port, int count) {
        for (int i = 0; i < count; ++i)
            accounts[static_cast<size_t>(i)] = {true, User(i + 1),
                                                "imap://127.0.0.1:" + std::to_string(port),
                                                User(i + 1), gOptions.pass};
    }
    TVeltaIMAP& Client(int i) {
        list.Sync();
        return *qobject_cast<TVeltaIMAP*>(list.All()[static_cast<size_t>(i)]->Checker());
    }
    bool AllIdling(int count) {
        for (int i = 0; i < count; ++i)
            if (!Client(i).IsIdling())
                return false;
        return !run.Running();
    }
    // An interval check of every account; true when it ended and all idle.
    bool CheckAll(int count) {
        const int before = host.over;
        run.pbCheckClick(CheckRun::Sender::Other);
        return RunUntil([&] { return host.over > before && AllIdling(count); }, 30);
    }
};

// The minimal IDLE client, blocking, on a thread of its own while it waits.
class IdleClient : public BlockingClient {
public:
    IdleClient(uint16_t port, const std::string& user) : BlockingClient(port) {
        Line();
        Send("a1 LOGIN " + user + ' ' + gOptions.pass + "\r\na2 EXAMINE INBOX\r\na3 IDLE\r\n");
        while (Line().rfind("+ ", 0) != 0) {
        }
    }
    Clock::time_point WaitForExists() {
        for (;;) {
            const std::string line = Line();
            if (line.starts_with("* ") && line.ends_with(" EXISTS"))
                return Clock::now();
        }
    }
    void End() {
        Send("DONE\r\na4 LOGOUT\r\n");
        WaitForClose();
    }
};

// Delivers a message to `user`, from the event loop.
std::unique_ptr<QProcess> Deliver(const std::string& user, int n) {
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral("/usr/bin/doveadm"),
                   {QStringLiteral("-c"), QString::fromStdString(gOptions.conf),
                    QStringLiteral("save"), QStringLiteral("-u"), QString::fromStdString(user)});
    process->write(("From: b@example.jp\r\nSubject: pushed " + std::to_string(n) +
                    "\r\nMessage-ID: <pushed-" + std::to_string(n) + "." +
                    std::to_string(getpid()) + "@example.jp>\r\n\r\nx\r\n")
                       .c_str());
    process->closeWriteChannel();
    return process;
}

bool Finished(const QProcess& process) {
    return process.state() == QProcess::NotRunning;
}

void CheckDelivered(QProcess& process) {
    if ((!Finished(process) && !process.waitForFinished(30000)) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Die("doveadm save failed: " + process.readAllStandardError().toStdString() +
            process.readAllStandardOutput().toStdString());
}

bool Answers(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return answers;
}

// /proc/PID/stat's parent, or -1; a zombie counts as gone.
pid_t Parent(const std::string& pid) {
    std::ifstream file("/proc/" + pid + "/stat");
    std::string stat((std::istreambuf_iterator<char>(file)), {});
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 > stat.size() || stat[close + 2] == 'Z')
        return -1;
    return std::atoi(stat.c_str() + close + 4);
}

// As the tests stop theirs: the mail and login processes first, which would
// serve on, then the master.
void StopDovecot(pid_t master) {
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = name.toInt(&number);
        if (number && Parent(name.toStdString()) == master)
            kill(pid, SIGKILL);
    }
    kill(master, SIGTERM);
    if (!RunUntil([&] { return Parent(std::to_string(master)) < 0 && !Answers(gOptions.port); },
                  10))
        Die("Dovecot did not stop");
}

// Voluntary context switches of every thread of this process.
long Switches() {
    long total = 0;
    for (const QString& tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream status("/proc/self/task/" + tid.toStdString() + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
                total += std::atol(line.c_str() + 24);
    }
    return total;
}

long RssAnonKB() {
    malloc_trim(0);
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("RssAnon:", 0) == 0)
            return std::atol(line.c_str() + 8);
    return -1;
}

// What a resident Pim has loaded before its checks (see CheckBench.cpp).
void LoadAsResident() {
    cp932::FromUtf8("テスト");
    const QSslSocket loadsTheLibrary;
}

// ---------------------------------------------------------------------------
// 3, in a process of its own: prints "idle WAKEUPS AWAKE SERVER_READS TO FROM
// RSS_NONE_KB RSS_IDLING_KB".
int IdleChild() {
    LoadAsResident();
    LatencyProxy proxy({gOptions.port, 0, std::chrono::milliseconds(gOptions.delay), 0});
    proxy.Start();
    const int n = gOptions.accounts;
    auto pim = std::make_unique<Pim>(proxy.Port(), n);
    {
        // A resident Pim has checked before: its network stack and the proxy's
        // buffers are warm, and nothing of it is kept.
        Pim once(proxy.Port(), 1);
        once.list.SetHolding(false);
        once.run.pbCheckClick(CheckRun::Sender::Other);
        if (!RunUntil([&] { return once.host.over == 1; }, 30))
            Die("the warming check did not end");
    }
    int awake = 0;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake,
                     [&] { ++awake; });
    const long none = RssAnonKB();
    if (!pim->CheckAll(n) || pim->host.last.TotalMail != n)
        Die("the accounts do not all idle");
    Idle(1);
    const long idling = RssAnonKB();

    const LinkFigures before = proxy.Totals();
    const uint64_t readsBefore = proxy.ServerReads();
    const long switchesBefore = Switches();
    awake = 0;
    Idle(gOptions.idleSeconds);
    const long switches = Switches() - switchesBefore;
    const LinkFigures after = proxy.Totals();
    for (int i = 0; i < n; ++i)
        if (!pim->Client(i).IsIdling())
            Die("an account stopped idling");
    std::printf("idle %ld %d %llu %llu %llu %ld %ld\n", switches, awake,
                static_cast<unsigned long long>(proxy.ServerReads() - readsBefore),
                static_cast<unsigned long long>(after.toServer - before.toServer),
                static_cast<unsigned long long>(after.fromServer - before.fromServer), none,
                idling);
    pim->list.LeaveAll();
    Idle(0.5);
    return 0;
}

// ---------------------------------------------------------------------------

struct PushFigures {
    std::vector<double> minimal, pim, difference, told, pushTrips; // 1
    std::vector<double> trips, to, from, checkMs;                  // 2
    std::vector<double> backToSeen, dropToSeen, downSeconds;       // 4
    long switches = 0, awake = 0, reads = 0, idleTo = 0, idleFrom = 0, none = 0, idling = 0;
};

void PushLatency(Pim& pim, LatencyProxy& proxy, PushFigures& figures) {
    for (int run = 0; run < gOptions.runs; ++run) {
        if (!RunUntil([&] { return pim.AllIdling(1); }, 10))
            Die("Pim does not idle");
        // A push check at most every 2 s: the pace would hold this one back.
        if (run > 0)
            Idle(std::chrono::duration<double>(PushPace::kGap).count());
        IdleClient minimal(proxy.Port(), User(1));
        Clock::time_point seenByMinimal{};
        std::atomic<bool> minimalDone = false;
        std::string failure;
        std::thread waiter([&] {
            try {
                seenByMinimal = minimal.WaitForExists();
            } catch (const std::exception& error) {
                failure = error.what();
            }
            minimalDone = true;
        });
        const int shown = pim.host.shown;
        Clock::time_point told{};
        const QMetaObject::Connection telling =
            QObject::connect(&pim.list, &AccountList::checkWanted, [&] { told = Clock::now(); });
        LinkFigures atShow;
        pim.host.onShow = [&] { atShow = proxy.Totals(); };
        const LinkFigures before = proxy.Totals();
        const Clock::time_point start = Clock::now();
        const std::unique_ptr<QProcess> save = Deliver(User(1), run);
        const bool seen = RunUntil(
            [&] {
                return minimalDone && Finished(*save) && pim.host.shown > shown &&
                       pim.host.last.Push && pim.host.last.Changed;
            },
            20);
        waiter.join();
        CheckDelivered(*save);
        if (!failure.empty())
            Die(failure);
        if (!seen)
            Die("Pim's push check did not announce the delivery");
        minimal.End();
        figures.minimal.push_back(Ms(seenByMinimal - start));
        figures.pim.push_back(Ms(pim.host.lastAt - start));
        figures.difference.push_back(Ms(pim.host.lastAt - seenByMinimal));
        figures.told.push_back(Ms(told - seenByMinimal));
        figures.pushTrips.push_back(atShow.roundTrips - before.roundTrips);
        pim.host.onShow = nullptr;
        QObject::disconnect(telling);
        std::fprintf(stderr, "push %d: minimal %.1f ms, Pim %.1f ms\n", run + 1,
                     figures.minimal.back(), figures.pim.back());
    }
}

void IntervalCheck(Pim& pim, LatencyProxy& proxy, PushFigures& figures) {
    for (int run = 0; run < gOptions.runs; ++run) {
        if (!RunUntil([&] { return pim.AllIdling(1); }, 10))
            Die("Pim does not idle");
        Idle(0.2);
        const LinkFigures before = proxy.Totals();
        const Clock::time_point start = Clock::now();
        if (!pim.CheckAll(1))
            Die("the interval check did not end idling");
        const double ms = Ms(Clock::now() - start);
        if (pim.host.last.Changed)
            Die("the unchanged interval check found a change");
        Idle(3.0 * gOptions.delay / 1000 + 0.1); // anything still on its way
        const LinkFigures after = proxy.Totals();
        figures.trips.push_back(after.roundTrips - before.roundTrips);
        figures.to.push_back(static_cast<double>(after.toServer - before.toServer));
        figures.from.push_back(static_cast<double>(after.fromServer - before.fromServer));
        figures.checkMs.push_back(ms);
    }
}

void ServerBack(Pim& pim, PushFigures& figures, std::unique_ptr<QProcess>& dovecot) {
    constexpr double kDown = 3; // past the first try (2 s), before the second (2 + 4 s)
    pid_t master = gOptions.master;
    for (int run = 0; run < std::min(gOptions.runs, 3); ++run) {
        if (!RunUntil([&] { return pim.AllIdling(1); }, 30))
            Die("Pim does not idle");
        const Clock::time_point drop = Clock::now();
        StopDovecot(master);
        if (dovecot)
            dovecot->waitForFinished(5000);
        Idle(kDown);
        dovecot = std::make_unique<QProcess>();
        dovecot->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        dovecot->setStandardOutputFile(QProcess::nullDevice());
        dovecot->start(
            QStringLiteral("/usr/sbin/dovecot"),
            {QStringLiteral("-F"), QStringLiteral("-c"), QString::fromStdString(gOptions.conf)});
        if (!dovecot->waitForStarted(5000))
            Die("Dovecot did not start again");
        master = static_cast<pid_t>(dovecot->processId());
        if (!RunUntil([&] { return Answers(gOptions.port); }, 10))
            Die("Dovecot does not answer again");
        const Clock::time_point back = Clock::now();
        const int shown = pim.host.shown;
        const std::unique_ptr<QProcess> save = Deliver(User(1), 1000 + run);
        if (!RunUntil(
                [&] { return Finished(*save) && pim.host.shown > shown && pim.host.last.Changed; },
                30))
            Die("no delivery seen after Dovecot came back");
        CheckDelivered(*save);
        figures.backToSeen.push_back(Ms(pim.host.lastAt - back));
        figures.dropToSeen.push_back(Ms(pim.host.lastAt - drop));
        figures.downSeconds.push_back(Ms(back - drop) / 1000);
        std::fprintf(stderr, "back %d: down %.2f s, seen %.0f ms after\n", run + 1,
                     figures.downSeconds.back(), figures.backToSeen.back());
    }
}

std::string Millis(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", value);
    return text;
}

std::string Whole(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
}

std::string Kilobytes(double kb) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f MB", kb / 1024);
    return text;
}

std::string Seconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", ms / 1000);
    return text;
}

void IdleInChild(PushFigures& figures) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args = QCoreApplication::arguments().mid(1);
    args.prepend(QStringLiteral("--idle-child"));
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished((gOptions.idleSeconds + 300) * 1000) ||
        child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        Die("the idling accounts' process failed");
    std::istringstream line(child.readAllStandardOutput().toStdString());
    std::string word;
    if (!(line >> word >> figures.switches >> figures.awake >> figures.reads >> figures.idleTo >>
          figures.idleFrom >> figures.none >> figures.idling) ||
        word != "idle")
        Die("the idling accounts' process reported nothing");
}

[[noreturn]] void Usage() {
    std::fprintf(stderr, "usage: push_bench [--runs N] [--idle-seconds S] [--accounts N] "
                         "[--delay MS] --conf DOVECOT_CONF --master PID PORT PASS\n");
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    SetName("push_bench");
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    bool idleChild = false;
    if (!args.empty() && args[0] == "--idle-child")
        idleChild = true, args.erase(args.begin());
    while (args.size() > 2) {
        const std::string& key = args[0];
        const std::string& value = args[1];
        if (key == "--runs")
            gOptions.runs = std::atoi(value.c_str());
        else if (key == "--idle-seconds")
            gOptions.idleSeconds = std::atoi(value.c_str());
        else if (key == "--accounts")
            gOptions.accounts = std::atoi(value.c_str());
        else if (key == "--delay")
            gOptions.delay = std::atoi(value.c_str());
        else if (key == "--conf")
            gOptions.conf = value;
        else if (key == "--master")
            gOptions.master = static_cast<pid_t>(std::atoi(value.c_str()));
        else
            Usage();
        args.erase(args.begin(), args.begin() + 2);
    }
    const int port = args.size() == 2 ? std::atoi(args[0].c_str()) : 0;
    if (port <= 0 || port > 65535 || gOptions.runs < 1 || gOptions.idleSeconds < 1 ||
        gOptions.accounts < 1 || gOptions.accounts > kMaxAccounts || gOptions.delay < 0 ||
        gOptions.conf.empty() || gOptions.master <= 0)
        Usage();
    gOptions.port = static_cast<uint16_t>(port);
    gOptions.pass = args[1];

    try {
        if (idleChild)
            return IdleChild();
        PushFigures figures;
        std::printf("Push through the latency proxy at %d ms each way, Dovecot on 127.0.0.1:%u; "
                    "medians of %d runs\n",
                    gOptions.delay, gOptions.port, gOptions.runs);
        std::fflush(stdout);
        IdleInChild(figures);
        std::unique_ptr<QProcess> dovecot; // the one started again, once there is one
        {
            LoadAsResident();
            LatencyProxy proxy({gOptions.port, 0, std::chrono::milliseconds(gOptions.delay), 0});
            proxy.Start();
            Pim pim(proxy.Port(), 1);
            if (!pim.CheckAll(1))
                Die("the first check did not end idling");
            PushLatency(pim, proxy, figures);
            IntervalCheck(pim, proxy, figures);
            ServerBack(pim, figures, dovecot);
            pim.list.LeaveAll();
            Idle(0.3);
        }
        if (dovecot) {
            StopDovecot(static_cast<pid_t>(dovecot->processId()));
            dovecot->waitForFinished(5000);
        }

        const double minimal = Median(figures.minimal), pimMs = Median(figures.pim);
        const double budget = 2.0 * gOptions.delay + 10; // one round trip and 10 ms
        std::printf("\n1. Delivery to announcement (from just before doveadm save):\n");
        std::printf("   minimal IDLE client sees EXISTS   %9.1f ms\n", minimal);
        std::printf("   Pim's push check shows (Changed)   %9.1f ms   (+%.1f ms)\n", pimMs,
                    Median(figures.difference));
        std::printf("   of which: Pim told of the change %+.1f ms after the minimal client; its "
                    "push check %.0f round trips up to the announcement\n",
                    Median(figures.told), Median(figures.pushTrips));
        std::printf("\n2. Unchanged interval check on the idling connection:\n");
        std::printf("   %.0f round trips, %s to the server, %s from it, %.1f ms\n",
                    Median(figures.trips), Size(Median(figures.to)).c_str(),
                    Size(Median(figures.from)).c_str(), Median(figures.checkMs));
        std::printf("\n3. %d accounts idling for %d s (a process of its own):\n", gOptions.accounts,
                    gOptions.idleSeconds);
        std::printf(
            "   wake-ups: %ld context switches (all threads), %ld of the event loop (the bench's "
            "wait: 2); %ld server messages\n",
            figures.switches, figures.awake, figures.reads);
        std::printf("   bytes: %s to the server, %s from it\n",
                    Size(static_cast<double>(figures.idleTo)).c_str(),
                    Size(static_cast<double>(figures.idleFrom)).c_str());
        std::printf("   RssAnon: %s with none, %s with %d idling (+%s)\n",
                    Kilobytes(static_cast<double>(figures.none)).c_str(),
                    Kilobytes(static_cast<double>(figures.idling)).c_str(), gOptions.accounts,
                    Kilobytes(static_cast<double>(figures.idling - figures.none)).c_str());
        std::printf(
            "\n4. Dovecot stopped and started again (down %.1f s; back-off 2 s, then 4 s):\n",
            Median(figures.downSeconds));
        std::printf("   a delivery made as it is back seen after %.2f s (%.2f s after the drop)\n",
                    Median(figures.backToSeen) / 1000, Median(figures.dropToSeen) / 1000);
        std::fflush(stdout);

        static std::string pushLimit;
        char text[64];
        std::snprintf(text, sizeof text, "%.0f ms", budget);
        pushLimit = text;
        const std::vector<Goal> goals = {
            {"1. push: Pim after the minimal client", Median(figures.difference), Millis, budget,
             pushLimit.c_str()},
            {"2. interval check on idling: round trips", Median(figures.trips), Whole, 2, "2"},
            {"2. interval check on idling: bytes", Median(figures.to) + Median(figures.from), Size,
             2048, "2 KB"},
            // The bench's wait wakes the loop twice: at its start and its end.
            {"3. loop wake-ups beyond server messages",
             static_cast<double>(figures.awake - figures.reads), Whole, 2, "2"},
            {"3. RssAnon, idling against none", static_cast<double>(figures.idling - figures.none),
             Kilobytes, 2048, "2 MB"},
            // Down past the first try: the second, 2 + 4 s after the drop, finds it.
            {"4. drop to a delivery seen", Median(figures.dropToSeen), Seconds, 7000, "7 s"},
        };
        return PrintGoals(goals) ? 0 : 1;
    } catch (const std::exception& error) {
        Die(error.what());
    }
}
