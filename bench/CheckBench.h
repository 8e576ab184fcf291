// The driver both check benches share: a run per process behind the latency
// proxy at each delay, yardsticks first, then two checks by one of Pim's
// checkers; the medians per delay and the goals. A bench describes itself in a
// CheckBench and hands it to RunCheckBench from its main().
#pragma once

#include "mail/MailChecker.h"

#include <QElapsedTimer>
#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pim::bench {

struct Settings {
    uint16_t port = 0;
    std::string user;
    std::string pass;
    uint64_t rate = 0;
};

// Each row as a run measures it, one value per run.
struct Figures {
    std::vector<double> milliseconds, toServer, fromServer, roundTrips;
};

struct Results {
    std::map<int, std::map<std::string, Figures>> figures; // by delay, then row name
    std::map<int, std::vector<double>> ratios; // first check against its yardstick, per run

    double Median(int delay, const std::string& row, std::vector<double> Figures::*figure) const;
    double Ratio(int delay) const;
};

struct Limit {
    double value;
    const char* shown;
};

struct Goal {
    const char* what;
    double value;
    std::string (*shown)(double value);
    double limit;
    const char* limitShown;
};

// Takes the proxy's figures of the one connection the row `name` used.
using Report = std::function<void(const char* name, double milliseconds)>;

struct CheckBench {
    const char* name = nullptr;    // of the program, for its messages
    const char* counted = nullptr; // what the count is of, as the first line says
    // What each run measures, in this order: the name in a run's output and the
    // label. Pim's checks are the rows "first" and "second".
    std::vector<std::pair<const char*, const char*>> measured;
    // Straight to the server, before the first run; may Die.
    std::function<int(const Settings&)> count;
    // Times and reports the yardsticks through the proxy at `port`.
    std::function<void(const Settings&, uint16_t port, int count, const Report&)> yardsticks;
    std::function<std::unique_ptr<MailChecker>()> checker;
    std::string scheme;     // put before "127.0.0.1:PORT" for Connect
    int mostRead = INT_MAX; // of the messages on the server, a check reads at most this many
    // The row the first check's time is held against at `delay`.
    std::function<const char*(int delay)> yardstick;
    bool ratioPerDelay = false; // printed under each delay's table
    // The goals at 20 ms every check bench sets, in this order: the first
    // check's time against its yardstick's (`firstToYardstick` names that goal)
    // and its bytes from the server, the unchanged second check's round trips
    // and its bytes from the server.
    const char* firstToYardstick = nullptr;
    Limit ratio{}, firstFrom{}, secondTrips{}, secondFrom{};
    std::function<std::vector<Goal>(const Results&)> moreGoals; // after those; may be empty
};

// A blocking client on 127.0.0.1 for the yardsticks.
class BlockingClient {
public:
    explicit BlockingClient(uint16_t port);
    ~BlockingClient();
    BlockingClient(const BlockingClient&) = delete;
    BlockingClient& operator=(const BlockingClient&) = delete;

    void Send(const std::string& text);
    void WaitForClose();
    // One line without its CR LF.
    std::string Line();

protected:
    // Drops what was read before start_, then appends what comes; false at the close.
    bool Fill();

    std::string buffer_;
    size_t start_ = 0;

private:
    int fd_ = -1;
};

// Names the program in Die's messages (RunCheckBench does it from the bench).
void SetName(const char* name);
[[noreturn]] void Die(const std::string& what);
double Since(const QElapsedTimer& timer);
double Median(std::vector<double> values);
std::string Size(double bytes);
std::string Times(double ratio); // "1.05 x"

// Prints the goals with met or MISSED; true when all are met.
bool PrintGoals(const std::vector<Goal>& goals);

int RunCheckBench(const CheckBench& bench, int argc, char** argv);

} // namespace pim::bench
