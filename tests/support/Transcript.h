// The transcript harness of the POP3 and IMAP session tests: steps split at "|",
// each one something the owner does, named in a table ("RETRn" fetching message
// n), or bytes from the server ("\n" standing for CR LF). Each transcript runs
// with the server's bytes whole, one byte at a time, and cut after each of the
// first bytes of every step (where a status is read), and must come out the same.
#pragma once

#include "common/Cp932.h"
#include "mail/HeaderExtraction.h"
#include "mail/TlsOutcome.h"

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pim::transcript {

// The server's bytes of each step in reads of `piece` bytes, else whole after
// the first `cut` bytes.
struct Reads {
    size_t piece = 0, cut = 0;
};

using Actions = std::map<std::string, std::function<void()>>;

// Only a running timer can expire; it is single-shot.
inline void Expire(bool& running) {
    EXPECT_TRUE(std::exchange(running, false));
}

// Steps of both protocols: QUIT, CLOSE, TIMEOUT, LIMIT (the session's bound),
// TLSUP (the host's handshake succeeded), TLSDOWN (it or the certificate failed);
// `actions` adds the others.
template <class Session, class Host>
void Play(Session& session, Host& host, const std::string& steps, Actions actions, Reads reads) {
    actions.insert(
        {{"QUIT", [&] { session.Quit(); }},
         {"CLOSE", [&] { session.ConnectionClosed(); }},
         {"TIMEOUT", [&] { Expire(host.timerRunning), session.TimerExpired(); }},
         {"LIMIT", [&] { Expire(host.sessionTimerRunning), session.SessionTimerExpired(); }},
         {"TLSUP", [&] { session.TlsStarted(); }},
         {"TLSDOWN", [&] { session.ConnectionFailed(); }}});
    for (size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
        const std::string step = steps.substr(at, (end = steps.find('|', at)) - at);
        if (step.starts_with("RETR")) {
            session.Retr(std::stoi(step.substr(4)));
        } else if (actions.contains(step)) {
            actions.at(step)();
        } else {
            std::string bytes;
            for (char c : step)
                bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
            size_t n = reads.piece ? reads.piece : reads.cut ? reads.cut : bytes.size();
            for (size_t i = 0; i < bytes.size();
                 i += n, n = reads.piece ? reads.piece : bytes.size())
                session.Receive(std::string_view(bytes).substr(i, n));
        }
    }
}

// What a session's host records alike for POP3 and IMAP: one entry an event.
template <class Host>
struct Recording : Host {
    std::vector<std::string> log;
    std::string ids; // of the messages told, each with a comma
    bool timerRunning = false, sessionTimerRunning = false;
    std::function<void()> onConnect;

    void TlsOffered() override { log.push_back("TLS offered"); }
    void Connected(int count) override {
        log.push_back("connect " + std::to_string(count));
        onConnect ? onConnect() : void();
    }
    void MailInformation(const MailSummary& s, const std::string& id) override {
        log.push_back(cp932::ToUtf8("mail " + s.MailTitle + "|" + s.SendUser));
        ids += id + ",";
    }

    void StopTimer() override { timerRunning = false; }
    void StartSessionTimer() override { sessionTimerRunning = true; }
    void StopSessionTimer() override { sessionTimerRunning = false; }
    void CloseConnection() override { log.push_back("close"); }
    void StartTls() override { log.push_back("start TLS"); }
    void TlsFailed(TlsFailure failure) override {
        log.push_back(failure == TlsFailure::Downgrade ? "downgrade" : "TLS failed");
    }
    void Failed(uint8_t errorNo) override { log.push_back("error " + std::to_string(errorNo)); }
    void TokenRefused(const std::string& status) override { log.push_back("status " + status); }
};

// Runs `check(c, reads)` for every case in every way of reading, traced by its name.
template <class Case, class Check>
void EveryWay(const std::vector<Case>& cases, Check check) {
    std::vector<Reads> ways = {{}, {1, 0}};
    for (size_t cut = 1; cut <= 6; ++cut)
        ways.push_back({0, cut});
    for (const Case& c : cases) {
        for (const Reads reads : ways) {
            SCOPED_TRACE(c.name + (reads.piece ? ", byte by byte" : "") +
                         (reads.cut ? ", cut after " + std::to_string(reads.cut) : ""));
            check(c, reads);
        }
    }
}

inline std::string Joined(const std::vector<std::string>& log) {
    std::string text;
    for (const std::string& entry : log)
        text += (text.empty() ? "" : ", ") + entry;
    return text;
}

} // namespace pim::transcript
