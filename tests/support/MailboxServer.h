// A small POP3 server on 127.0.0.1 for check runs: mailboxes by user, and a few
// ways a server can fail. Mailboxes may change between sessions.
#pragma once

#include "support/ScriptedServer.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace pim::test {

struct Mailbox {
    std::string password = "pw";
    std::vector<std::string> messages; // header and body, CR LF, without the final "."
    std::set<int> refusedRetr;         // message numbers answered -ERR
    bool refuseQuit = false;
    bool silentAfterPass = false; // takes the password and then says nothing
    long long claimedCount = -1;  // what STAT says, when not the real count
};

// A message whose subject and sender are as given (plain ASCII).
inline std::string SimpleMessage(const std::string& subject,
                                 const std::string& from = "a@example.jp") {
    return "Subject: " + subject + "\r\nFrom: " + from +
           "\r\nDate: Fri, 5 Jan 2001 10:00:00 +0900\r\n\r\nbody\r\n";
}

// A mailbox of such messages with these subjects, changed by `change` when given.
inline Mailbox Box(const std::vector<std::string>& subjects,
                   const std::function<void(Mailbox&)>& change = {}) {
    Mailbox box;
    for (const std::string& subject : subjects)
        box.messages.push_back(SimpleMessage(subject));
    if (change)
        change(box);
    return box;
}

class MailboxServer {
public:
    MailboxServer() : server_([this](ServerConnection& c) { Serve(c); }) {}

    std::string Host() const { return "127.0.0.1:" + std::to_string(server_.Port()); }
    // CAPA lists UIDL, and each message's id is made of its text.
    std::atomic<bool> listsIds = false;
    std::atomic<int> passes = 0; // PASS commands received
    void Set(const std::string& user, Mailbox box) {
        std::lock_guard lock(mutex_);
        boxes_[user] = std::move(box);
    }

private:
    void Serve(ServerConnection& c) {
        std::optional<Mailbox> box; // the user's, as the session found it
        bool loggedIn = false;
        for (std::string line = c.Send("+OK ready\r\n") ? c.ReadLine() : ""; !line.empty();
             line = c.ReadLine()) {
            const size_t space = line.find(' ');
            const std::string verb = line.substr(0, space);
            const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
            const int n = std::atoi(arg.c_str());
            if (verb == "USER") {
                std::lock_guard lock(mutex_);
                box = boxes_.contains(arg) ? std::optional(boxes_[arg]) : std::nullopt;
                c.Send("+OK\r\n");
            } else if (verb == "PASS" && (++passes, !box || box->password != arg)) {
                c.Send("-ERR [AUTH] no\r\n");
            } else if (verb == "PASS") {
                loggedIn = true;
                if (box->silentAfterPass)
                    return (void)c.WaitClosed(std::chrono::seconds(10));
                c.Send("+OK\r\n");
            } else if (verb == "STAT" && loggedIn) {
                const long long count =
                    box->claimedCount >= 0 ? box->claimedCount : (long long)box->messages.size();
                c.Send("+OK " + std::to_string(count) + " 1000\r\n");
            } else if (verb == "RETR" && loggedIn) {
                const bool there =
                    n >= 1 && n <= int(box->messages.size()) && !box->refusedRetr.count(n);
                c.Send(there ? "+OK\r\n" + box->messages[size_t(n - 1)] + ".\r\n"
                             : "-ERR no such message\r\n");
            } else if (verb == "CAPA" && listsIds) {
                c.Send("+OK\r\nUIDL\r\n.\r\n");
            } else if ((verb == "UIDL" || verb == "LIST") && loggedIn && listsIds) {
                std::string lines = "+OK\r\n";
                for (size_t i = 0; i < box->messages.size(); ++i)
                    lines +=
                        std::to_string(i + 1) + " " +
                        (verb == "UIDL" ? std::to_string(std::hash<std::string>()(box->messages[i]))
                                        : std::to_string(box->messages[i].size())) +
                        "\r\n";
                c.Send(lines + ".\r\n");
            } else if (verb == "QUIT") {
                const bool refuse = box && box->refuseQuit;
                c.Send(refuse ? "-ERR not now\r\n" : "+OK bye\r\n");
                if (refuse)
                    c.WaitClosed(std::chrono::seconds(10));
                return;
            } else {
                c.Send("-ERR\r\n");
            }
        }
    }

    std::mutex mutex_;
    std::map<std::string, Mailbox> boxes_;
    ScriptedServer server_; // last: its thread must stop before the mailboxes go
};

} // namespace pim::test
