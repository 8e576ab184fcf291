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
#include "CheckBench.h"
#include "imap/TVeltaIMAP.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace pim::bench;

// The minimal client: blocking, one response at a time, literals skipped.
class MinimalClient : public BlockingClient {
public:
    using BlockingClient::BlockingClient;

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
};

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

// Straight to the server, untimed: it also has Dovecot keep these header
// fields in its cache before the first run, as it would after any check.
int UnseenCount(const Settings& settings) {
    const int count = Minimal(settings, settings.port);
    if (count > pim::ImapSession::kMaxMails)
        Die("more unseen messages than a check reads");
    return count;
}

} // namespace

int main(int argc, char** argv) {
    CheckBench bench;
    bench.name = "imap_check";
    bench.counted = "unseen messages";
    bench.measured = {
        {"minimal", "minimal client"}, {"first", "first check"}, {"second", "second check"}};
    bench.count = UnseenCount;
    bench.yardsticks = [](const Settings& settings, uint16_t port, int count,
                          const Report& report) {
        report("minimal", TimedMinimal(settings, port, count));
    };
    bench.checker = [] { return std::make_unique<pim::TVeltaIMAP>(); };
    bench.scheme = "imap://";
    bench.mostRead = pim::ImapSession::kMaxMails;
    bench.yardstick = [](int) { return "minimal"; };
    bench.ratioPerDelay = true;
    bench.firstToYardstick = "20 ms: first check / minimal client";
    bench.ratio = {1.1, "1.1 x"};
    bench.firstFrom = {1.5e6, "1.5 MB"};
    bench.secondTrips = {6, "6"};
    bench.secondFrom = {10e3, "10 KB"};
    return RunCheckBench(bench, argc, argv);
}
