// The POP3 dialogue without any I/O: fed the bytes the server sends, it answers
// with the commands to send, the timer to run and the events to report, all
// through its host. Every transcript can so be tested without a socket.
#pragma once

#include "pop3/HeaderExtraction.h"
#include "pop3/ReplyBuffer.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

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

    virtual bool HandlesConnect() const = 0; // an OnConnect handler is assigned
    virtual void Connected(int mailCount) = 0;
    virtual void MailInformation(const MailSummary& summary) = 0;
    virtual void Disconnected() = 0;
    virtual void Failed(uint8_t errorNo) = 0;
    // The server refused QUIT and the session ended without a word; only an
    // owner that waits for the end of every session needs to know.
    virtual void QuitRefused() {}
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

    explicit Pop3Session(Pop3SessionHost& host) : host_(host) {}

    // A connection is being opened for this user; the greeting is awaited next.
    void Begin(const std::string& userID, const std::string& password);
    void Receive(std::string_view chunk);
    // The server closed the connection.
    void ConnectionClosed();
    // The connection could not be made.
    void ConnectionFailed();
    void TimerExpired();
    void SessionTimerExpired();

    bool Retr(int mailNo);
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
    enum class Completion { Waiting, Complete, Overflow };
    Completion Judge() const;
    void ProcessReply();
    void Send(const std::string& line) { host_.SendLine(line); }
    void Refuse(uint8_t errorNo);
    void Reject(uint8_t errorNo);
    void Continue(State next, const std::string& command);
    void StatReplied();
    void TimedOut();

    Pop3SessionHost& host_;
    const DayNames* dayNames_ = nullptr;
    bool open_ = false;
    bool timerRunning_ = false;
    bool quitAcknowledged_ = false;
    bool counted_ = false; // STAT was answered: mail information is being read
    uint64_t serial_ = 0;  // changes whenever a session begins or ends
    State state_ = psGreeting;
    uint8_t errorNo_ = 0;
    std::string userID_;
    std::string password_;
    ReplyBuffer received_{kHeaderScanLimit};
};

} // namespace pim
