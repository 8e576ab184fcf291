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
#include "CheckBench.h"
#include "pop3/TVeltaPOP3.h"

#include <QProcess>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

using namespace pim::bench;

// A blocking POP3 line client for the yardstick and the message count.
class LineClient : public BlockingClient {
public:
    using BlockingClient::BlockingClient;

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

} // namespace

int main(int argc, char** argv) {
    CheckBench bench;
    bench.name = "check_bench";
    bench.counted = "messages";
    bench.measured = {{"curl", "curl, RETR each"},
                      {"top", "pipelined TOP n 0"},
                      {"first", "first check"},
                      {"second", "second check"}};
    bench.count = MessageCount;
    bench.yardsticks = [](const Settings& settings, uint16_t port, int count,
                          const Report& report) {
        report("curl", Curl(settings, port, count));
        report("top", PipelinedTop(settings, port, count));
    };
    bench.checker = [] { return std::make_unique<pim::TVeltaPOP3>(); };
    bench.yardstick = [](int delay) { return delay == 0 ? "curl" : "top"; };
    bench.firstToYardstick = "20 ms: first check / pipelined TOP";
    bench.ratio = {1.1, "1.1 x"};
    bench.firstFrom = {1.5e6, "1.5 MB"};
    bench.secondTrips = {8, "8"};
    bench.secondFrom = {20e3, "20 KB"};
    bench.moreGoals = [](const Results& results) {
        return std::vector<Goal>{
            {"0 ms:  first check / curl", results.Ratio(0), Times, 0.2, "0.2 x"}};
    };
    return RunCheckBench(bench, argc, argv);
}
