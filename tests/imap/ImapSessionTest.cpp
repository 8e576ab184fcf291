// Transcripts of the IMAP dialogue (support/Transcript.h): what the server says,
// what the client must send and report.
#include "imap/ImapSession.h"

#include "common/Bytes.h"
#include "common/Cp932.h"
#include "support/Transcript.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <tuple>

namespace pim {
namespace {

using namespace std::string_literals;
using Tls = ImapSession::Tls;
using transcript::Joined;

struct Recorder : transcript::Recording<ImapSessionHost> {
    // One entry a write, its commands joined by "; ".
    bool Send(const std::string& bytes) override {
        EXPECT_TRUE(bytes.ends_with("\r\n")) << bytes;
        std::string line = bytes.substr(0, bytes.size() - 2);
        for (size_t at; (at = line.find("\r\n")) != std::string::npos;)
            line.replace(at, 2, "; ");
        return log.push_back("C: " + line), true;
    }
    void StartTimer() override { timerRunning = true; }
    void Disconnected() override { log.push_back("disconnect"); }
    void Reason(ImapReason reason) override {
        static const char* const kNames[] = {
            "none",        "login disabled",  "no mechanism",      "unsendable",   "too long",
            "unavailable", "token needs TLS", "token not offered", "token refused"};
        log.push_back("reason "s + kNames[static_cast<size_t>(reason)]);
    }
    void Alert(const std::string& text) override { log.push_back("alert " + cp932::ToUtf8(text)); }
    void Idling() override {
        EXPECT_FALSE(timerRunning || sessionTimerRunning);
        log.push_back("idling");
    }
    void Pushed() override { log.push_back("push"); }
};

// Runs steps split at "|", the first "BEGIN" where it signs in; "LATE" is a bound
// that fired before its timer was stopped.
struct Transcript {
    Recorder host;
    ImapSession session{host};
    SummaryCache cache;
    const DayNames days = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    std::string user = "taro", password = "secret";
    Tls tls = Tls::Offered;
    bool token = false; // the password is an OAuth token

    void Run(const std::string& steps, transcript::Reads reads = {}) {
        session.UseCache(&cache);
        session.SetDayNames(days);
        transcript::Play(session, host, steps,
                         {{"BEGIN",
                           [&] {
                               token ? session.BeginWithToken(user, password, "imap.example.jp",
                                                              tls, "imap.example.jp", 993)
                                     : session.Begin(user, password, "imap.example.jp", tls);
                           }},
                          {"KEEP", [&] { session.KeepOpen(true); }},
                          {"AGAIN", [&] { session.CheckAgain(); }},
                          {"RENEW", [&] { session.Renew(); }},
                          {"LEAVE", [&] { session.Leave(); }},
                          {"RESET", [&] { session.Reset(); }},
                          {"LATE", [&] { session.SessionTimerExpired(); }}},
                         reads);
    }
};

struct Case {
    std::string name, steps, expected, ids = {};
    std::function<void(Transcript&)> prepare = {};
};

// A FETCH answer carrying the header as a literal; `items` come before it.
std::string F(int n, const std::string& items, const std::string& subject) {
    const std::string header = "Subject: " + subject + "\nFrom: f@example.jp\n\n";
    const size_t size = header.size() + static_cast<size_t>(std::ranges::count(header, '\n'));
    return "* " + std::to_string(n) + " FETCH (" + items +
           " BODY[HEADER.FIELDS (DATE FROM SUBJECT RECEIVED)] {" + std::to_string(size) + "}\n" +
           header + ")\n";
}

const std::string kCaps = "* OK [CAPABILITY IMAP4rev1] ready\n";
// The answers to the flight, a search finding `uids` in INBOX of `exists` messages.
std::string Selected(const std::string& uids, int tag = 1, int exists = 4) {
    const auto t = [&](int i) { return "a" + std::to_string(tag + i); };
    return "|" + t(0) + " OK\n|* " + std::to_string(exists) +
           " EXISTS\n* OK [UIDVALIDITY 7] ok\n|" + t(1) + " OK [READ-ONLY]\n|* SEARCH " + uids +
           "\n|" + t(2) + " OK\n";
}
const std::string kFlight =
    "C: a1 LOGIN \"taro\" \"secret\"; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN";
// The FETCH of `set`, and LOGOUT in the same write unless kept open.
std::string Fetch(const std::string& set, int tag = 4, bool logout = true) {
    return "C: a" + std::to_string(tag) + " UID FETCH " + set +
           " (BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT RECEIVED)])" +
           (logout ? "; a" + std::to_string(tag + 1) + " LOGOUT" : "");
}
// The greeting and the flight's answers; the flight and the FETCH of `set`.
std::string Found(const std::string& uids, int exists = 4) {
    return kCaps + Selected(uids, 1, exists);
}
std::string Fetched(const std::string& set) {
    return kFlight + ", " + Fetch(set);
}
// A check of UID 3 kept open, its quit sending "a5 IDLE", and idling. IDLE is
// offered in the login's answer, as servers do (a greeting's offer is in rows below).
const std::string kIdle = "KEEP|" + kCaps + "|a1 OK [CAPABILITY IMAP4rev1 IDLE] in" +
                          Selected("3").substr(6) + "|" + F(1, "UID 3", "three") +
                          "|a4 OK\n|RETR1|QUIT";
const std::string kIdling = kIdle + "|+ idling\n";
const std::string kIdled = kFlight + ", " + Fetch("3", 4, false) +
                           ", connect 1, mail three|f@example.jp, C: a5 IDLE, idling";

void ExpectTranscripts(const std::vector<Case>& cases) {
    transcript::EveryWay(cases, [](const Case& c, transcript::Reads reads) {
        Transcript t;
        c.prepare ? c.prepare(t) : void();
        t.Run("BEGIN|" + c.steps, reads);
        EXPECT_EQ(Joined(t.host.log), c.expected);
        // Those after kIdled tell UID 3 of UIDVALIDITY 7 first.
        EXPECT_EQ(t.host.ids, c.ids.empty() && c.expected.starts_with(kIdled) ? "7.3," : c.ids);
        // Closed: reset, no timer left running; none while idling either.
        if (!t.session.Open() || c.expected.ends_with("idling") || c.expected.ends_with("push")) {
            EXPECT_FALSE(t.host.timerRunning || t.host.sessionTimerRunning);
        }
    });
}

TEST(ImapSession, TheDialogueFollowsWhatTheServerSays) {
    std::string huge; // descending, more than one line's bound
    for (int uid = 20000; uid >= 1; --uid)
        huge += std::to_string(uid) + ' ';
    huge.pop_back();
    std::string all; // the answers to the FETCH of the 255 newest
    for (int uid = 19746; uid <= 20000; ++uid)
        all += F(uid - 19745, "UID " + std::to_string(uid), std::to_string(uid));
    const auto quitInsideConnect = [](Transcript& t) {
        t.host.onConnect = [&t] { t.session.Quit(); };
    };
    ExpectTranscripts({
        // Greetings.
        {"one flight, answers out of order and with FLAGS, untagged data between, LOGOUT "
         "ahead, the rest read after the server's goodbye",
         Found("3 4 7") + "|* 2 EXISTS\n|" + F(3, "FLAGS (\\Recent) UID 7", "seven") + "|" +
             F(2, "UID 4 FLAGS ()", "four") + "|* 9 FETCH (FLAGS (\\Seen))\n|" +
             F(1, "UID 3", "three") + "|a4 OK\n|RETR2|* BYE\n|a5 OK\n|CLOSE|RETR1|RETR3|QUIT",
         Fetched("3:4,7") + ", connect 3, mail four|f@example.jp, mail three|f@example.jp, mail "
                            "seven|f@example.jp, disconnect, close",
         "7.4,7.3,7.7,"},
        {"the server goes before it answers the LOGOUT sent ahead",
         Found("3") + "|" + F(1, "UID 3", "three") + "|a4 OK\n|CLOSE|RETR1|QUIT",
         Fetched("3") + ", connect 1, mail three|f@example.jp, disconnect, close", "7.3,"},
        {"a LOGOUT sent ahead and never answered ends as answered",
         Found("3") + "|" + F(1, "UID 3", "three") + "|a4 OK\n|RETR1|TIMEOUT|QUIT",
         Fetched("3") + ", connect 1, mail three|f@example.jp, disconnect, close", "7.3,"},
        {"a greeting without capabilities is asked for them",
         "* OK ready\n|* CAPABILITY IMAP4rev1 AUTH=PLAIN SASL-IR\n|a1 OK\n" + Selected("", 2),
         "C: a1 CAPABILITY, C: a2 AUTHENTICATE PLAIN AHRhcm8Ac2VjcmV0; a3 EXAMINE INBOX; a4 UID "
         "SEARCH UNSEEN, connect 0, C: a5 LOGOUT"},
        {"a stray continuation, and braces that hold no number, change nothing",
         kCaps + "|a1 OK\n+ go on\n|* 4 EXISTS\n|a2 OK\n|* SEARCH\n* OK {soon}\n|a3 OK\n",
         kFlight + ", connect 0, C: a4 LOGOUT"},
        {"PREAUTH in clear when TLS is required", "* PREAUTH hi\n", "downgrade, error 2, close", "",
         [](Transcript& t) { t.tls = Tls::Required; }},
        {"BYE for a greeting", "* BYE [ALERT] busy\n", "alert busy, error 2, close"},
        // TLS.
        {"STARTTLS: what was offered or alerted in clear, or after the OK, is forgotten",
         "* OK [CAPABILITY STARTTLS LOGINDISABLED] hi\n|* NO [ALERT] forged\na1 OK\n* CAPABILITY "
         "AUTH=PLAIN |TLSUP|* "
         "CAPABILITY IMAP4rev1\n|a2 OK\n",
         "TLS offered, C: a1 STARTTLS, start TLS, C: a2 CAPABILITY, C: a3 LOGIN \"taro\" "
         "\"secret\"; a4 EXAMINE INBOX; a5 UID SEARCH UNSEEN"},
        {"TLS required and not offered", kCaps, "downgrade, error 2, close", "",
         [](Transcript& t) { t.tls = Tls::Required; }},
        {"capabilities in CAPABILITY's OK alone: STARTTLS, not LOGIN in clear",
         "* OK ready\n|a1 OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] done\n",
         "C: a1 CAPABILITY, TLS offered, C: a2 STARTTLS"},
        {"capabilities in an untagged OK while CAPABILITY runs",
         "* OK ready\n|* OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] hi\n|a1 OK\n",
         "C: a1 CAPABILITY, TLS offered, C: a2 STARTTLS"},
        {"STARTTLS refused", "* OK [CAPABILITY STARTTLS]\n|a1 BAD\n",
         "TLS offered, C: a1 STARTTLS, TLS failed, error 2, close"},
        {"the handshake fails", "* OK [CAPABILITY STARTTLS]\n|a1 OK\n|TLSDOWN",
         "TLS offered, C: a1 STARTTLS, start TLS, TLS failed, error 2, close"},
        {"left during the handshake", "* OK [CAPABILITY STARTTLS]\n|a1 OK\n|LEAVE",
         "TLS offered, C: a1 STARTTLS, start TLS, TLS failed, error 2, close"},
        {"imaps: no STARTTLS", "* OK [CAPABILITY STARTTLS]\n",
         "C: a1 LOGIN \"taro\" \"secret\"; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN", "",
         [](Transcript& t) { t.tls = Tls::Implicit; }},
        // Login: what the server offers, in UTF-8, and nothing it cannot carry.
        {"quoted with escapes", kCaps,
         "C: a1 LOGIN \"taro\" \"a\\\"b\\\\\"; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN", "",
         [](Transcript& t) { t.password = "a\"b\\"; }},
        {"8-bit: UTF-8 in a literal after the server's +", kCaps + "|+ go\n",
         "C: a1 LOGIN \"taro\" {10}, C: 合言葉\r; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN", "",
         [](Transcript& t) { t.password = cp932::FromUtf8("合言葉\r"); }},
        {"LITERAL+: the literal in the same write", "* OK [CAPABILITY LITERAL+]\n",
         "C: a1 LOGIN \"taro\" {1+}; \n; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN", "",
         [](Transcript& t) { t.password = "\n"; }},
        {"AUTH=PLAIN without SASL-IR: the answer, in UTF-8, after the +",
         "* OK [CAPABILITY LOGINDISABLED AUTH=PLAIN]\n|+\n",
         "C: a1 AUTHENTICATE PLAIN, C: AOWkqumDjgDlkIjoqIDokYk=; a2 EXAMINE INBOX; a3 UID SEARCH "
         "UNSEEN",
         "",
         [](Transcript& t) {
             t.user = cp932::FromUtf8("太郎"), t.password = cp932::FromUtf8("合言葉");
         }},
        {"LOGINDISABLED in clear and no STARTTLS: nothing secret goes out",
         "* OK [CAPABILITY IMAP4rev1 LOGINDISABLED]\n|a1 OK\n",
         "C: a1 LOGOUT, reason login disabled, error 4, close"},
        {"LOGINDISABLED over TLS and no AUTH=PLAIN: no mechanism",
         "* OK [CAPABILITY LOGINDISABLED AUTH=GSSAPI]\n|CLOSE",
         "C: a1 LOGOUT, reason no mechanism, error 4, close", "",
         [](Transcript& t) { t.tls = Tls::Implicit; }},
        {"a NUL in the password", kCaps + "|a1 OK\n",
         "C: a1 LOGOUT, reason unsendable, error 4, close", "",
         [](Transcript& t) { t.password = "se\0cret"s; }},
        {"a password of 16 KB goes out", kCaps,
         "C: a1 LOGIN \"taro\" \"" + std::string(16384, 'x') +
             "\"; a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN",
         "", [](Transcript& t) { t.password = std::string(16384, 'x'); }},
        {"a password of 16 KB and one byte does not", kCaps + "|a1 OK\n",
         "C: a1 LOGOUT, reason too long, error 4, close", "",
         [](Transcript& t) { t.password = std::string(16385, 'x'); }},
        // Refusals: the answers due are read, one error told.
        {"login refused", kCaps + "|a1 NO\n|a2 BAD\n|* SEARCH 1\n|a3 BAD\n|a4 OK\n",
         kFlight + ", C: a4 LOGOUT, error 4, close"},
        {"login refused, then the connection fails: the refusal stands",
         kCaps + "|a1 NO\n|a2 BAD\n|* SEARCH 1\n|a3 BAD\n|TLSDOWN",
         kFlight + ", C: a4 LOGOUT, error 4, close"},
        {"no login for now: a failure that passes, not a refusal",
         kCaps + "|a1 NO [UNAVAILABLE] later\n|a2 BAD\n|a3 BAD\n|a4 OK\n",
         kFlight + ", C: a4 LOGOUT, reason unavailable, error 2, close"},
        {"refused before its literal", kCaps + "|a1 NO\n|CLOSE",
         "C: a1 LOGIN \"taro\" {3}, C: a2 LOGOUT, error 4, close", "",
         [](Transcript& t) { t.password = cp932::FromUtf8("語"); }},
        {"search refused", kCaps + "|a1 OK\n|a2 OK\n|a3 BAD\n|TIMEOUT",
         kFlight + ", C: a4 LOGOUT, error 5, close"},
        {"INBOX refused, a search answered anyway",
         kCaps + "|a1 OK\n|a2 NO\n|* SEARCH 1\n|a3 OK\n|TIMEOUT",
         kFlight + ", C: a4 LOGOUT, error 5, close"},
        {"a search word that is no UID", Found("1 x2"), kFlight + ", C: a4 LOGOUT"},
        // [ALERT]s reach the owner, each text once, as one line of CP932; in clear,
        // once it is sure that no TLS follows.
        {"alerts",
         "* OK [ALERT] Down at\t10:00\n|* CAPABILITY IMAP4rev1\n* NO [ALERT] Down at\t10:00\n|a1 "
         "OK [ALERT] 容量が一杯です\n|a2 NO [ALERT]\n|a3 BAD\n|a4 OK\n|a5 OK\n",
         "C: a1 CAPABILITY, alert Down at 10:00, alert 容量が一杯です, C: a2 LOGIN \"taro\" "
         "\"secret\"; a3 EXAMINE INBOX; a4 UID SEARCH UNSEEN, C: a5 LOGOUT, error 4, close"},
        // Messages gone between the search and the FETCH are no longer there.
        {"quoted strings, escaped or not, in a list or not, hide no item",
         Found("5") + "|" + F(1, R"x(X-A "a" X-B ("b)" "\\\"") X-C "c\"d)" UID 5)x", "five") +
             "|a4 OK\n|RETR1",
         Fetched("5") + ", connect 1, mail five|f@example.jp", "7.5,"},
        {"literals of no byte and of one hide no item",
         Found("5") + "|" + F(1, "X-A {0}\n X-B {1}\n) UID 5", "five") + "|a4 OK\n|RETR1",
         Fetched("5") + ", connect 1, mail five|f@example.jp", "7.5,"},
        {"a brace without its end spoils the answer",
         Found("5") + "|" + ReplaceAll(F(1, "UID 5", "five"), "\n\n)", "\n\n X-A {12)") +
             "|a4 OK\n|RETR1",
         Fetched("5") + ", connect 0"},
        {"a UID that is no number names no message",
         Found("1") + "|" + F(1, "UID 1x", "one") + "|a4 OK\n|RETR1", Fetched("1") + ", connect 0"},
        {"a message without an answer, one answered without its UID",
         Found("5 6 7") + "|" + F(2, "FLAGS ()", "six") + F(3, "UID 7", "seven") + "|a4 OK\n|RETR1",
         Fetched("5:7") + ", connect 1, mail seven|f@example.jp", "7.7,"},
        {"FETCH refused", Found("5") + "|a4 NO\n|QUIT|a5 OK\n",
         Fetched("5") + ", connect 0, disconnect, close"},
        {"of the 255 newest one gone: older ones cannot take its place",
         Found(huge, 20000) + "|a4 OK\n|RETR1", Fetched("19746:20000") + ", error 6, error 6"},
        // The window and the cache.
        {"a huge search: the count, and the 255 newest ascending",
         Found(huge, 20000) + "|" + all + "a4 OK\n|RETR255",
         Fetched("19746:20000") + ", connect 20000, mail 20000|f@example.jp", "7.20000,"},
        {"the same searched again in a kept session: the same count",
         kIdling + "|* 30000 EXISTS\n|AGAIN|a5 OK\n* SEARCH " + huge + "\n|a6 OK\n|" + all +
             "a7 OK\n|RETR255",
         kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN, " + Fetch("19746:20000", 7, false) +
             ", connect 20000, mail 20000|f@example.jp",
         "7.3,7.20000,"},
        {"UIDs named twice in one answer: no more than INBOX holds, the newest",
         Found("1 2 3 4 5 6 1 2 3 4 5 6") + "|" + F(1, "UID 3", "c") + F(2, "UID 4", "d") +
             F(3, "UID 5", "e") + F(4, "UID 6", "f") + "a4 OK\n",
         Fetched("3:6") + ", connect 4"},
        {"an answer over two lines: both count", Found("5\n* SEARCH 6"), Fetched("5:6")},
        {"a cached message is not asked for again",
         Found("5 6") + "|" + F(1, "UID 5", "five") + F(2, "UID 6", "six") +
             "a4 OK\n|QUIT|a5 OK\n|BEGIN|" + Found("5 6 8") + "|" + F(3, "UID 8", "eight") +
             "|a4 OK\n|RETR2",
         Fetched("5:6") + ", connect 2, disconnect, close, " + Fetched("8") +
             ", connect 3, mail six|f@example.jp",
         "7.6,"},
        {"a LOGOUT from inside Connected sends no FETCH",
         Found("5") + "|" + F(1, "UID 5", "five") + "|a4 OK\n|a5 OK\n|BEGIN|" + Found("5") +
             "|a4 OK\n",
         Fetched("5") + ", connect 1, disconnect, close, " + kFlight +
             ", connect 1, C: a4 LOGOUT, disconnect, close",
         "", quitInsideConnect},
        // Ends.
        {"closed before the login", kCaps + "|CLOSE", kFlight + ", error 2, close"},
        {"reset by the owner before the login", kCaps + "|RESET", kFlight + ", close"},
        {"closed during the FETCH", Found("5") + "|CLOSE", Fetched("5") + ", error 5, close"},
        {"the LOGOUT sent ahead answered before the FETCH: as a close",
         Found("5") + "|* BYE bye\na5 OK\n", Fetched("5") + ", error 5, close"},
        {"silence", "TIMEOUT", "error 1, close"},
        {"a flood runs into the session's bound", Found("") + "|* 1 EXISTS\n* OK\n|* OK\n|LIMIT",
         kFlight + ", connect 0, C: a4 LOGOUT, error 1, close"},
    });
}

TEST(ImapSession, KeptOpenItIdlesAndChecksAgain) {
    std::string flood;
    for (int n = 1; n <= 3000; ++n)
        flood += "* " + std::to_string(n) + " EXISTS\n* " + std::to_string(n) + " RECENT\n";
    const std::string renewed = "|RENEW|a5 OK\n+ idling\n|";
    ExpectTranscripts({
        {"kept open without IDLE offered: LOGOUT ahead as ever",
         "KEEP|" + Found("3") + "|" + F(1, "UID 3", "three") + "a4 OK\n|QUIT|a5 OK\n",
         Fetched("3") + ", connect 1, disconnect, close"},
        {"a change after the search: told once idling",
         "KEEP|* OK [CAPABILITY IDLE]\n" + Selected("3") + "|" + F(1, "UID 3", "three") +
             "* 5 EXISTS\na4 OK\n|RETR1|QUIT|+ idling\n",
         kIdled + ", push"},
        {"a flood while idling: one push", kIdling + "|" + flood, kIdled + ", push"},
        {"no message is read while idling", kIdling + "|RETR1", kIdled},
        {"a bound that fired before the IDLE ends nothing", kIdling + "|LATE", kIdled},
        {"checked again: DONE and the search in one write, the IDLE's OK dropped, only the new "
         "one fetched",
         kIdling + "|* 2 FETCH (FLAGS (\\Seen))\n|AGAIN|a5 OK\n|* SEARCH 3 8\n|a6 OK\n|" +
             F(2, "UID 8", "eight") + "|a7 OK\n|RETR1|RETR2|QUIT|+ idling\n",
         kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN, " + Fetch("8", 7, false) +
             ", connect 2, mail three|f@example.jp, mail eight|f@example.jp, C: a8 IDLE, idling",
         "7.3,7.3,7.8,"},
        {"a change while the search runs: told once idling again",
         kIdling + "|AGAIN|a5 OK\n|* 5 EXISTS\n|* SEARCH 3\n|a6 OK\n|QUIT|+ idling\n",
         kIdled + ", C: DONE; a6 UID SEARCH UNSEEN, connect 1, C: a7 IDLE, idling, push"},
        {"a new UIDVALIDITY while idling: told, and nothing is cached",
         kIdling + "|* OK [UIDVALIDITY 9] new\n|AGAIN|a5 OK\n|* SEARCH 3\n|a6 OK\n",
         kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN, " + Fetch("3", 7, false)},
        {"a first UIDVALIDITY after EXAMINE is no change",
         ReplaceAll(kIdling, "* OK [UIDVALIDITY 7] ok\n", "") + "|* OK [UIDVALIDITY 7]\n", kIdled,
         "0.3,"},
        {"asked again while the renewal's + is awaited: the search follows the +",
         kIdling + "|RENEW|AGAIN|a5 OK\n|+ idling\n|a6 OK\n|* SEARCH\n|a7 OK\n|QUIT",
         kIdled + ", C: DONE; a6 IDLE, C: DONE; a7 UID SEARCH UNSEEN, connect 0, C: a8 IDLE"},
        {"the renewal refused then: the search without DONE, and push goes on",
         kIdling + "|RENEW|AGAIN|a5 OK\n|a6 NO\n|* SEARCH\n|a7 OK\n|QUIT",
         kIdled + ", C: DONE; a6 IDLE, C: a7 UID SEARCH UNSEEN, connect 0, C: a8 IDLE"},
        {"a check again runs into the session's bound", kIdling + "|AGAIN|LIMIT",
         kIdled + ", C: DONE; a6 UID SEARCH UNSEEN, error 1, close"},
        // IDLE refused: no push on this connection, and no reconnection either.
        {"IDLE refused: LOGOUT", kIdle + "|a5 NO\n|a6 OK\n",
         kFlight + ", " + Fetch("3", 4, false) +
             ", connect 1, mail three|f@example.jp, C: a5 IDLE, C: a6 LOGOUT, disconnect, close",
         "7.3,"},
        // IDLE ended by the server, and other ends: the connection is made again.
        {"IDLE ended by the server", kIdling + "|a5 OK\n", kIdled + ", error 2, close"},
        {"IDLE ended by the server with NO", kIdling + "|a5 NO bye\n", kIdled + ", error 2, close"},
        {"a renewal unanswered: the connection is dead", kIdling + "|RENEW|TIMEOUT",
         kIdled + ", C: DONE; a6 IDLE, error 1, close"},
        {"a renewal's + never comes while the server chats: the session's bound",
         kIdling + "|RENEW|* OK hi\n|LIMIT", kIdled + ", C: DONE; a6 IDLE, error 1, close"},
        {"left while idling, the LOGOUT unanswered while the server chats",
         kIdling + "|LEAVE|* OK hi\n|LIMIT", kIdled + ", C: DONE; a6 LOGOUT, error 1, close"},
        {"BYE while idling", kIdling + "|* BYE shutting down\n", kIdled + ", error 2, close"},
        {"closed while idling", kIdling + "|CLOSE", kIdled + ", error 2, close"},
        {"left", kIdling + "|LEAVE|a5 OK\n* BYE\n|a6 OK\n",
         kIdled + ", C: DONE; a6 LOGOUT, disconnect, close"},
        // What counts as a change while idling: what differs from what was known
        // (EXAMINE told 4 messages), once; nothing malformed.
        {"nothing new, or nothing meant",
         kIdling +
             "|* 4 EXISTS\n* 4 RECENT\n* VANISHED 9\n* FLAGS (\\Seen)\n* 5 EXISTS x\n* 5 "
             "EXPUNGE\n* 0 EXPUNGE\n* 5 FETCH (FLAGS (\\Seen))\n* 2 FETCH (FLAGS (\\Seen)\n* "
             "2 FETCH (FLAGS x)\n* OK [UIDVALIDITY 7]\n" +
             F(1, "UID 3", "three") + "* 1 FETCH (BODY[] {x}\n",
         kIdled},
        {"a new count, told again; EXPUNGE each time",
         kIdling + "|* 3 EXISTS\n" + renewed + "* 3 EXISTS\n|RENEW|a6 OK\n+ idling\n|* 3 EXPUNGE\n",
         kIdled + ", push, C: DONE; a6 IDLE, idling, C: DONE; a7 IDLE, idling, push"},
        // A server may tell flags before EXAMINE: they are of no message it counts.
        {"\\Seen set after flags heard before EXAMINE",
         ReplaceAll(kIdling, "IDLE] in\n|", "IDLE] in\n* 4 EXISTS\n* 2 FETCH (FLAGS (\\Seen))\n|") +
             "|* 2 FETCH (FLAGS (\\Seen))\n",
         kIdled + ", push"},
        {"\\Seen set, set again, taken away",
         kIdling + "|* 2 FETCH (FLAGS (\\Seen))\n" + renewed + "* 2 FETCH (FLAGS (\\SEEN))\n" +
             "|RENEW|a6 OK\n+ idling\n|* 2 FETCH (FLAGS ())\n",
         kIdled + ", push, C: DONE; a6 IDLE, idling, C: DONE; a7 IDLE, idling, push"},
        {"the flags known move down with the messages after an EXPUNGE",
         kIdling + "|* 3 FETCH (FLAGS (\\Seen))\n* 2 EXPUNGE\n" + renewed +
             "* 2 FETCH (FLAGS (\\Seen))\n",
         kIdled + ", push, C: DONE; a6 IDLE, idling"},
    });
}

// New messages while idling (4 known): DONE and their FETCH in one write, the
// check answered from it; whatever it cannot tell is searched for.
TEST(ImapSession, NewMessagesAreFetchedWithTheDone) {
    const auto peek = [](int count) {
        return kIdled + ", C: DONE; a6 FETCH " + (count > 5 ? "5:" : "") + std::to_string(count) +
               " (UID FLAGS BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT RECEIVED)]), push";
    };
    const auto exists = [](int count) {
        return kIdling + "|* " + std::to_string(count) + " EXISTS\n|";
    };
    const std::string eight = F(5, "UID 8 FLAGS ()", "eight"), ok = "a6 OK\n";
    std::string many; // 255 new unseen besides UID 3
    for (int n = 5; n <= 259; ++n)
        many += F(n, "FLAGS (\\Recent) UID " + std::to_string(n + 100), "m" + std::to_string(n));
    std::vector<Case> cases = {
        {"seen and unseen: the unseen added, no search",
         exists(6) + "AGAIN|a5 OK\n" + F(5, "UID 8 FLAGS (\\Seen)", "eight") +
             F(6, "UID 9 FLAGS ()", "nine") + ok + "|RETR1|RETR2|QUIT|+ idling\n",
         peek(6) +
             ", connect 2, mail three|f@example.jp, mail nine|f@example.jp, C: a7 IDLE, idling",
         "7.3,7.3,7.9,"},
        {"of more than a check reads, the newest", exists(259) + "AGAIN|" + many + ok + "|RETR1",
         peek(259) + ", connect 256, mail m5|f@example.jp", "7.3,7.105,"},
        {"answered before the check: IDLE again, and the search needs no header",
         exists(5) + "a5 OK\n" + eight + ok +
             "|+ idling\n|AGAIN|a7 OK\n* SEARCH 3 8\na8 OK\n|RETR2",
         peek(5) + ", C: a7 IDLE, idling, C: DONE; a8 UID SEARCH UNSEEN, connect 2, mail "
                   "eight|f@example.jp",
         "7.3,7.8,"},
        {"IDLE refused after it: LOGOUT, then as a lost connection",
         exists(5) + "a5 OK\n" + eight + ok + "|a7 NO\n|a8 OK\n",
         peek(5) + ", C: a7 IDLE, C: a8 LOGOUT, error 2, close"},
        {"left meanwhile", exists(5) + "LEAVE|a5 OK\n" + eight + ok + "|a7 OK\n",
         peek(5) + ", C: a7 LOGOUT, disconnect, close"},
        // No FETCH at all: fewer messages, or more than a check reads.
        {"fewer", exists(2) + "AGAIN", kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN"},
        {"more than a check reads", exists(260) + "AGAIN",
         kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN"},
        {"huge", kIdling + "|* 4294967295 EXISTS\n|AGAIN",
         kIdled + ", push, C: DONE; a6 UID SEARCH UNSEEN"},
    };
    // The search, where the answer cannot tell.
    const std::tuple<std::string, int, std::string> unclear[] = {
        {"an EXPUNGE", 5, "* 2 EXPUNGE\n" + eight + ok},
        {"a message read elsewhere", 5, "* 1 FETCH (FLAGS (\\Seen))\n" + eight + ok},
        {"a new UIDVALIDITY", 5, "* OK [UIDVALIDITY 9]\n" + eight + ok},
        {"one more meanwhile", 5, eight + "* 6 EXISTS\n" + ok},
        {"refused", 5, eight + "a6 NO\n"},
        {"one missing", 6, eight + ok},
        {"one not asked for", 5, eight + F(6, "UID 9 FLAGS ()", "x") + ok},
        {"one told twice", 5, eight + eight + ok},
        {"without its flags", 5, F(5, "UID 8", "eight") + ok},
        {"a UID below those known", 5, F(5, "UID 2 FLAGS ()", "two") + ok},
        {"UIDs that fall", 6, F(5, "UID 9 FLAGS ()", "nine") + F(6, "UID 8 FLAGS ()", "x") + ok},
    };
    for (const auto& [name, count, answer] : unclear)
        cases.push_back({name, exists(count) + "AGAIN|a5 OK\n" + answer,
                         peek(count) + ", C: a7 UID SEARCH UNSEEN"});
    ExpectTranscripts(cases);
}

// What a hostile server sends beyond the bounds ends the session or is dropped.
TEST(ImapSession, BoundsHoldWhateverTheServerSends) {
    // A response without end ends the session within the bounds; while idling
    // no timer runs, so only they do.
    const std::string chunk(4096, 'x');
    const size_t line = ImapResponseReader::kMaxText + chunk.size(),
                 idle = ImapResponseReader::kMaxText + ImapResponseReader::kMaxLiterals;
    const std::tuple<std::string, size_t, std::string> endless[] = {
        {"* OK ", line, "error 1, close"},
        {kIdling + "|* 1 FETCH (BODY[] {99999999999}\n", idle, kIdled + ", error 1, close"},
        {kIdling + "|* 1 FETCH (BODY[] {70000}\n", idle, kIdled + ", error 1, close"},
        {kIdling + "|* SEARCH ", idle, kIdled + ", error 1, close"}};
    for (const auto& [steps, bound, expected] : endless) {
        Transcript t;
        t.Run("BEGIN|" + steps);
        for (size_t sent = 0; sent + chunk.size() <= bound && t.session.Open();
             sent += chunk.size())
            t.session.Receive(chunk);
        EXPECT_EQ(Joined(t.host.log), expected) << steps.substr(steps.size() - 10);
    }

    Transcript literal;
    literal.Run("BEGIN|" + Found("5"));
    literal.session.Receive("* 1 FETCH (UID 5 BODY[HEADER.FIELDS (SUBJECT)] {70000}\r\n");
    literal.session.Receive("Subject: big\r\n" + std::string(70000 - 14, 'y'));
    literal.session.Receive(")\r\na4 OK\r\n");
    literal.session.Retr(1);
    EXPECT_EQ(literal.host.log.back(), "mail （タイトル未設定）|（差出人不明）");
    EXPECT_EQ(literal.cache.Size("imap:" + SummaryCache::AccountKey("imap.example.jp", "taro")),
              0u);

    Transcript alert;
    alert.tls = Tls::Implicit;
    alert.Run("BEGIN|* OK [ALERT] " + std::string(1000, 'x') + "\n");
    EXPECT_EQ(alert.host.log.front(), "alert " + std::string(ImapSession::kMaxAlert, 'x'));
}

// A token goes out only over TLS, by the mechanism made for it, alone in its
// write: a refusal comes as a challenge that anything sent with it would answer.
TEST(ImapSession, ATokenGoesOutAloneOverTlsAndARefusalIsAnsweredAndTold) {
    const std::string bearer =
        "AUTHENTICATE OAUTHBEARER bixhPXRhcm8sAWhvc3Q9aW1hcC5leGFtcGxlLmpwAXBvcnQ9OTkzAWF1dGg9QmVh"
        "cmVyIHRvawEB";
    const std::string both = "* OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=XOAUTH2 AUTH=OAUTHBEARER]\n";
    const std::string searched = "|* SEARCH\n|a2 OK\n|a3 OK\n";
    std::vector<Case> cases = {
        {"OAUTHBEARER where offered, EXAMINE after the login's OK", both + "|a1 OK\n" + searched,
         "C: a1 " + bearer +
             ", C: a2 EXAMINE INBOX; a3 UID SEARCH UNSEEN, connect 0, C: a4 LOGOUT"},
        {"XOAUTH2 without SASL-IR: the response after the +",
         "* OK [CAPABILITY IMAP4rev1 AUTH=XOAUTH2]\n|+\n|a1 OK\n" + searched,
         "C: a1 AUTHENTICATE XOAUTH2, C: dXNlcj10YXJvAWF1dGg9QmVhcmVyIHRvawEB, C: a2 EXAMINE "
         "INBOX; a3 UID SEARCH UNSEEN, connect 0, C: a4 LOGOUT"},
        {"a refusal's challenge answered with %x01, a second one cancelled",
         both + "|+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\n|+ again\n|a1 NO refused\n|a2 OK\n",
         "C: a1 " + bearer +
             ", C: AQ==, C: *, C: a2 LOGOUT, status invalid_token, reason token refused, error "
             "4, close"},
        {"a bare refusal of XOAUTH2",
         "* OK [CAPABILITY AUTH=XOAUTH2 SASL-IR]\n|a1 NO AUTHENTICATE failed.\n|a2 OK\n",
         "C: a1 AUTHENTICATE XOAUTH2 dXNlcj10YXJvAWF1dGg9QmVhcmVyIHRvawEB, C: a2 LOGOUT, status , "
         "reason token refused, error 4, close"},
        {"no TLS offered: nothing goes out", both + "|a1 OK\n",
         "C: a1 LOGOUT, reason token needs TLS, error 4, close"},
        {"no mechanism for tokens", "* OK [CAPABILITY AUTH=PLAIN SASL-IR]\n|a1 OK\n",
         "C: a1 LOGOUT, reason token not offered, error 4, close"},
    };
    // An OAuth token over imaps, but where the name says no TLS is offered.
    for (Case& c : cases)
        c.prepare = [tls = c.name.starts_with("no TLS") ? Tls::Offered : Tls::Implicit](
                        Transcript& t) { t.token = true, t.tls = tls, t.password = "tok"; };
    ExpectTranscripts(cases);
}

} // namespace
} // namespace pim
