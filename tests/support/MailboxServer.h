// A small POP3 server on 127.0.0.1 for check runs: mailboxes by user, and the
// ways a server can misbehave. Mailboxes may change between sessions.
#pragma once

#include "support/ScriptedServer.h"

#include <future>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace pim::test {

struct Mailbox {
    std::string password = "pw";
    std::vector<std::string> messages; // header and body, CR LF, without the final "."
    std::set<int> refusedRetr;         // message numbers answered -ERR
    bool refuseQuit = false;
    bool silentAfterPass = false;             // takes the password and then says nothing
    std::shared_future<void> passAnswerWaits; // the answer to the password waits for this
    // Hostile ways:
    long long claimedCount = -1;   // what STAT says, when not the real count
    int cutInMessage = 0;          // the connection ends halfway through this message...
    bool cutByReset = false;       // ...with RST instead of FIN
    bool trickleAfterUser = false; // answers USER a byte at a time, never ending the line
};

// A message whose subject, sender and date are as given (plain ASCII).
inline std::string SimpleMessage(const std::string& subject,
                                 const std::string& from = "a@example.jp",
                                 const std::string& date = "Fri, 5 Jan 2001 10:00:00 +0900") {
    return "Subject: " + subject + "\r\nFrom: " + from + "\r\nDate: " + date + "\r\n\r\nbody\r\n";
}

class MailboxServer {
public:
    MailboxServer() : server_([this](ServerConnection& c) { Serve(c); }) {}

    uint16_t Port() const { return server_.Port(); }
    std::string Host() const { return "127.0.0.1:" + std::to_string(Port()); }

    void Set(const std::string& user, Mailbox box) {
        std::lock_guard lock(mutex_);
        boxes_[user] = std::move(box);
    }

private:
    void Serve(ServerConnection& c) {
        if (!c.Send("+OK ready\r\n"))
            return;
        std::string user;
        Mailbox box;
        bool loggedIn = false;
        while (true) {
            const std::string line = c.ReadLine();
            if (line.empty())
                return;
            const std::string verb = line.substr(0, line.find(' '));
            const std::string arg =
                line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
            if (verb == "USER") {
                user = arg;
                if (Trickles(user)) {
                    // Each byte well within any time-out, until the client gives up.
                    for (int i = 0; i < 1500 && c.Send(i == 0 ? "+OK" : "."); ++i) {
                        if (c.WaitClosed(std::chrono::milliseconds(20)))
                            break;
                    }
                    return;
                }
                c.Send("+OK\r\n");
            } else if (verb == "PASS") {
                std::lock_guard lock(mutex_);
                const auto found = boxes_.find(user);
                if (found == boxes_.end() || found->second.password != arg) {
                    c.Send("-ERR [AUTH] no\r\n");
                    continue;
                }
                box = found->second;
                loggedIn = true;
                if (box.passAnswerWaits.valid())
                    box.passAnswerWaits.wait_for(std::chrono::seconds(30));
                if (box.silentAfterPass) {
                    c.WaitClosed(std::chrono::seconds(10));
                    return;
                }
                c.Send("+OK\r\n");
            } else if (verb == "STAT" && loggedIn) {
                const long long count = box.claimedCount >= 0
                                            ? box.claimedCount
                                            : static_cast<long long>(box.messages.size());
                c.Send("+OK " + std::to_string(count) + " 1000\r\n");
            } else if (verb == "RETR" && loggedIn) {
                const int n = std::atoi(arg.c_str());
                if (n < 1 || n > static_cast<int>(box.messages.size()) ||
                    box.refusedRetr.count(n)) {
                    c.Send("-ERR no such message\r\n");
                    continue;
                }
                const std::string reply =
                    "+OK\r\n" + box.messages[static_cast<size_t>(n - 1)] + ".\r\n";
                if (n != box.cutInMessage) {
                    c.Send(reply);
                    continue;
                }
                c.Send(std::string_view(reply).substr(0, reply.size() / 2));
                box.cutByReset ? c.Reset() : c.Close();
                return;
            } else if (verb == "QUIT") {
                c.Send(box.refuseQuit ? "-ERR not now\r\n" : "+OK bye\r\n");
                if (!box.refuseQuit)
                    return;
                c.WaitClosed(std::chrono::seconds(10));
                return;
            } else {
                c.Send("-ERR\r\n");
            }
        }
    }

    bool Trickles(const std::string& user) {
        std::lock_guard lock(mutex_);
        const auto found = boxes_.find(user);
        return found != boxes_.end() && found->second.trickleAfterUser;
    }

    std::mutex mutex_;
    std::map<std::string, Mailbox> boxes_;
    ScriptedServer server_; // last: its thread must stop before the mailboxes go
};

} // namespace pim::test
