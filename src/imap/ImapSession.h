// The IMAP dialogue of a check without any I/O: fed the bytes the server sends,
// it answers with the commands to send, the timers to run and the events to
// report, all through its host, so that every transcript can be tested without
// a socket. It reads INBOX without changing it: EXAMINE, never SELECT, and
// BODY.PEEK, never a flag set or a message removed.
#pragma once

#include "imap/ImapResponse.h"
#include "mail/HeaderExtraction.h"
#include "mail/SaslToken.h"
#include "mail/SummaryCache.h"
#include "mail/TlsOutcome.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

// Why a session ended as it did, where its number alone does not tell the user.
enum class ImapReason : uint8_t {
    None,
    LoginDisabled,   // error 4: no login in clear text, and no STARTTLS to protect one
    NoMechanism,     // error 4: no login method offered that the client knows
    Unsendable,      // error 4: the user name or password holds a NUL
    TooLong,         // error 4: the user name or password is longer than kMaxSecretBytes
    Unavailable,     // error 2: the server cannot log anyone in for now (RFC 5530)
    TokenNeedsTls,   // error 4: an OAuth token would go out in clear text
    TokenNotOffered, // error 4: neither OAUTHBEARER nor XOAUTH2 offered
    TokenRefused,    // error 4: the server did not take the token
};

// What the session needs from whoever owns the connection.
class ImapSessionHost {
public:
    virtual ~ImapSessionHost() = default;
    // Sends `bytes` (one or more whole commands, each ending in CR LF); true
    // when every byte was handed over.
    virtual bool Send(const std::string& bytes) = 0;
    // The reply time-out: (re)started while an answer is awaited.
    virtual void StartTimer() = 0;
    virtual void StopTimer() = 0;
    // Bounds the whole session (ImapSession::SessionLimit).
    virtual void StartSessionTimer() = 0;
    virtual void StopSessionTimer() = 0;
    // Drops the connection at once, without a word to the server.
    virtual void CloseConnection() = 0;
    // The server said OK to STARTTLS: whatever it sent since is dropped unread,
    // and the handshake starts. The host answers with ImapSession::TlsStarted,
    // or with ConnectionFailed when the handshake or the certificate fails.
    virtual void StartTls() = 0;
    // The server offered STARTTLS before TLS was up.
    virtual void TlsOffered() {}
    // The session ends as error 2 for this reason; told just before Failed.
    virtual void TlsFailed(TlsFailure) {}

    // INBOX holds `unseenCount` messages without \Seen; told once the headers
    // of those summarised are in.
    virtual void Connected(int unseenCount) = 0;
    // `uniqueId` is "UIDVALIDITY.UID".
    virtual void MailInformation(const MailSummary& summary, const std::string& uniqueId) = 0;
    virtual void Disconnected() = 0;
    virtual void Failed(uint8_t errorNo) = 0;
    // Told just before Failed when the number alone does not say why.
    virtual void Reason(ImapReason) {}
    // Told just before Reason(TokenRefused): the `status` of the server's
    // refusal (RFC 7628), empty when it gave none.
    virtual void TokenRefused(const std::string& /*status*/) {}
    // The server's [ALERT], which must reach the user (RFC 3501, 7.1): CP932,
    // one line, at most kMaxAlert bytes; each different text once a session.
    virtual void Alert(const std::string& /*text*/) {}

    // The server announces INBOX's changes until CheckAgain, Renew or Leave; no
    // timer of the session runs meanwhile.
    virtual void Idling() {}
    // INBOX changed since the last check: told at most once an idle period. A
    // server that ends the IDLE itself, or refuses a later one, ends the session
    // as error 2 (the owner connects again); one that refuses the IDLE of a quit
    // ends the session as after that quit.
    // New messages alone are already being fetched then: a CheckAgain soon
    // after is answered without another round trip.
    virtual void Pushed() {}
};

class ImapSession {
public:
    // How the connection is protected, as for POP3.
    enum class Tls : uint8_t {
        Offered,  // plain; upgraded when the server offers STARTTLS
        Required, // plain, and a server that does not offer STARTTLS gets no login
        Implicit, // TLS from the start (imaps)
    };
    // The numbers the check run knows from POP3.
    enum ErrorNo : uint8_t {
        ieTimeOut = 1,
        ieConnect = 2, // no greeting, BYE, STARTTLS refused or failed
        ieLogin = 4,   // LOGIN or AUTHENTICATE refused
        ieMailbox = 5, // EXAMINE INBOX or the search refused
        ieFetch = 6,   // a message's header could not be read; the session stays open
    };

    // A check reads the headers of at most this many messages: of more unseen
    // ones, the newest.
    static constexpr int kMaxMails = 255;
    // What the session bound of POP3 allows, for the same reasons.
    static constexpr int kSessionTimeOuts = 10;
    static constexpr int kMaxSessionMs = 10 * 60 * 1000;
    static constexpr int SessionLimit(int timeOutCount) {
        const int64_t limit = int64_t{kSessionTimeOuts} * std::max(1, timeOutCount);
        return static_cast<int>(std::min<int64_t>(limit, kMaxSessionMs));
    }
    static constexpr size_t kMaxAlert = 256;
    static constexpr size_t kMaxHeldAlerts = 4;
    // Why these cannot log in, whatever the server: ImapReason::None when they can.
    static ImapReason CredentialsProblem(std::string_view userID, std::string_view password);

    explicit ImapSession(ImapSessionHost& host) : host_(host) {}

    // Summaries of messages already seen are looked up here by unique id; none when null.
    void UseCache(SummaryCache* cache) { cache_ = cache; }
    // Tests pin the weekday names of the time stamps.
    void SetDayNames(const DayNames& names) { dayNames_ = &names; }

    // A connection is being opened for this user of `server`; the greeting is
    // awaited next. The user name and password are CP932; they go out in UTF-8.
    void Begin(const std::string& userID, const std::string& password,
               const std::string& server = {}, Tls tls = Tls::Offered);
    // The same, signing in with an OAuth 2.0 bearer token (OAUTHBEARER where
    // offered, else XOAUTH2), and only over TLS. `host` and `port` are where
    // the connection goes, as OAUTHBEARER tells them.
    void BeginWithToken(const std::string& userID, const std::string& token,
                        const std::string& server, Tls tls, const std::string& host, int port);
    void Receive(std::string_view chunk);
    void ConnectionClosed();
    void ConnectionFailed();
    void TimerExpired();
    void SessionTimerExpired();
    // The handshake the host was asked for succeeded.
    void TlsStarted();

    // After Connected: the `mailNo`th (1-based, oldest first) of the messages
    // summarised, answered from inside the call: Connected follows the headers.
    // Messages gone between the search and the FETCH are neither counted nor told.
    bool Retr(int mailNo);
    // LOGOUT; Disconnected follows when the server has closed. With KeepOpen and
    // IDLE offered, IDLE instead once the check is over; while idling, Leave.
    bool Quit();
    // Kept open after the check: no LOGOUT with the FETCH, and Quit idles. Counts
    // until the FETCH goes out; kept across sessions.
    void KeepOpen(bool keep) { keepOpen_ = keep; }
    // While idling, or while the IDLE is awaited (then as soon as it begins): the
    // search again, with Connected and the FETCH of what is new to follow as in
    // the first check. EXAMINE is not repeated. While the new messages a push
    // told of are fetched: Connected once they are in, without the search when
    // their answer tells all.
    bool CheckAgain();
    // While idling: a new IDLE, as servers end one after 30 minutes. Unanswered
    // within the reply time-out (or the session's bound, whatever else the
    // server says) it ends the session as error 1: the connection is dead.
    // Refused, it ends it as error 2 after LOGOUT.
    bool Renew();
    // At any time the session is open: LOGOUT (after DONE when idling);
    // Disconnected follows when the server answers or closes. An owner that does
    // not wait calls Reset after it.
    bool Leave();
    // Ends the session and returns to the initial state, reporting nothing.
    void Reset();

    bool Open() const { return state_ != State::Off; }
    // IDLE went out (its "+" awaited) or runs, or ended to fetch what it told.
    bool Watching() const { return state_ >= State::Idle && state_ <= State::PeekThenCheck; }
    // The server offers IDLE: said in the greeting, by CAPABILITY, or (as most
    // servers do) in the answer to the login.
    bool IdleOffered() const { return (capabilities_ & capIdle) != 0; }

private:
    ImapSessionHost& host_;
    SummaryCache* cache_ = nullptr;
    const DayNames* dayNames_ = nullptr;
    ImapResponseReader reader_;

    // Where the dialogue stands, phase by phase in the order they run; a session
    // kept open goes round from Search to Idling and back. Only Enter changes it.
    enum class State : uint8_t {
        Off,
        // Greeting and capabilities
        Greeting,
        Capability, // CAPABILITY sent (again over TLS)
        // TLS
        StartTls,  // STARTTLS sent
        Handshake, // nothing the server sends counts
        // Login: its parts each go after the server's "+"; the last carries
        // EXAMINE and the search
        Login,
        // Select and search: logged in, the answers to EXAMINE (the first time)
        // and the search awaited
        Search,
        // Fetch: the headers of the new messages awaited, then read by the owner
        Fetch,
        FetchLogout, // the LOGOUT went with the FETCH
        Ready,       // Connected was told
        ReadyLogout, // and the LOGOUT sent ahead is awaited
        Served,      // and the server said goodbye: nothing more is read
        // Idle
        Idle,           // IDLE sent, its "+" awaited
        IdleThenSearch, // the "+" is answered with DONE and the search
        IdleThenLogout, // with DONE and LOGOUT
        Idling,
        // Peek: EXISTS heard while idling; DONE and the FETCH of the new messages
        // sent, its answer awaited
        Peek,          // the owner has not asked yet: IDLE again once it is in
        PeekThenCheck, // and the owner's check is answered from it
        // Logout
        Logout,
        LeftFetch, // the owner left in FetchLogout: the headers, then the goodbye awaited
        Left,      // the owner left in ReadyLogout: the goodbye awaited
        Closing,   // the end is being reported
    };
    enum class Command : uint8_t {
        Capability,
        StartTls,
        Login,
        Examine,
        Search,
        Fetch,
        Peek, // by sequence number, the new messages' UIDs and flags too
        Idle,
        Done, // an IDLE ended by our DONE: its answer is dropped
        Logout,
    };
    struct Pending {
        std::string tag;
        Command command;
    };
    // Capabilities that change what is sent.
    enum Capability : uint16_t {
        capStartTls = 1,
        capLoginDisabled = 2,
        capAuthPlain = 4,
        capSaslIr = 8,
        capLiteralPlus = 16,
        capLiteralMinus = 32,
        capIdle = 64,
        capAuthOAuthBearer = 128,
        capAuthXOAuth2 = 256,
    };

    // Every change of state goes through here.
    void Enter(State state);
    // What the server says, one handler for each kind of response.
    void Respond();
    void Greeted(std::string_view text);
    void Untagged(std::string_view text);
    void AddCapabilities(std::string_view list);
    bool Waits(Command command) const;
    void Alerted(std::string_view text);
    void Validity(std::string_view number);
    void Changed(std::string_view text);
    // False for anything but a well-formed change of a known message.
    bool FlagsChanged();
    void Changed();
    void Push();
    void Continued(std::string_view text);
    void Completed(std::string_view text);
    void Refuse(uint8_t errorNo, ImapReason reason = ImapReason::None);
    // The steps of the phases, in their order.
    void CapabilitiesKnown();
    void LogIn();
    void LogInWithToken();
    void SendFlight();
    std::string Tagged(Command command, std::string_view text);
    void Searched();
    std::string UniqueId(size_t index) const;
    void Fetched(uint32_t uid, std::string header, bool cut);
    void FetchDone();
    // Told after the FETCH: the count and the summaries are final.
    bool Report(State ready);
    void Answer(size_t index);
    void SendLogout(const std::string& before = {});
    bool StartIdle(bool renewal);
    bool TellHeldAlerts(); // false when the owner reset the session meanwhile
    std::string EndIdle();
    void IdleBegun();
    void IdleEnded(bool ok);
    void SearchAgain(const std::string& done);
    bool Peeking() const { return state_ == State::Peek || state_ == State::PeekThenCheck; }
    // Whether INBOX, now of `count` messages where `known` were, can be learnt
    // of without the search.
    bool MayPeek(uint32_t known, uint32_t count) const;
    void Peek(uint32_t first, uint32_t last);
    // False for an answer about no message the peek asked for.
    bool Peeked(ImapResponseReader::FetchItems& items);
    void PeekDone(bool ok);
    bool PeekTellsAll() const;
    void StorePeeked();
    void AddPeeked();
    void EndInClear(TlsFailure failure);
    void Finish(uint8_t errorNo);
    bool Awaiting() const;
    void UpdateTimer();
    void StartTimeOut();
    void StopTimeOut();

    // Changes whenever a session begins or ends, and when TLS starts: what was
    // read before counts no more.
    uint64_t serial_ = 0;
    State state_ = State::Off;
    Tls tls_ = Tls::Offered;
    bool encrypted_ = false;
    bool timerRunning_ = false;
    uint8_t errorNo_ = 0;                  // the first refusal, told at the end
    ImapReason reason_ = ImapReason::None; // of errorNo_
    ImapReason credentials_ = ImapReason::None;
    uint16_t capabilities_ = 0;
    // Signing in with a token: its mechanism once chosen, where it goes, and the
    // status of the server's refusal, once it challenged it.
    bool token_ = false;
    TokenMechanism mechanism_ = TokenMechanism::OAuthBearer;
    std::string tokenHost_;
    int tokenPort_ = 0;
    std::optional<std::string> tokenStatus_;
    std::string userID_, password_, account_;
    unsigned nextTag_ = 0;
    std::vector<Pending> pending_; // sent, not yet completed
    // The login's parts each sent after the server's "+"; the last one carries
    // EXAMINE and the search.
    std::vector<std::string> flight_;
    size_t flightSent_ = 0;
    uint32_t uidValidity_ = 0;
    // What EXAMINE told, kept up to date by what the server announces since:
    // only what differs from it is a change, in every round of a session kept open.
    bool examined_ = false;
    std::optional<uint32_t> exists_;
    bool validityChanged_ = false; // told once a connection
    // Of messages 1..kTrackedFlags: 0 not yet heard of, 1 unseen, 2 seen.
    static constexpr size_t kTrackedFlags = 64 * 1024;
    std::vector<uint8_t> seen_;
    std::string alert_;                   // the last told
    std::vector<std::string> heldAlerts_; // said in clear while TLS may still follow
    uint64_t unseen_ = 0;
    uint64_t count_ = 0; // told with Connected
    std::set<uint32_t> highest_;
    bool searchMalformed_ = false;
    std::vector<uint32_t> window_; // ascending
    std::vector<std::optional<MailSummary>> summaries_;
    uint32_t searchedValidity_ = 0; // the UIDVALIDITY of window_
    // The new messages of a push (their numbers from peekFirst_ on), as the
    // answer to the peek told them; at most kMaxMails.
    struct PeekedMail {
        uint32_t uid = 0; // not yet told
        bool seen = false;
        bool cut = false;
        std::optional<MailSummary> summary; // of an unseen one
    };
    uint32_t peekFirst_ = 0;
    std::vector<PeekedMail> peeked_;
    bool peekSpoiled_ = false; // something else changed meanwhile, or a malformed answer
    bool keepOpen_ = false;
    bool renewal_ = false; // the IDLE awaited went out without the owner's quit
    // INBOX changed since the search: told once idling, and once an idle period.
    enum class News : uint8_t { None, Seen, Told } news_ = News::None;
};

} // namespace pim
