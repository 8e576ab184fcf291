// The POP3 dialogue without any I/O: fed the bytes the server sends, it answers
// with the commands to send, the timer to run and the events to report, all
// through its host. Every transcript can so be tested without a socket.
#pragma once

#include "mail/HeaderExtraction.h"
#include "mail/SaslToken.h"
#include "mail/SummaryCache.h"
#include "mail/TlsOutcome.h"
#include "pop3/ReplyBuffer.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

// What the session needs from whoever owns the connection.
class Pop3SessionHost {
public:
    virtual ~Pop3SessionHost() = default;
    // Sends `line` followed by CR LF; true when every byte was handed over.
    virtual bool SendLine(const std::string& line) = 0;
    // What a running timer waits for: a reply (the reply time-out), or the line a
    // server may add after refusing USER or PASS (a short wait).
    enum class Wait { Reply, RejectedLine };
    virtual void StartTimer(Wait wait) = 0; // (re)starts the timer
    virtual void StopTimer() = 0;
    // A second timer bounds the whole session (Pop3Session::SessionLimit), so
    // that a server trickling bytes cannot hold the check for ever.
    virtual void StartSessionTimer() = 0;
    virtual void StopSessionTimer() = 0;
    // Drops the connection (and any lookup) at once, without a word to the server.
    virtual void CloseConnection() = 0;
    // The server said "+OK" to STLS: whatever it has sent since is dropped unread,
    // and the handshake starts. The host answers with Pop3Session::TlsStarted, or
    // with ConnectionFailed when the handshake or the certificate fails.
    virtual void StartTls() = 0;
    // The server listed STLS before TLS was up.
    virtual void TlsOffered() {}
    // The session ends as error 2 for this reason; told just before Failed.
    virtual void TlsFailed(TlsFailure) {}

    virtual bool HandlesConnect() const = 0; // an OnConnect handler is assigned
    virtual void Connected(int mailCount) = 0;
    // `uniqueId` is empty when the server lists no ids.
    virtual void MailInformation(const MailSummary& summary, const std::string& uniqueId) = 0;
    virtual void Disconnected() = 0;
    virtual void Failed(uint8_t errorNo) = 0;
    // The server refused QUIT and the session ended without a word; only an
    // owner that waits for the end of every session needs to know.
    virtual void QuitRefused() {}
    // Told before Failed(pePass) of a session signing in with a token: the
    // server took neither token mechanism, or refused the token (with the
    // `status` of its challenge, RFC 7628; empty when it gave none).
    virtual void TokenNotOffered() {}
    virtual void TokenRefused(const std::string& /*status*/) {}
};

class Pop3Session {
public:
    enum State : uint8_t {
        psGreeting = 1,
        psUser,
        psPass,
        psStat,
        psReady,
        psRetrieve,
        psQuit,
        psRejected,
        psCapa,      // "CAPA" sent after the greeting (and again over TLS)
        psUidl,      // "UIDL" sent after STAT, before OnConnect
        psStls,      // "STLS" sent
        psHandshake, // the TLS handshake runs; nothing the server sends counts
        psList,      // "LIST" sent after UIDL, before OnConnect
        psAuth,      // "AUTH" with a token sent (RFC 5034); its exchange runs
    };
    // How the connection is protected.
    enum class Tls : uint8_t {
        Offered,  // plain; upgraded when the server lists STLS
        Required, // plain, and a server that does not list STLS gets no login
        Implicit, // TLS from the start (pop3s)
    };
    enum ErrorNo : uint8_t {
        peTimeOut = 1,
        peConnect,
        peUser,
        pePass,
        peStat,
        peRetrieve,
    };

    // A one-line reply longer than this counts as the refusal of its step.
    static constexpr size_t kMaxLineReply = 64 * 1024;
    // A message longer than this ends the session as a time-out.
    static constexpr size_t kMaxMessage = size_t{1} << 30;
    // One session may last this many reply time-outs, but never more than ten
    // minutes; then it ends as a time-out.
    static constexpr int kSessionTimeOuts = 10;
    static constexpr int kMaxSessionMs = 10 * 60 * 1000;
    static constexpr int SessionLimit(int timeOutCount) {
        const int64_t limit = int64_t{kSessionTimeOuts} * std::max(1, timeOutCount);
        return static_cast<int>(std::min<int64_t>(limit, kMaxSessionMs));
    }

    // Bytes of pipelined TOP/RETR commands in flight at most. RFC 2449 (6.6)
    // forbids a client to block on sending while the server blocks on sending
    // replies nobody reads. Neither can happen here: 4 KB fit any TCP send and
    // receive buffer, so the server can always take every command in; and our
    // socket writes never block (Qt buffers them) while the event loop keeps
    // reading the replies. Enough for 255 `TOP n 0` in one write.
    static constexpr size_t kMaxOutstandingBytes = 4096;
    // A unique id is 1 to 70 printable characters (RFC 1939, UIDL).
    static constexpr size_t kMaxUniqueId = 70;

    explicit Pop3Session(Pop3SessionHost& host) : host_(host) {}

    // Summaries of messages already seen are looked up here by unique id and
    // size; none when null.
    void UseCache(SummaryCache* cache) { cache_ = cache; }

    // A connection is being opened for this user of `server`; the greeting is
    // awaited next.
    void Begin(const std::string& userID, const std::string& password,
               const std::string& server = {}, Tls tls = Tls::Offered);
    // The same, signing in with an OAuth 2.0 bearer token (OAUTHBEARER where
    // the server lists it, else XOAUTH2) instead of USER and PASS; never
    // without TLS. `host` and `port` are where the connection goes.
    void BeginWithToken(const std::string& userID, const std::string& token,
                        const std::string& server, Tls tls, const std::string& host, int port);
    void Receive(std::string_view chunk);
    // The server closed the connection.
    void ConnectionClosed();
    // The connection could not be made.
    void ConnectionFailed();
    void TimerExpired();
    void SessionTimerExpired();
    // The handshake the host was asked for succeeded.
    void TlsStarted();

    // A message already known (from the cache, or read ahead) is answered at
    // once, from inside the call.
    bool Retr(int mailNo);
    // With a pipelining server QUIT may have gone out behind the last batch; a
    // close that followed it is then reported from inside this call.
    bool Quit();

    // Ends the session and returns to the initial state, reporting nothing.
    void Reset();
    void StartTimeOut(Pop3SessionHost::Wait wait = Pop3SessionHost::Wait::Reply);
    void StopTimeOut();

    bool Open() const { return open_; }
    State FState() const { return state_; }
    uint8_t FErrorNo() const { return errorNo_; }
    bool TimerRunning() const { return timerRunning_; }

    // Tests pin the weekday names of the time stamps.
    void SetDayNames(const DayNames& names) { dayNames_ = &names; }

private:
    // What the reply being received is.
    enum class Expect { Nothing, Line, Lines, Mail };
    Expect Expected() const;
    // How many bytes of `chunk` belong to the reply being received; `ended`
    // tells whether they end it.
    size_t ScanReply(std::string_view chunk, bool multiLine, bool& ended);
    void ProcessReply(bool ended);
    void CapaReplied(bool positive);
    void AuthWithToken();
    void AuthReplied(bool positive);
    void StlsReplied(bool positive);
    void EndInClear(TlsFailure failure);
    void UidlReplied(bool positive);
    void ListReplied(bool positive);
    void ListingsRead();
    void MailReplied(bool positive);
    void QuitAheadReplied(bool positive);
    bool AwaitingQuitAhead() const {
        return quitAhead_ && !quitAcknowledged_ && !quitRefusedAhead_;
    }
    void Ready();
    void Answer(const std::optional<MailSummary>& summary);
    bool Known(int mailNo, std::optional<MailSummary>& summary);
    std::string FetchCommand(int mailNo) const;
    bool Fetch(int mailNo);
    void FetchAhead();
    const ListedMessage* Listed(int mailNo) const;
    void ClearReply();
    void Send(const std::string& line) { host_.SendLine(line); }
    void Refuse(uint8_t errorNo);
    void Reject(uint8_t errorNo);
    void Await(State next);
    void Continue(State next, const std::string& command);
    void PipelineLogin();
    bool Draining() const { return !due_.empty() && (state_ == psRejected || state_ == psQuit); }
    void RefuseStat();
    void StatReplied();
    void TimedOut();

    Pop3SessionHost& host_;
    const DayNames* dayNames_ = nullptr;
    bool open_ = false;
    bool timerRunning_ = false;
    bool quitAcknowledged_ = false;
    // QUIT went out behind the last batch, before the owner asked for it; what
    // the server then said to it, and whether it has closed since.
    bool quitAhead_ = false;
    bool quitRefusedAhead_ = false;
    bool closedAhead_ = false;
    bool counted_ = false; // STAT was answered: mail information is being read
    uint64_t serial_ = 0;  // changes whenever a session begins or ends
    State state_ = psGreeting;
    uint8_t errorNo_ = 0;
    std::string userID_;
    std::string password_;
    std::string account_;
    ReplyBuffer received_{kHeaderScanLimit};
    // Where the end of the reply being received stands.
    bool statusLineDone_ = false;
    bool sawCr_ = false;
    // 1: at the start of a line; 2: after a "." there; 3: after "." CR.
    int terminator_ = 0;

    Tls tls_ = Tls::Offered;
    bool encrypted_ = false; // STLS succeeded
    // What CAPA told (all false for a server without CAPA); what it told before
    // TLS is forgotten once TLS is up.
    bool capaAnswered_ = false;
    bool offersUidl_ = false;
    bool offersPipelining_ = false;
    // Signing in with a token: what the server's SASL line listed, and how far
    // the exchange went.
    bool token_ = false;
    bool offersOAuthBearer_ = false;
    bool offersXOAuth2_ = false;
    TokenMechanism mechanism_ = TokenMechanism::OAuthBearer;
    std::string tokenHost_;
    int tokenPort_ = 0;
    std::string tokenResponse_; // awaiting the server's "+" when not empty
    std::optional<std::string> tokenStatus_;
    // The login steps whose commands went out ahead of their turn, in the order
    // their replies are due; after a refused login they are read and dropped.
    std::deque<State> due_;
    bool useTop_ = false; // a refused TOP leaves RETR for the rest of the session

    SummaryCache* cache_ = nullptr;
    int count_ = 0; // STAT's count, when it could be read
    // The unique ids and sizes of the messages a check reads; between UIDL and
    // LIST the ids alone.
    std::vector<ListedMessage> listed_;
    struct Command {
        int mailNo;
        bool top;
        size_t bytes; // the line as sent, CR LF included
    };
    std::deque<Command> outstanding_; // sent, in order, not yet answered
    size_t outstandingBytes_ = 0;
    // Read ahead of the owner's requests; nullopt: refused.
    std::map<int, std::optional<MailSummary>> readAhead_;
    int asked_ = 0;     // the message the owner waits for
    int lastAsked_ = 0; // the last message the owner asked for
    int nextAhead_ = 1; // the next message to consider reading ahead
};

} // namespace pim
