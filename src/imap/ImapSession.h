// The IMAP dialogue of a check without any I/O: fed the bytes the server sends,
// it answers with the commands to send, the timers to run and the events to
// report, all through its host, so that every transcript can be tested without
// a socket. It reads INBOX without changing it: EXAMINE, never SELECT, and
// BODY.PEEK, never a flag set or a message removed.
#pragma once

#include "imap/ImapResponse.h"
#include "mail/HeaderExtraction.h"
#include "mail/SummaryCache.h"
#include "mail/TlsOutcome.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

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

    // INBOX holds `unseenCount` messages without \Seen.
    virtual void Connected(int unseenCount) = 0;
    // `uniqueId` is "UIDVALIDITY.UID".
    virtual void MailInformation(const MailSummary& summary, const std::string& uniqueId) = 0;
    virtual void Disconnected() = 0;
    virtual void Failed(uint8_t errorNo) = 0;
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

    explicit ImapSession(ImapSessionHost& host) : host_(host) {}

    // Summaries of messages already seen are looked up here by unique id; none when null.
    void UseCache(SummaryCache* cache) { cache_ = cache; }
    // Tests pin the weekday names of the time stamps.
    void SetDayNames(const DayNames& names) { dayNames_ = &names; }

    // A connection is being opened for this user of `server`; the greeting is
    // awaited next.
    void Begin(const std::string& userID, const std::string& password,
               const std::string& server = {}, Tls tls = Tls::Offered);
    void Receive(std::string_view chunk);
    void ConnectionClosed();
    void ConnectionFailed();
    void TimerExpired();
    void SessionTimerExpired();
    // The handshake the host was asked for succeeded.
    void TlsStarted();

    // After Connected: the `mailNo`th (1-based, oldest first) of the messages
    // summarised. One already known is answered from inside the call.
    bool Retr(int mailNo);
    // LOGOUT; Disconnected follows when the server has closed.
    bool Quit();
    // Ends the session and returns to the initial state, reporting nothing.
    void Reset();

    bool Open() const { return open_; }

private:
    ImapSessionHost& host_;
    SummaryCache* cache_ = nullptr;
    const DayNames* dayNames_ = nullptr;
    bool open_ = false;
    ImapResponseReader reader_;
    // The implementation's state follows.
};

} // namespace pim
