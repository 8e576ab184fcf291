// Transcripts of the POP3 dialogue (support/Transcript.h): what the server says,
// what the client must send and report.
#include "pop3/Pop3Session.h"

#include "common/Cp932.h"
#include "mail/MailEndpoint.h"
#include "mail/SaslToken.h"
#include "support/Transcript.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace pim {
namespace {

using namespace std::string_literals;
using Tls = Pop3Session::Tls;
using transcript::Joined;

struct Recorder : transcript::Recording<Pop3SessionHost> {
    Wait wait = Wait::Reply;
    const Pop3Session* session = nullptr;

    bool SendLine(const std::string& line) override { return log.push_back("C: " + line), true; }
    void StartTimer(Wait w) override { timerRunning = true, wait = w; }
    bool HandlesConnect() const override { return true; }
    // Events come before the reset: the session still counts as open in them.
    void Disconnected() override {
        log.push_back(session && !session->Open() ? "disconnect after the reset" : "disconnect");
    }
    void QuitRefused() override { log.push_back("quit refused"); }
    void TokenNotOffered() override { log.push_back("token not offered"); }
};

// Runs a transcript of steps split at "|".
struct Transcript {
    Recorder host;
    Pop3Session session{host};
    SummaryCache cache;
    Tls tls = Tls::Offered;
    std::string token; // signs in with it, for pop.example.jp:995, where not empty
    Transcript() { host.session = &session; }

    void Run(const std::string& steps, transcript::Reads reads = {}) {
        session.UseCache(&cache);
        token.empty() ? session.Begin("taro", "secret", {}, tls)
                      : session.BeginWithToken("taro", token, {}, tls, "pop.example.jp", 995);
        transcript::Play(session, host, steps,
                         {{"BEGIN", [&] { session.Begin("taro", "secret", {}, tls); }}}, reads);
    }
};

// A transcript, with what the owner does before it runs and checks after it.
struct Case {
    std::string name, steps, expected;
    std::function<void(Transcript&)> check = {}, prepare = {};
    Tls tls = Tls::Offered;
};

void ExpectTranscripts(const std::vector<Case>& cases) {
    transcript::EveryWay(cases, [](const Case& c, transcript::Reads reads) {
        Transcript t;
        t.tls = c.tls;
        c.prepare ? c.prepare(t) : void();
        t.Run(c.steps, reads);
        EXPECT_EQ(Joined(t.host.log), c.expected);
        // Closed by the last entry or the one before it: reset before it is used again.
        const auto& log = t.host.log;
        if (std::find(log.end() - std::min<size_t>(2, log.size()), log.end(), "close") !=
            log.end()) {
            EXPECT_EQ(std::tuple(t.session.Open(), t.session.FState(), t.session.FErrorNo(),
                                 t.host.timerRunning || t.host.sessionTimerRunning),
                      std::tuple(false, Pop3Session::psGreeting, 0, false));
        }
        c.check ? c.check(t) : void();
    });
}

// Greeting, CAPA (neither TOP nor UIDL: every message by RETR), USER and PASS.
const std::string kLogin = "+OK ready\n|+OK\nUSER\n.\n|+OK\n|+OK\n";
const std::string kPipelined = "+OK ready\n|+OK\nUSER\ntop\nUIDL\nPIPELINING\n.\n";
const std::string kStls = "+OK ready\n|+OK\nTOP\nPIPELINING\nSTLS\n.\n";
const std::string kSent = "C: CAPA, C: USER taro, C: PASS secret, C: STAT";
// Up to UIDL's "+OK" of a server with TOP and UIDL, and what the client sends.
const std::string kIdLogin = "+OK ready\n|+OK\nTOP\nUIDL\n.\n|+OK\n|+OK\n|+OK 2 0\n|+OK\n";
const std::string kIdSent = kSent + ", C: UIDL, C: LIST";
const std::string kStlsSent = "C: CAPA, TLS offered, C: STLS";
// Pipelined up to STAT's "+OK 3 0"; the listing of ids and sizes, or both refused,
// and the first TOP asked; then what the client sends once it knows the count.
const std::string kThree = kPipelined + "|+OK\n|+OK\n|+OK 3 0\n";
const std::string kListed = "|+OK\n1 a\n2 b\n3 c\n.\n|+OK\n1 1\n2 2\n3 3\n.\n|RETR1|";
const std::string kUnlisted = "|-ERR no\n|-ERR no\n";
const std::string kThreeSent = kIdSent + ", connect 3, C: TOP 1 0, C: TOP 2 0, C: TOP 3 0, C: QUIT";
// What TOP n 0 returns.
std::string H(const std::string& subject) {
    return "+OK\nSubject: " + subject + "\nFrom: f\n\n.\n";
}

TEST(Pop3Session, TheDialogueFollowsWhatTheServerSays) {
    std::vector<Case> cases = {
        {"a normal session reads every message and logs out",
         kLogin + "|+OK 2 320\n|RETR1|+OK 120 octets\nSubject: first\nFrom: "
                  "a@example.jp\n\nbody\n.\n|RETR2|+OK\nFrom: b@example.jp\nSubject: "
                  "second\n\n.\n|QUIT|+OK bye\n|CLOSE",
         kSent + ", connect 2, C: RETR 1, mail first|a@example.jp, C: RETR 2, mail "
                 "second|b@example.jp, C: QUIT, disconnect, close",
         [](Transcript& t) { EXPECT_EQ(t.host.ids, ",,") << "no ids listed"; }},
        {"PASS refused, then QUIT, then silence: a time-out",
         "+OK ready\n|+OK\nUSER\n.\n|+OK\n|-ERR no\n|TIMEOUT|TIMEOUT",
         "C: CAPA, C: USER taro, C: PASS secret, C: QUIT, close, error 1"},
        {"PASS refused: a short wait for one more line, then the server closes",
         "+OK ready\n|+OK\nUSER\n.\n|+OK\n|-ERR no\n|CLOSE",
         "C: CAPA, C: USER taro, C: PASS secret, error 4, close",
         [](Transcript& t) { EXPECT_EQ(t.host.wait, Pop3SessionHost::Wait::RejectedLine); }},
        {"silence from the start", "TIMEOUT", "close, error 1"},
        {"stray line ends before replies are skipped; a message never answered",
         "\n" + kLogin + "|\n+OK 1 10\n|RETR1|TIMEOUT",
         kSent + ", connect 1, C: RETR 1, close, error 1"},
        {"\"+ok\" is not \"+OK\"", "+ok hello\n|+OK\n|CLOSE", "C: QUIT, error 2, close"},
        {"a count without the octets after it is still a count", kLogin + "|+OK 7\n",
         kSent + ", connect 7"},
        {"a session ended inside OnConnect is not made ready afterwards",
         kLogin + "|+OK 1 10\n|+OK\n-ERR\n",
         kSent + ", connect 1, error 5, close, C: CAPA, C: USER next", nullptr,
         [](Transcript& t) {
             t.host.onConnect = [&t] {
                 t.session.ConnectionClosed();
                 t.session.Begin("next", "user");
             };
         }},
        {"a refused RETR keeps the session open until the owner quits",
         kLogin + "|+OK 1 10\n|RETR2|-ERR no\n", kSent + ", connect 1, C: RETR 2, error 6",
         [](Transcript& t) {
             EXPECT_TRUE(t.session.Open());
             EXPECT_FALSE(t.host.timerRunning);
             EXPECT_TRUE(t.session.Quit());
         }},
        {"a refused QUIT ends the session silently", kLogin + "|+OK 0 0\n|QUIT|-ERR no\n",
         kSent + ", connect 0, C: QUIT, close, quit refused"},
        // After the count and before the answer to QUIT, a lost connection is a failed STAT.
        {"lost inside a message",
         kLogin + "|+OK 2 320\n|RETR1|+OK\nSubject: first\n\n.\n|RETR2|+OK\n|CLOSE",
         kSent + ", connect 2, C: RETR 1, mail first|（差出人不明）, C: RETR 2, error 5, close"},
        {"closed before the greeting: no failure, and the events come before the reset", "CLOSE",
         "disconnect, close"},
        // The reply time-out never fires while bytes keep coming; the session's bound does.
        {"a trickled message runs into the session's bound",
         kLogin + "|+OK 1 10\n|RETR1|+OK\nSub|LIMIT",
         kSent + ", connect 1, C: RETR 1, close, error 1"},
        {"with QUIT acknowledged the session's bound simply ends it",
         kLogin + "|+OK 0 0\n|QUIT|+OK\n|LIMIT", kSent + ", connect 0, C: QUIT, disconnect, close"},
        {"an acknowledged QUIT does not wait forever for the close, whatever comes meanwhile",
         kLogin + "|+OK 0 0\n|QUIT|+OK\n|-ERR late\n+OK again\n|TIMEOUT",
         kSent + ", connect 0, C: QUIT, disconnect, close"},
        {"a stuffed \"..\", a line \". \" or ending in \".\" and a NUL byte do not end a message",
         kLogin + "|+OK 1 10\n|RETR1|+OK\nSubject: dots.\nX: a\0b\nFrom: f\n\n. \n..\n.\n"s,
         kSent + ", connect 1, C: RETR 1, mail dots.|f"},
        {"a chunk that does not start a reply is dropped", "garbage\n|+OK ready\n", "C: CAPA"},
    };
    // Refused, without a count, no number, negative, beyond 32 bits, beyond an int.
    for (const char* reply :
         {"-ERR", "+OK", "+OK many 100", "+OK -1 0", "+OK 4294967296 0", "+OK 2147483648 1"})
        cases.push_back({"STAT answered "s + reply, kLogin + "|" + reply + "\n|+OK\n|CLOSE",
                         kSent + ", C: QUIT, error 5, close"});
    ExpectTranscripts(cases);
}

// A hostile server's bounds: a line that never ends is a refusal, unless it
// opens a positive multi-line reply; then, as a message that never ends, it is
// a time-out.
TEST(Pop3Session, AnEndlessLineOrMessageIsCutOff) {
    static_assert(Pop3Session::SessionLimit(999000) == 600000, "ten minutes at most");
    const std::string retr = kLogin + "|+OK 1 10\n|RETR1", timedOut = ", close, error 1";
    const std::tuple<const char*, std::string, std::string, std::string> rows[] = {
        {"the greeting", "", "+OK ", "C: QUIT, error 2, close"},
        {"a message's status line", retr, "+OK ", kSent + ", connect 1, C: RETR 1" + timedOut},
        {"a message", retr, "+OK\r\n", kSent + ", connect 1, C: RETR 1" + timedOut}};
    const std::string chunk(1 << 20, 'y');
    for (const auto& [name, steps, opener, expected] : rows) {
        SCOPED_TRACE(name);
        Transcript t;
        t.Run(steps);
        const size_t before = t.host.log.size();
        t.session.Receive(opener);
        for (size_t sent = 0; sent <= Pop3Session::kMaxMessage && t.host.log.size() == before;
             sent += chunk.size())
            t.session.Receive(chunk);
        t.session.ConnectionClosed();
        EXPECT_EQ(Joined(t.host.log), expected);
    }
}

// Each server a check may meet, from one that knows no CAPA to one that
// pipelines; the texts reported are the same whichever way they were read.
TEST(Pop3Session, EveryKindOfServerGivesTheSameTexts) {
    std::vector<Case> cases = {
        {"no CAPA: TOP and UIDL are tried, UIDL for one message too",
         "+OK ready\n|-ERR no\n|+OK\n|+OK\n|+OK 1 0\n|-ERR no\n|RETR1|" + H("one"),
         kSent + ", C: UIDL, connect 1, C: TOP 1 0, mail one|f"},
        {"CAPA never answered: an old server", "+OK ready\n|TIMEOUT|+OK\n|+OK\n|+OK 0 0\n",
         kSent + ", connect 0"},
        {"CAPA of no line", "+OK ready\n|+OK\n.\n|+OK\n|+OK\n|+OK 0 0\n", kSent + ", connect 0"},
        {"CAPA begun and never ended: a time-out, not a login in clear",
         "+OK ready\n|+OK\nSTLS\nUSER\n|TIMEOUT", "C: CAPA, close, error 1"},
        {"TOP refused: RETR from then on",
         "+OK ready\n|+OK\nTOP\n.\n|+OK\n|+OK\n|+OK 2 0\n|RETR1|-ERR no\n|" + H("one") + "|RETR2|" +
             H("two"),
         kSent + ", connect 2, C: TOP 1 0, C: RETR 1, mail one|f, C: RETR 2, mail two|f"},
        {"a Subject in the body is no title",
         kLogin + "|+OK 1 0\n|RETR1|+OK\nFrom: f\n\nSubject: body\n.\n",
         kSent + ", connect 1, C: RETR 1, mail （タイトル未設定）|f"},
        {"a capability that only starts with a known name is not that one",
         "+OK ready\n|+OK\nTOPS\nSTLSX\nPIPELINING-X\n.\n|+OK\n|+OK\n|+OK 1 0\n|RETR1",
         kSent + ", connect 1, C: RETR 1"},
        {"pipelined: USER refused, the replies due drained, then QUIT",
         kPipelined + "|-ERR no\n|-ERR no\n|-ERR no\n|-ERR no\n|-ERR no\n|TIMEOUT|+OK\n|CLOSE",
         kIdSent + ", C: QUIT, error 3, close"},
        {"pipelined: the replies due to a refused USER drained, a short wait for one more line",
         kPipelined + "|-ERR no\n|-ERR no\n|-ERR no\n|-ERR no\n|-ERR no\n", kIdSent,
         [](Transcript& t) { EXPECT_EQ(t.host.wait, Pop3SessionHost::Wait::RejectedLine); }},
        {"pipelined: USER refused, replies still due: the usual wait",
         kPipelined + "|-ERR no\n|-ERR no\n", kIdSent,
         [](Transcript& t) { EXPECT_EQ(t.host.wait, Pop3SessionHost::Wait::Reply); }},
        {"pipelined: PASS refused, and a line added after the replies due",
         kPipelined +
             "|+OK\n|-ERR no\n|-ERR no\n|+OK\n1 a\n.\n|+OK\n1 9\n.\n|-ERR no\n|+OK\n|CLOSE",
         kIdSent + ", C: QUIT, error 4, close"},
        {"pipelined: every TOP and QUIT at once; the close waits for the owner",
         kThree + kListed + H("one") + H("two") + H("three") + "+OK bye\n|CLOSE|RETR2|RETR3|QUIT",
         kThreeSent + ", mail one|f, mail two|f, mail three|f, disconnect, close"},
        // Without the event the check run would wait for an end never told.
        {"pipelined: the QUIT sent ahead refused; the owner's quit ends it silently",
         kThree + kListed + H("one") + H("two") + H("three") + "-ERR no\n|RETR2|RETR3|QUIT",
         kThreeSent + ", mail one|f, mail two|f, mail three|f, close, quit refused"},
        {"pipelined: a refused STAT quits once UIDL and LIST are answered",
         kPipelined + "|+OK\n|+OK\n|-ERR\n|-ERR no\n|-ERR no\n|+OK\n|CLOSE",
         kIdSent + ", C: QUIT, error 5, close"},
        {"pipelined: the connection dropped in the middle of a batch",
         kThree + kUnlisted + "|RETR1|" + H("one") + H("two") + "+OK\nSubj|CLOSE|BEGIN|" + kThree +
             kUnlisted + "|RETR2",
         // What was read ahead went with the session.
         kThreeSent + ", mail one|f, error 5, close, " + kIdSent +
             ", connect 3, C: TOP 2 0, C: TOP 3 0, C: QUIT"},
        {"pipelined: a message read ahead is not taken for the one asked",
         kThree + kUnlisted + "|RETR1|" + H("one") + "|RETR3|" + H("two") + H("three"),
         kThreeSent + ", mail one|f, mail three|f"},
        {"pipelined: the owner quits before the replies still due",
         kPipelined + "|+OK\n|+OK\n|+OK 2 0\n|+OK\n1 a\n2 b\n.\n|+OK\n1 1\n2 2\n.\n|RETR1|" +
             H("one") + "|QUIT|" + H("two") + "|+OK\n|CLOSE",
         kIdSent + ", connect 2, C: TOP 1 0, C: TOP 2 0, C: QUIT, mail one|f, disconnect, close"},
        {"pipelined: a TOP refused behind which QUIT went is a refused message",
         kPipelined +
             "|+OK\n|+OK\n|+OK 1 0\n|+OK\n1 a\n2 b\n.\n|+OK\n1 1\n.\n|RETR1|-ERR no\n|QUIT|" +
             "+OK\n|CLOSE",
         kIdSent + ", connect 1, C: TOP 1 0, C: QUIT, error 6, disconnect, close"},
        // a deleted, c added, b now first; then a forgotten when the server stopped
        // listing it, and c listed with another size: servers that number their ids
        // give a new message an old one's id.
        {"a message known by its id and size is answered without a request",
         kIdLogin + "1 a\n2 b\n.\n|+OK\n1 10\n2 20\n.\n|RETR1|" + H("one") + "|RETR2|" + H("two") +
             "|CLOSE|BEGIN|" + kIdLogin + "1 b\n2 c\n.\n|+OK\n1 20\n2 30\n.\n|RETR1|RETR2|" +
             H("three") + "|CLOSE|BEGIN|" + kIdLogin +
             "1 a\n2 c\n.\n|+OK\n1 10\n2 31 x\n.\n|RETR1|" + H("again") + "|RETR2|" + H("new"),
         kIdSent + ", connect 2, C: TOP 1 0, mail one|f, C: TOP 2 0, mail two|f, error 5, close, " +
             kIdSent + ", connect 2, mail two|f, C: TOP 2 0, mail three|f, error 5, close, " +
             kIdSent + ", connect 2, C: TOP 1 0, mail again|f, C: TOP 2 0, mail new|f",
         // Each told with its id and size.
         [](Transcript& t) { EXPECT_EQ(t.host.ids, "a 10,b 20,b 20,c 30,a 10,c 31,"); }},
        {"STLS, required: what was offered in clear text is forgotten once TLS is up",
         kStls + "|+OK\n|TLSUP|+OK\nUSER\n.\n|+OK\n|+OK\n|+OK 1 0\n|RETR1",
         kStlsSent +
             ", start TLS, C: CAPA, C: USER taro, C: PASS secret, C: STAT, connect 1, C: RETR 1",
         nullptr, nullptr, Tls::Required},
        {"STLS: what follows its +OK in clear text is never read",
         kStls + "|+OK\n-ERR\n+OK\nPIPELINING\n.\n|TLSUP|+OK\nUSER\n.\n|-ERR no\n|CLOSE",
         kStlsSent + ", start TLS, C: CAPA, C: USER taro, error 3, close"},
        {"STLS: the session's bound runs out, or the owner quits, during the handshake",
         kStls + "|+OK\n|LIMIT|BEGIN|" + kStls + "|QUIT",
         kStlsSent + ", start TLS, TLS failed, error 2, close, C: CAPA, TLS offered, C: STLS, TLS "
                     "failed, error 2, close"},
        {"pop3s: no STLS over TLS", "+OK ready\n|+OK\nSTLS\n.\n|+OK\n|+OK\n|+OK 0 0\n",
         kSent + ", connect 0", nullptr, nullptr, Tls::Implicit},
    };
    // STLS refused or unanswered, or its handshake failed, lost or timed out.
    for (const std::string after :
         {"-ERR no\n", "TIMEOUT", "+OK\n|TLSDOWN", "+OK\n|CLOSE", "+OK\n|+OK 0 0\n|TIMEOUT"})
        cases.push_back(
            {"STLS, then " + after, kStls + "|" + after,
             kStlsSent + (after[0] == '+' ? ", start TLS" : "") + ", TLS failed, error 2, close"});
    // TLS required: a CAPA without STLS, CAPA refused, CAPA unanswered.
    for (const std::string capa : {"+OK\nUSER\ntop\nUIDL\nPIPELINING\n.\n", "-ERR no\n", "TIMEOUT"})
        cases.push_back({"TLS required, CAPA " + capa, "+OK ready\n|" + capa,
                         "C: CAPA, downgrade, error 2, close", nullptr, nullptr, Tls::Required});
    ExpectTranscripts(cases);
}

// Listings that cannot be trusted are not used: every message is asked for.
TEST(Pop3Session, AnUntrustworthyListingIsNotUsed) {
    const std::string sizes = "+OK\n1 10\n2 20\n.\n";
    // Sizes refused or negative; ids too few, too many, repeated, misnumbered, too
    // long, missing or spaced.
    std::vector<std::pair<std::string, std::string>> rows = {
        {"1 a\n2 b\n", "-ERR no\n"}, {"1 a\n2 b\n", "+OK\n1 10\n2 -20\n.\n"}};
    for (const std::string& ids : std::vector<std::string>{
             "1 a\n", "1 a\n2 b\n3 c\n", "1 a\n2 a\n", "1 a\n3 b\n",
             "1 a\n2 " + std::string(Pop3Session::kMaxUniqueId + 1, 'x') + "\n", "1 a\n2\n",
             "1 a\n2  b\n"})
        rows.push_back({ids, sizes});
    for (const auto& [ids, list] : rows) {
        SCOPED_TRACE(ids + list);
        Transcript t;
        t.Run(kIdLogin + "1 a\n2 b\n.\n|" + sizes + "|RETR1|" + H("one") + "|CLOSE|BEGIN|" +
              kIdLogin + ids + ".\n|" + list + "|RETR1");
        EXPECT_EQ(t.host.log.back(), "C: TOP 1 0");
    }
}

// A check reads at most 255 messages: those are what is kept, and known next time;
// not from ids that list fewer messages than the mailbox holds.
TEST(Pop3Session, OfALargeMailboxTheFirstMessagesAreKept) {
    std::string ids = "+OK\r\n", sizes = "+OK\r\n";
    for (int i = 1; i <= 300; ++i)
        ids += std::to_string(i) + " id" + std::to_string(i) + "\r\n",
            sizes += std::to_string(i) + " 9\r\n";
    const auto tops = [](const Transcript& t) {
        return std::ranges::count_if(t.host.log, [](auto& l) { return l.starts_with("C: TOP"); });
    };
    Transcript t;
    for (int round = 0; round < 3; ++round) {
        t.Run(kPipelined + "|+OK\n|+OK\n|+OK " + (round < 2 ? "300" : "301") + " 0\n");
        t.session.Receive(ids + ".\r\n" + sizes + ".\r\n");
        t.host.log.clear();
        for (int i = 1, answered = 0; i <= 256; ++i) {
            ASSERT_TRUE(t.session.Retr(i)) << i;
            // The 255 TOPs of a check fit the bound on what is outstanding: one batch.
            EXPECT_TRUE(round || i > 1 || t.host.log.size() == 255u);
            // Answer every TOP sent so far, including those each answer sends.
            for (; answered < tops(t); ++answered)
                t.session.Receive("+OK\r\nSubject: m\r\n\r\n.\r\n");
        }
        // 255 read ahead, then the one asked for; the second time only that one.
        EXPECT_EQ(tops(t), round == 1 ? 1 : 256);
        EXPECT_EQ(t.cache.Size(SummaryCache::AccountKey("", "taro")), SummaryCache::kMaxPerAccount);
        t.session.ConnectionClosed();
    }
}

TEST(TlsReasonText, NamesWhatFailedInOneLine) {
    using enum TlsFailure;
    const auto failed = [](TlsFailure failure, uint8_t problems = 0, bool changed = false) {
        return TlsOutcome{false, false, failure, problems, changed, {}, {}};
    };
    const std::pair<TlsOutcome, const char*> cases[] = {
        {failed(Downgrade), "暗号化（STLS）がなく、接続を中止しました。"},
        {failed(Handshake), "暗号化通信を開始できませんでした。"},
        {failed(Untrusted, cpExpired | cpWrongName | cpUnknownAuthority),
         "サーバの証明書を信頼できません（有効期間外、ホスト名の不一致、不明な認証局）。"},
        {failed(Untrusted, cpUnknownAuthority, true),
         "サーバの証明書が以前と変わっています（不明な認証局）。"},
    };
    for (const auto& [outcome, utf8] : cases)
        EXPECT_EQ(TlsReasonText(outcome), cp932::FromUtf8(utf8)) << utf8;
}

TEST(MailEndpoint, ReadsSchemeHostPortAndTlsAndRefusesWhatNamesNoHost) {
    using enum MailProtocol;
    const std::pair<const char*, std::optional<MailEndpoint>> cases[] = {
        {"pop.example.jp", MailEndpoint{"pop.example.jp", 110, false, Pop3}},
        {"192.168.0.10:65535", MailEndpoint{"192.168.0.10", 65535, false, Pop3}},
        {"POP3S://pop.example.jp:1995/", MailEndpoint{"pop.example.jp", 1995, true, Pop3}},
        {"[::1]:2110", MailEndpoint{"::1", 2110, false, Pop3}},
        {"fe80::1", MailEndpoint{"fe80::1", 110, false, Pop3}},
        {"imap://imap.example.jp", MailEndpoint{"imap.example.jp", 143, false, Imap}},
        {"IMAPS://[::1]", MailEndpoint{"::1", 993, true, Imap}}};
    for (const auto& [text, endpoint] : cases)
        EXPECT_EQ(ParseMailEndpoint(text), endpoint) << text;
    for (const char* text : {"", "pop3s://", "imap://", ":110", "host:", "host:0", "host:65536",
                             "host:x", "[::1", "[::1]x", "two words", "pop3s://a/b"})
        EXPECT_EQ(ParseMailEndpoint(text), std::nullopt) << text;
}

// A token goes by AUTH only over TLS; its initial response only where the line
// fits in 255 octets; a refusal's challenge is answered so that the -ERR comes.
TEST(Pop3Session, ATokenGoesByAuthOverTlsAndARefusalIsAnsweredAndTold) {
    const std::string bearer =
        "bixhPXRhcm8sAWhvc3Q9cG9wLmV4YW1wbGUuanABcG9ydD05OTUBYXV0aD1CZWFyZXIgdG9rAQE=";
    const std::string sasl = "+OK ready\n|+OK\nSASL PLAIN XOAUTH2 OAUTHBEARER\n.\n";
    const auto response = [](size_t length) {
        return EncodeBase64("user=taro\x01"
                            "auth=Bearer " +
                            std::string(length, 't') + "\x01\x01");
    };
    const std::string xoauth2 = "+OK ready\n|+OK\nSASL XOAUTH2\n.\n",
                      rest = "|+OK 0 0\n|QUIT|+OK\n|CLOSE",
                      stat = ", C: STAT, connect 0, C: QUIT, disconnect, close";
    // The token "tok" over pop3s, unless a row's name gives its length.
    std::vector<Case> cases = {
        {"OAUTHBEARER with its response on the line", sasl + "|+OK\n" + rest,
         "C: CAPA, C: AUTH OAUTHBEARER " + bearer + stat},
        {"156: XOAUTH2 where alone, its response filling the line's 255 octets",
         xoauth2 + "|+OK\n" + rest, "C: CAPA, C: AUTH XOAUTH2 " + response(156) + stat},
        {"157: a response one base64 group too long for the line waits for the +",
         xoauth2 + "|+ \n|+OK\n" + rest, "C: CAPA, C: AUTH XOAUTH2, C: " + response(157) + stat},
        {"a refusal: %x01 to its challenge, then its -ERR",
         sasl + "|+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\n|-ERR no\n|CLOSE",
         "C: CAPA, C: AUTH OAUTHBEARER " + bearer +
             ", C: AQ==, status invalid_token, error 4, close"},
        {"a server that cannot ask for now is no refusal", sasl + "|-ERR [SYS/TEMP] later\n|CLOSE",
         "C: CAPA, C: AUTH OAUTHBEARER " + bearer + ", error 2, close"},
        {"no SASL for tokens", "+OK ready\n|+OK\nSASL PLAIN\n.\n|+OK\n|CLOSE",
         "C: CAPA, token not offered, C: QUIT, error 4, close"},
        {"no STLS: not even the name goes out", "+OK ready\n|+OK\nSASL OAUTHBEARER\n.\n",
         "C: CAPA, downgrade, error 2, close"},
    };
    for (Case& c : cases) {
        const size_t length = std::isdigit(c.name[0]) ? std::stoul(c.name) : 0;
        c.prepare = [length](Transcript& t) {
            t.token = length ? std::string(length, 't') : "tok";
        };
        c.tls = c.name.starts_with("no STLS") ? Tls::Offered : Tls::Implicit;
    }
    ExpectTranscripts(cases);
}

} // namespace
} // namespace pim
