// Transcripts of the POP3 dialogue: what the server says, what the client must
// send and report. Each one runs with the server's bytes in whole replies and
// again one byte at a time, and must come out the same.
#include "pop3/Pop3Session.h"

#include "common/Cp932.h"
#include "pop3/Pop3Endpoint.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <variant>

namespace pim {
namespace {

using namespace std::string_literals;

struct Recorder : Pop3SessionHost {
    std::vector<std::string> log;
    bool handlesConnect = true, timerRunning = false, sessionTimerRunning = false;
    Wait wait = Wait::Reply;
    std::function<void(int)> onConnect;
    std::function<void(const MailSummary&)> onMail;
    const Pop3Session* session = nullptr;

    bool SendLine(const std::string& line) override { return log.push_back("C: " + line), true; }
    void StartTimer(Wait w) override { timerRunning = true, wait = w; }
    void StopTimer() override { timerRunning = false; }
    void StartSessionTimer() override { sessionTimerRunning = true; }
    void StopSessionTimer() override { sessionTimerRunning = false; }
    void CloseConnection() override { log.push_back("close"); }
    void StartTls() override { log.push_back("start TLS"); }
    void TlsOffered() override { log.push_back("STLS offered"); }
    void TlsFailed(TlsFailure failure) override {
        log.push_back(failure == TlsFailure::Downgrade ? "downgrade" : "TLS failed");
    }
    bool HandlesConnect() const override { return handlesConnect; }
    void Connected(int count) override {
        log.push_back("OnConnect " + std::to_string(count));
        if (onConnect)
            onConnect(count);
    }
    void MailInformation(const MailSummary& s) override {
        log.push_back("OnGetMailInformation " + s.MailTitle + " | " + s.SendUser);
        if (onMail)
            onMail(s);
    }
    // Events come before the reset: the session still counts as open in them.
    void Disconnected() override {
        log.push_back(session && !session->Open() ? "OnDisconnect after the reset"
                                                  : "OnDisconnect");
    }
    void Failed(uint8_t errorNo) override { log.push_back("OnError " + std::to_string(errorNo)); }
    void QuitRefused() override { log.push_back("quit refused"); }
};

// A step of a transcript: bytes from the server, or something the owner does.
struct Server {
    std::string bytes;
};
// TlsUp: the host's handshake succeeded; TlsDown: it or the certificate failed.
enum class Owner { Quit, Retr1, Retr2, Retr3, Close, TimeOut, SessionLimit, Begin, TlsUp, TlsDown };
using Step = std::variant<Server, Owner>;

struct Transcript {
    Recorder host;
    Pop3Session session{host};
    SummaryCache cache;
    Pop3Session::Tls tls = Pop3Session::Tls::Offered;
    Transcript() { host.session = &session; }

    void Run(const std::vector<Step>& steps, bool byteByByte) {
        session.UseCache(&cache);
        session.Begin("taro", "secret", {}, tls);
        for (const Step& step : steps) {
            if (const auto* server = std::get_if<Server>(&step)) {
                for (size_t at = 0; at < server->bytes.size(); at += byteByByte ? 1 : 1u << 30)
                    session.Receive(std::string_view(server->bytes)
                                        .substr(at, byteByByte ? 1 : std::string_view::npos));
                continue;
            }
            const Owner owner = std::get<Owner>(step);
            // Only a running timer can expire; it is single-shot.
            if (owner == Owner::TimeOut || owner == Owner::SessionLimit) {
                bool& running =
                    owner == Owner::TimeOut ? host.timerRunning : host.sessionTimerRunning;
                EXPECT_TRUE(running);
                running = false;
            }
            const std::function<void()> actions[] = {
                [&] { session.Quit(); },
                [&] { session.Retr(1); },
                [&] { session.Retr(2); },
                [&] { session.Retr(3); },
                [&] { session.ConnectionClosed(); },
                [&] { session.TimerExpired(); },
                [&] { session.SessionTimerExpired(); },
                [&] { session.Begin("taro", "secret", {}, tls); },
                [&] { session.TlsStarted(); },
                [&] { session.ConnectionFailed(); }};
            actions[static_cast<int>(owner)]();
        }
    }
};

// A transcript, with what the owner does before it runs and checks after it.
struct Case {
    std::string name;
    std::vector<Step> steps;
    std::vector<std::string> expected;
    Pop3Session::Tls tls = Pop3Session::Tls::Offered;
    std::function<void(Transcript&)> prepare = {};
    std::function<void(Transcript&)> check = {};
};

void ExpectTranscripts(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        for (const bool byteByByte : {false, true}) {
            SCOPED_TRACE(c.name + (byteByByte ? ", byte by byte" : ""));
            Transcript t;
            t.tls = c.tls;
            if (c.prepare)
                c.prepare(t);
            t.Run(c.steps, byteByByte);
            EXPECT_EQ(t.host.log, c.expected);
            // Closed by the last entry or the one before: reset before it is used again.
            if (std::find(c.expected.end() - std::min<size_t>(2, c.expected.size()),
                          c.expected.end(), "close") != c.expected.end()) {
                EXPECT_FALSE(t.session.Open());
                EXPECT_EQ(t.session.FState(), Pop3Session::psGreeting);
                EXPECT_EQ(t.session.FErrorNo(), 0);
                EXPECT_FALSE(t.host.timerRunning || t.host.sessionTimerRunning);
            }
            if (c.check)
                c.check(t);
        }
    }
}

const Server kGreeting{"+OK ready\r\n"};
const Server kOk{"+OK\r\n"};
const Server kErr{"-ERR no\r\n"};
// A server that knows CAPA but offers neither TOP nor UIDL: every message by RETR.
const Server kCapa{"+OK\r\nUSER\r\n.\r\n"};
const Server kCapaTop{"+OK\r\nTOP\r\n.\r\n"};
const Server kCapaTopUidl{"+OK\r\nTOP\r\nUIDL\r\n.\r\n"};
const Server kCapaAll{"+OK\r\nUSER\r\ntop\r\nUIDL\r\nPIPELINING\r\n.\r\n"};
const Server kCapaStls{"+OK\r\nTOP\r\nPIPELINING\r\nSTLS\r\n.\r\n"};
const Server kCapaOnlyStls{"+OK\r\nSTLS\r\n.\r\n"};
const std::vector<Step> kLogin = {kGreeting, kCapa, kOk, kOk};
const std::vector<std::string> kSent = {"C: CAPA", "C: USER taro", "C: PASS secret", "C: STAT"};

template <typename T>
std::vector<T> Join(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<Step> Login(const Server& capa, const std::string& stat) {
    return {kGreeting, capa, kOk, kOk, Server{stat}};
}
// What TOP n 0 returns, and what a check reports for it.
Server Header(const std::string& subject) {
    return Server{"+OK\r\nSubject: " + subject + "\r\nFrom: f\r\n\r\n.\r\n"};
}
std::string Got(const std::string& subject, const std::string& from = "f") {
    return "OnGetMailInformation " + subject + " | " + from;
}

TEST(Pop3Session, TheDialogueFollowsWhatTheServerSays) {
    const Server count{"+OK 2 320\r\n"};
    const Server first{"+OK\r\nSubject: first\r\n\r\n.\r\n"};
    const std::string noSender = cp932::FromUtf8("（差出人不明）");
    const std::vector<std::string> refusedStat = Join(kSent, {"C: QUIT", "OnError 5", "close"});
    const std::vector<std::string> loggedOut =
        Join(kSent, {"OnConnect 0", "C: QUIT", "OnDisconnect", "close"});
    const auto quitted = [](const std::vector<Step>& after) {
        return Join(Join(kLogin, {Server{"+OK 0 0\r\n"}, Owner::Quit, kOk}), after);
    };
    std::vector<Case> cases = {
        {"a normal session reads every message and logs out",
         Join(
             kLogin,
             {count, Owner::Retr1,
              Server{"+OK 120 octets\r\nSubject: first\r\nFrom: a@example.jp\r\n\r\nbody\r\n.\r\n"},
              Owner::Retr2, Server{"+OK\r\nFrom: b@example.jp\r\nSubject: second\r\n\r\n.\r\n"},
              Owner::Quit, Server{"+OK bye\r\n"}, Owner::Close}),
         Join(kSent, {"OnConnect 2", "C: RETR 1", Got("first", "a@example.jp"), "C: RETR 2",
                      Got("second", "b@example.jp"), "C: QUIT", "OnDisconnect", "close"})},
        {"an empty mailbox goes straight to QUIT", quitted({Owner::Close}), loggedOut},
        {"USER refused: reported when the server closes",
         {kGreeting, kCapa, kErr, Owner::Close},
         {"C: CAPA", "C: USER taro", "OnError 3", "close"}},
        {"USER refused and one more line: the client says goodbye itself",
         {kGreeting, kCapa, kErr, Server{"-ERR really\r\n"}, kOk, Owner::Close},
         {"C: CAPA", "C: USER taro", "C: QUIT", "OnError 3", "close"}},
        {"PASS refused: a short wait for one more line",
         {kGreeting, kCapa, kOk, kErr},
         {"C: CAPA", "C: USER taro", "C: PASS secret"},
         {},
         {},
         [](Transcript& t) { EXPECT_EQ(t.host.wait, Pop3SessionHost::Wait::RejectedLine); }},
        {"PASS refused, then QUIT, then silence: a time-out",
         {kGreeting, kCapa, kOk, kErr, Owner::TimeOut, Owner::TimeOut},
         {"C: CAPA", "C: USER taro", "C: PASS secret", "C: QUIT", "close", "OnError 1"}},
        {"PASS refused and the server closes",
         {kGreeting, kCapa, kOk, kErr, Owner::Close},
         {"C: CAPA", "C: USER taro", "C: PASS secret", "OnError 4", "close"}},
        {"PASS refused and the server waits for QUIT",
         {kGreeting, kCapa, kOk, kErr, Owner::TimeOut, kOk, Owner::Close},
         {"C: CAPA", "C: USER taro", "C: PASS secret", "C: QUIT", "OnError 4", "close"}},
        {"a refused greeting", {kErr, kOk, Owner::Close}, {"C: QUIT", "OnError 2", "close"}},
        {"\"+ok\" is not \"+OK\"",
         {Server{"+ok hello\r\n"}, kOk, Owner::Close},
         {"C: QUIT", "OnError 2", "close"}},
        {"a count without the octets after it is still a count",
         Join(kLogin, {Server{"+OK 7\r\n"}}), Join(kSent, {"OnConnect 7"})},
        {"without a connect handler the count is not read",
         Join(kLogin, {Server{"+OK not a number\r\n"}}),
         kSent,
         {},
         [](Transcript& t) { t.host.handlesConnect = false; },
         [](Transcript& t) {
             EXPECT_EQ(t.session.FState(), Pop3Session::psReady);
             EXPECT_FALSE(t.host.timerRunning);
         }},
        {"RETR from inside OnConnect is refused",
         Join(kLogin, {Server{"+OK 1 10\r\n"}}),
         Join(kSent, {"OnConnect 1", "refused"}),
         {},
         [](Transcript& t) {
             t.host.onConnect = [&t](int) {
                 EXPECT_EQ(t.session.FState(), Pop3Session::psStat);
                 t.host.log.push_back(t.session.Retr(1) ? "accepted" : "refused");
             };
         },
         [](Transcript& t) {
             EXPECT_EQ(t.session.FState(), Pop3Session::psReady);
             EXPECT_TRUE(t.session.Retr(1));
         }},
        {"a session ended inside OnConnect is not made ready afterwards",
         Join(kLogin, {Server{"+OK 1 10\r\n"}, Server{"+OK\r\n-ERR\r\n"}}),
         Join(kSent, {"OnConnect 1", "OnError 5", "close", "C: CAPA", "C: USER next"}),
         {},
         [](Transcript& t) {
             t.host.onConnect = [&t](int) {
                 t.session.ConnectionClosed();
                 t.session.Begin("next", "user");
             };
         }},
        {"a refused RETR keeps the session open until the owner quits",
         Join(kLogin, {Server{"+OK 1 10\r\n"}, Owner::Retr2, kErr}),
         Join(kSent, {"OnConnect 1", "C: RETR 2", "OnError 6"}),
         {},
         {},
         [](Transcript& t) {
             EXPECT_TRUE(t.session.Open());
             EXPECT_EQ(t.session.FState(), Pop3Session::psRetrieve);
             EXPECT_FALSE(t.host.timerRunning);
             EXPECT_FALSE(t.session.Retr(1));
             EXPECT_TRUE(t.session.Quit());
         }},
        {"OnGetMailInformation comes when the next RETR is accepted",
         Join(kLogin, {count, Owner::Retr1, first}),
         Join(kSent, {"OnConnect 2", "C: RETR 1", Got("first", noSender), "C: RETR 2", "accepted"}),
         {},
         [](Transcript& t) {
             t.host.onMail = [&t](const MailSummary&) {
                 const bool ready = t.session.FState() == Pop3Session::psReady;
                 t.host.log.push_back(ready && t.session.Retr(2) ? "accepted" : "refused");
             };
         }},
        {"a refused QUIT ends the session silently",
         Join(kLogin, {Server{"+OK 0 0\r\n"}, Owner::Quit, kErr}),
         Join(kSent, {"OnConnect 0", "C: QUIT", "close", "quit refused"})},
        // After the count and before the answer to QUIT, a lost connection is a failed STAT.
        {"lost after the count", Join(kLogin, {count, Owner::Close}),
         Join(kSent, {"OnConnect 2", "OnError 5", "close"})},
        {"lost after a message", Join(kLogin, {count, Owner::Retr1, first, Owner::Close}),
         Join(kSent, {"OnConnect 2", "C: RETR 1", Got("first", noSender), "OnError 5", "close"})},
        {"lost inside a message",
         Join(kLogin, {count, Owner::Retr1, first, Owner::Retr2, kOk, Owner::Close}),
         Join(kSent, {"OnConnect 2", "C: RETR 1", Got("first", noSender), "C: RETR 2", "OnError 5",
                      "close"})},
        {"lost before the answer to QUIT", Join(kLogin, {count, Owner::Quit, Owner::Close}),
         Join(kSent, {"OnConnect 2", "C: QUIT", "OnError 5", "close"})},
        {"closed after the answer to QUIT: no failure",
         Join(kLogin, {count, Owner::Quit, kOk, Owner::Close}),
         Join(kSent, {"OnConnect 2", "C: QUIT", "OnDisconnect", "close"})},
        {"closed before the greeting: no failure, and the events come before the reset",
         {Owner::Close},
         {"OnDisconnect", "close"}},
        {"closed before the count: no failure",
         {kGreeting, kCapa, kOk, Owner::Close},
         {"C: CAPA", "C: USER taro", "C: PASS secret", "OnDisconnect", "close"}},
        // The reply time-out never fires while bytes keep coming; the session's bound does.
        {"a trickled greeting runs into the session's bound",
         {Server{"+OK hel"}, Owner::SessionLimit},
         {"close", "OnError 1"}},
        {"a trickled message runs into the session's bound",
         Join(kLogin,
              {Server{"+OK 1 10\r\n"}, Owner::Retr1, Server{"+OK\r\nSub"}, Owner::SessionLimit}),
         Join(kSent, {"OnConnect 1", "C: RETR 1", "close", "OnError 1"})},
        {"with QUIT acknowledged the session's bound simply ends it",
         quitted({Owner::SessionLimit}), loggedOut},
        {"an acknowledged QUIT does not wait forever for the close", quitted({Owner::TimeOut}),
         loggedOut},
        {"after an acknowledged QUIT neither a refusal nor more bytes count",
         quitted({Server{"-ERR late\r\n+OK again\r\n"}, Owner::TimeOut}), loggedOut},
        {"a stuffed \"..\", a line \". \" and a NUL byte do not end a message",
         Join(kLogin,
              {Server{"+OK 1 10\r\n"}, Owner::Retr1,
               Server{"+OK\r\nSubject: dots\r\n\r\n. \r\n..\r\n.\r\n.x\r\nab\0cd\r\n.\r\n"s}}),
         Join(kSent, {"OnConnect 1", "C: RETR 1", Got("dots", noSender)})},
        {"a chunk that does not start a reply is dropped",
         {Server{"garbage\r\n"}, kGreeting},
         {"C: CAPA"}},
    };
    // Refused, without a count, no number, negative, beyond 32 bits, beyond an int.
    for (const char* reply :
         {"-ERR", "+OK", "+OK many 100", "+OK -1 0", "+OK 4294967296 0", "+OK 2147483648 1"})
        cases.push_back({"STAT answered " + std::string(reply),
                         Join(kLogin, {Server{reply + "\r\n"s}, kOk, Owner::Close}), refusedStat});
    ExpectTranscripts(cases);
    static_assert(Pop3Session::SessionLimit(999000) == 600000, "ten minutes at most");
}

// A hostile server's bounds: a line that never ends, a message that never does.
TEST(Pop3Session, AnEndlessLineOrMessageIsCutOff) {
    Transcript line;
    line.session.Begin("taro", "secret");
    line.session.Receive("+OK ");
    for (size_t sent = 0; sent <= Pop3Session::kMaxLineReply; sent += 4096)
        line.session.Receive(std::string(4096, 'x'));
    EXPECT_EQ(line.host.log, (std::vector<std::string>{"C: QUIT"}));
    EXPECT_EQ(line.session.FErrorNo(), Pop3Session::peConnect);

    Transcript message;
    message.Run(Join(kLogin, {Server{"+OK 1 10\r\n"}, Owner::Retr1, kOk}), false);
    const std::string chunk(1 << 20, 'y');
    for (size_t sent = 0; sent <= Pop3Session::kMaxMessage && message.session.Open();
         sent += chunk.size())
        message.session.Receive(chunk);
    EXPECT_EQ(message.host.log, Join(kSent, {"OnConnect 1", "C: RETR 1", "close", "OnError 1"}));
}

TEST(Pop3Session, TheTimerRunsExactlyWhileSomethingIsAwaited) {
    Transcript t;
    t.Run({}, false);
    const std::pair<std::function<void()>, bool> steps[] = {
        {[] {}, true}, // connecting
        {[&] { t.session.Receive("+OK ready\r\n"); }, true},
        {[&] { t.session.Receive("+OK\r\n.\r\n"); }, true},
        {[&] { t.session.Receive("+OK\r\n"); }, true},
        {[&] { t.session.Receive("+OK\r\n"); }, true},
        {[&] { t.session.Receive("+OK 1 10\r\n"); }, false}, // ready
        {[&] { t.session.Receive("+OK unasked\r\n"); }, false},
        {[&] { t.session.Retr(1); }, true},
        {[&] { t.session.Receive("+OK\r\n\r\n.\r\n"); }, false},
        {[&] { t.session.Quit(); }, true},
        {[&] { t.session.Receive("+OK\r\n"); }, true}, // waiting for the close
        {[&] { t.session.ConnectionClosed(); }, false}};
    int step = 0;
    for (const auto& [action, running] : steps) {
        action();
        EXPECT_EQ(t.host.timerRunning, running) << "step " << step;
        EXPECT_EQ(t.session.TimerRunning(), running) << "step " << step++;
    }
}

TEST(Pop3Session, ALongMessageGivesTheTextsAKeptWholeMessageWould) {
    // The Subject line starts just before the limit of what is kept and ends after it.
    std::string message =
        "+OK\r\nFrom: a@example.jp\r\nX-Pad: " + std::string(kHeaderScanLimit - 60, 'p') +
        "\r\nSubject: " + std::string(60, 's') + "\r\nDate: Sun, 5 Jan 2001 10:00:00 +0900\r\n\r\n";
    for (int i = 0; i < 3000; ++i)
        message += "line of body text " + std::to_string(i) + "\r\n";
    message += ".\r\n";
    const DayNames names = {"Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"};
    const MailSummary whole = ExtractMailInformation(message, names);
    // The marker is kept, the end of its line is not: an empty title, not the fallback.
    EXPECT_EQ(whole.MailTitle, "");
    EXPECT_EQ(whole.SendUser, "a@example.jp");
    uint32_t seed = 7;
    for (int round = 0; round < 5; ++round) {
        Transcript t;
        MailSummary got;
        t.host.onMail = [&](const MailSummary& s) { got = s; };
        t.session.SetDayNames(names);
        t.Run(Join(Login(kCapa, "+OK 1 0\r\n"), {Owner::Retr1}), false);
        for (size_t at = 0; at < message.size();) {
            seed = seed * 1103515245 + 12345;
            const size_t piece = 1 + (seed >> 16) % 9000;
            t.session.Receive(std::string_view(message).substr(at, piece));
            at += piece;
        }
        EXPECT_EQ(got, whole) << "round " << round;
    }
}

// Each server a check may meet, from one that knows no CAPA to one that
// pipelines; the texts reported are the same whichever way they were read.
TEST(Pop3Session, EveryKindOfServerGivesTheSameTexts) {
    const Server uidl{"+OK\r\n1 a\r\n2 b\r\n.\r\n"};
    using Tls = Pop3Session::Tls;
    const std::vector<std::string> kStls = {"C: CAPA", "STLS offered", "C: STLS"};
    const std::vector<std::string> kUpgrade = Join(kStls, {"start TLS"});
    const std::vector<std::string> kEndedInClear = {"TLS failed", "OnError 2", "close"};
    const std::vector<std::string> kDowngrade = {"C: CAPA", "downgrade", "OnError 2", "close"};
    ExpectTranscripts({
        {"no CAPA: TOP and UIDL are tried",
         Join(Login(kErr, "+OK 2 0\r\n"),
              {kErr, Owner::Retr1, Header("one"), Owner::Retr2, Header("two")}),
         Join(kSent,
              {"C: UIDL", "OnConnect 2", "C: TOP 1 0", Got("one"), "C: TOP 2 0", Got("two")})},
        {"CAPA never answered: an old server",
         {kGreeting, Owner::TimeOut, kOk, kOk, Server{"+OK 0 0\r\n"}},
         Join(kSent, {"OnConnect 0"})},
        {"TOP refused: RETR from then on",
         Join(Login(kCapaTop, "+OK 2 0\r\n"),
              {Owner::Retr1, kErr, Header("one"), Owner::Retr2, Header("two")}),
         Join(kSent,
              {"OnConnect 2", "C: TOP 1 0", "C: RETR 1", Got("one"), "C: RETR 2", Got("two")})},
        {"RETR refused after TOP",
         Join(Login(kErr, "+OK 1 0\r\n"), {kErr, Owner::Retr1, kErr, kErr}),
         Join(kSent, {"C: UIDL", "OnConnect 1", "C: TOP 1 0", "C: RETR 1", "OnError 6"})},
        {"a Subject in the body is no title",
         Join(Login(kCapa, "+OK 1 0\r\n"),
              {Owner::Retr1, Server{"+OK\r\nFrom: f\r\n\r\nSubject: body\r\n.\r\n"}}),
         Join(kSent, {"OnConnect 1", "C: RETR 1", Got(cp932::FromUtf8("（タイトル未設定）"))})},
        {"pipelined: the whole login goes out behind CAPA's answer",
         {kGreeting, kCapaAll, Owner::Close},
         Join(kSent, {"C: UIDL", "OnDisconnect", "close"})},
        {"pipelined: USER refused, the replies due drained, then QUIT",
         {kGreeting, kCapaAll, kErr, kErr, kErr, kErr, Owner::TimeOut, kOk, Owner::Close},
         Join(kSent, {"C: UIDL", "C: QUIT", "OnError 3", "close"})},
        {"pipelined: PASS refused, and a line added after the replies due",
         {kGreeting, kCapaAll, kOk, kErr, kErr, Server{"+OK\r\n1 a\r\n.\r\n"}, kErr, kOk,
          Owner::Close},
         Join(kSent, {"C: UIDL", "C: QUIT", "OnError 4", "close"})},
        {"pipelined: every TOP and QUIT at once; the close waits for the owner",
         Join(Login(kCapaAll, "+OK 3 0\r\n"),
              {Server{"+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n"}, Owner::Retr1,
               Server{Header("one").bytes + Header("two").bytes + Header("three").bytes +
                      "+OK bye\r\n"},
               Owner::Close, Owner::Retr2, Owner::Retr3, Owner::Quit}),
         Join(kSent, {"C: UIDL", "OnConnect 3", "C: TOP 1 0", "C: TOP 2 0", "C: TOP 3 0", "C: QUIT",
                      Got("one"), Got("two"), Got("three"), "OnDisconnect", "close"})},
        {"pipelined: a refused STAT quits once UIDL is answered",
         Join(Login(kCapaAll, "-ERR\r\n"), {kErr, kOk, Owner::Close}),
         Join(kSent, {"C: UIDL", "C: QUIT", "OnError 5", "close"})},
        {"pipelined: the connection dropped in the middle of a batch",
         Join(Login(kCapaAll, "+OK 3 0\r\n"),
              {kErr, Owner::Retr1, Server{Header("one").bytes + "+OK\r\nSubj"}, Owner::Close}),
         Join(kSent, {"C: UIDL", "OnConnect 3", "C: TOP 1 0", "C: TOP 2 0", "C: TOP 3 0", "C: QUIT",
                      Got("one"), "OnError 5", "close"})},
        {"pipelined: the owner quits before the replies still due",
         Join(Login(kCapaAll, "+OK 2 0\r\n"),
              {uidl, Owner::Retr1, Header("one"), Owner::Quit, Header("two"), kOk, Owner::Close}),
         Join(kSent, {"C: UIDL", "OnConnect 2", "C: TOP 1 0", "C: TOP 2 0", "C: QUIT", Got("one"),
                      "OnDisconnect", "close"})},
        {"pipelined: a TOP refused behind which QUIT went is a refused message",
         Join(Login(kCapaAll, "+OK 1 0\r\n"),
              {uidl, Owner::Retr1, kErr, Owner::Quit, kOk, Owner::Close}),
         Join(kSent, {"C: UIDL", "OnConnect 1", "C: TOP 1 0", "C: QUIT", "OnError 6",
                      "OnDisconnect", "close"})},
        {"a message known by its id is answered without a request",
         Join(Join(Login(kCapaTopUidl, "+OK 2 0\r\n"),
                   {uidl, Owner::Retr1, Header("one"), Owner::Retr2, Header("two"), Owner::Close,
                    Owner::Begin}),
              // a deleted, c added, b now first
              Join(Login(kCapaTopUidl, "+OK 2 0\r\n"),
                   {Server{"+OK\r\n1 b\r\n2 c\r\n.\r\n"}, Owner::Retr1, Owner::Retr2,
                    Header("three"), Owner::Close, Owner::Begin,
                    // a was forgotten when the server stopped listing it
                    kGreeting, kCapaTopUidl, kOk, kOk, Server{"+OK 2 0\r\n"},
                    Server{"+OK\r\n1 a\r\n2 c\r\n.\r\n"}, Owner::Retr1, Header("again"),
                    Owner::Retr2})),
         Join(Join(kSent, {"C: UIDL", "OnConnect 2", "C: TOP 1 0", Got("one"), "C: TOP 2 0",
                           Got("two"), "OnError 5", "close"}),
              Join(Join(kSent, {"C: UIDL", "OnConnect 2", Got("two"), "C: TOP 2 0", Got("three"),
                                "OnError 5", "close"}),
                   Join(kSent,
                        {"C: UIDL", "OnConnect 2", "C: TOP 1 0", Got("again"), Got("three")})))},
        {"STLS: what was offered in clear text is forgotten once TLS is up",
         {kGreeting, kCapaStls, kOk, Owner::TlsUp, kCapa, kOk, kOk, Server{"+OK 1 0\r\n"},
          Owner::Retr1},
         Join(kUpgrade, Join(kSent, {"OnConnect 1", "C: RETR 1"}))},
        {"STLS: the CAPA over TLS decides the pipelining",
         {kGreeting, kCapaOnlyStls, kOk, Owner::TlsUp, kCapaAll, Owner::Close},
         Join(kUpgrade, Join(kSent, {"C: UIDL", "OnDisconnect", "close"})),
         Tls::Required},
        {"STLS: what follows its +OK in clear text is never read",
         {kGreeting, kCapaStls, Server{"+OK\r\n-ERR\r\n+OK\r\nPIPELINING\r\n.\r\n"}, Owner::TlsUp,
          kCapa, kErr, Owner::Close},
         Join(kUpgrade, {"C: CAPA", "C: USER taro", "OnError 3", "close"})},
        {"STLS refused: nothing more in clear text",
         {kGreeting, kCapaStls, kErr},
         Join(kStls, kEndedInClear)},
        {"STLS unanswered", {kGreeting, kCapaStls, Owner::TimeOut}, Join(kStls, kEndedInClear)},
        {"STLS: the handshake fails",
         {kGreeting, kCapaStls, kOk, Owner::TlsDown},
         Join(kUpgrade, kEndedInClear)},
        {"STLS: the server closes during the handshake",
         {kGreeting, kCapaStls, kOk, Owner::Close},
         Join(kUpgrade, kEndedInClear)},
        {"STLS: nothing said during the handshake counts, and it times out",
         {kGreeting, kCapaStls, kOk, Server{"+OK 0 0\r\n"}, Owner::TimeOut},
         Join(kUpgrade, kEndedInClear)},
        {"STLS: the session's bound runs out, or the owner quits, during the handshake",
         {kGreeting, kCapaStls, kOk, Owner::SessionLimit, Owner::Begin, kGreeting, kCapaStls,
          Owner::Quit},
         Join(Join(kUpgrade, kEndedInClear), Join(kStls, kEndedInClear))},
        {"TLS required: a CAPA without STLS", {kGreeting, kCapaAll}, kDowngrade, Tls::Required},
        {"TLS required: CAPA refused", {kGreeting, kErr}, kDowngrade, Tls::Required},
        {"TLS required: CAPA unanswered", {kGreeting, Owner::TimeOut}, kDowngrade, Tls::Required},
        {"pop3s: no STLS over TLS", Login(kCapaOnlyStls, "+OK 0 0\r\n"),
         Join(kSent, {"OnConnect 0"}), Tls::Implicit},
    });
}

// A listing that cannot be trusted is not used: every message is asked for.
TEST(Pop3Session, AnUntrustworthyIdListIsNotUsed) {
    const std::string longId(Pop3Session::kMaxUniqueId + 1, 'x');
    for (const std::string& list : std::vector<std::string>{
             "1 a\r\n.\r\n", "1 a\r\n2 b\r\n3 c\r\n.\r\n", "1 a\r\n2 a\r\n.\r\n",
             "1 a\r\n3 b\r\n.\r\n", "1 a\r\n2 " + longId + "\r\n.\r\n", "1 a\r\n2\r\n.\r\n",
             "1 a\r\n2  b\r\n.\r\n"}) {
        SCOPED_TRACE(list);
        const std::vector<Step> first =
            Join(Login(kCapaTopUidl, "+OK 2 0\r\n"),
                 {Server{"+OK\r\n1 a\r\n2 b\r\n.\r\n"}, Owner::Retr1, Header("one"), Owner::Close});
        const std::vector<Step> second =
            Join(Login(kCapaTopUidl, "+OK 2 0\r\n"), {Server{"+OK\r\n" + list}, Owner::Retr1});
        Transcript t;
        t.Run(Join(Join(first, {Owner::Begin}), second), false);
        EXPECT_EQ(t.host.log.back(), "C: TOP 1 0");
    }
}

// A check reads at most 255 messages: those are what is kept, and known next time.
TEST(Pop3Session, OfALargeMailboxTheFirstMessagesAreKept) {
    constexpr int kCount = 300;
    std::string list = "+OK\r\n";
    for (int i = 1; i <= kCount; ++i)
        list += std::to_string(i) + " id" + std::to_string(i) + "\r\n";
    list += ".\r\n";
    Transcript t;
    for (int round = 0; round < 2; ++round) {
        t.Run(Login(kCapaAll, "+OK " + std::to_string(kCount) + " 0\r\n"), false);
        t.session.Receive(list);
        t.host.log.clear();
        int tops = 0;
        int answered = 0;
        for (int i = 1; i <= 256; ++i) {
            ASSERT_TRUE(t.session.Retr(i)) << i;
            // The 255 TOPs of a check fit the bound on what is outstanding: one batch.
            if (round == 0 && i == 1) {
                EXPECT_EQ(t.host.log.size(), 255u);
            }
            // Answer every TOP sent so far, including those each answer sends.
            while (answered <
                   (tops = static_cast<int>(std::count_if(
                        t.host.log.begin(), t.host.log.end(),
                        [](const std::string& l) { return l.starts_with("C: TOP"); })))) {
                t.session.Receive(Header("m").bytes);
                ++answered;
            }
        }
        // 255 read ahead, then the one asked for; the second time only that one.
        EXPECT_EQ(tops, round == 0 ? 256 : 1);
        EXPECT_EQ(t.cache.Size(SummaryCache::AccountKey("", "taro")), SummaryCache::kMaxPerAccount);
        t.session.ConnectionClosed();
    }
    // A listing one short of the count is not trusted, however many it lists.
    t.Run(Login(kCapaTopUidl, "+OK " + std::to_string(kCount + 1) + " 0\r\n"), false);
    t.session.Receive(list);
    t.session.Retr(1);
    EXPECT_EQ(t.host.log.back(), "C: TOP 1 0");
}

TEST(TlsReasonText, NamesWhatFailedInOneLine) {
    const struct {
        TlsFailure failure;
        uint8_t problems;
        bool changed;
        const char* utf8;
    } cases[] = {
        {TlsFailure::None, 0, false, ""},
        {TlsFailure::Downgrade, 0, false, "暗号化（STLS）がなく、接続を中止しました。"},
        {TlsFailure::Handshake, 0, false, "暗号化通信を開始できませんでした。"},
        {TlsFailure::Untrusted, cpSelfSigned, false,
         "サーバの証明書を信頼できません（自己署名）。"},
        {TlsFailure::Untrusted, cpExpired | cpWrongName | cpUnknownAuthority, false,
         "サーバの証明書を信頼できません（有効期間外、ホスト名の不一致、不明な認証局）。"},
        {TlsFailure::Untrusted, cpUnknownAuthority, true,
         "サーバの証明書が以前と変わっています（不明な認証局）。"},
    };
    for (const auto& c : cases) {
        TlsOutcome outcome;
        outcome.Failure = c.failure;
        outcome.Problems = c.problems;
        outcome.FingerprintChanged = c.changed;
        EXPECT_EQ(TlsReasonText(outcome), cp932::FromUtf8(c.utf8)) << c.utf8;
    }
}

TEST(Pop3Endpoint, ReadsHostPortAndTlsAndRefusesWhatNamesNoHost) {
    const std::pair<const char*, std::optional<Pop3Endpoint>> cases[] = {
        {"pop.example.jp", Pop3Endpoint{"pop.example.jp", 110, false}},
        {"192.168.0.10:1110", Pop3Endpoint{"192.168.0.10", 1110, false}},
        {"pop3s://pop.example.jp", Pop3Endpoint{"pop.example.jp", 995, true}},
        {"POP3S://pop.example.jp:1995/", Pop3Endpoint{"pop.example.jp", 1995, true}},
        {"[::1]:2110", Pop3Endpoint{"::1", 2110, false}},
        {"fe80::1", Pop3Endpoint{"fe80::1", 110, false}}};
    for (const auto& [text, endpoint] : cases)
        EXPECT_EQ(ParsePop3Endpoint(text), endpoint) << text;
    for (const char* text : {"", "pop3s://", ":110", "host:", "host:0", "host:65536", "host:x",
                             "[::1", "[::1]x", "two words", "pop3s://a/b"})
        EXPECT_EQ(ParsePop3Endpoint(text), std::nullopt) << text;
}

} // namespace
} // namespace pim
