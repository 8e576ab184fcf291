#include "pop3/Pop3Session.h"

#include <charconv>
#include <limits>

namespace pim {

namespace {

constexpr std::string_view kPositive = "+OK";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kMessageEnd = "\r\n.\r\n";

// The count of "+OK count octets": the text after "+OK " up to the next space or
// line end, as a non-negative decimal number that fits 32 bits.
bool ReadMailCount(std::string_view reply, int& count) {
    if (reply.size() < 4)
        return false;
    reply.remove_prefix(4);
    reply = reply.substr(0, reply.find_first_of(" \r\n"));
    if (reply.empty() || reply.front() == '-' || reply.front() == '+')
        return false;
    const auto [end, error] = std::from_chars(reply.data(), reply.data() + reply.size(), count);
    return error == std::errc() && end == reply.data() + reply.size();
}

} // namespace

void Pop3Session::Begin(const std::string& userID, const std::string& password) {
    ++serial_;
    open_ = true;
    state_ = psGreeting;
    errorNo_ = 0;
    quitAcknowledged_ = false;
    counted_ = false;
    userID_ = userID;
    password_ = password;
    received_.Clear();
    host_.StartSessionTimer();
    StartTimeOut();
}

void Pop3Session::StartTimeOut(Pop3SessionHost::Wait wait) {
    timerRunning_ = true;
    host_.StartTimer(wait);
}

void Pop3Session::StopTimeOut() {
    if (!timerRunning_)
        return;
    timerRunning_ = false;
    host_.StopTimer();
}

void Pop3Session::Reset() {
    ++serial_;
    StopTimeOut();
    if (open_) {
        host_.StopSessionTimer();
        host_.CloseConnection();
    }
    open_ = false;
    quitAcknowledged_ = false;
    counted_ = false;
    userID_.clear();
    password_.clear();
    received_.Clear();
    state_ = psGreeting;
    errorNo_ = 0;
}

void Pop3Session::Receive(std::string_view chunk) {
    // After QUIT was acknowledged only the close counts: trickled bytes must not
    // keep the session alive, nor a stray line end it without a word.
    if (!open_ || (state_ == psQuit && quitAcknowledged_))
        return;
    // The time-out measures silence, not the length of the whole reply.
    if (timerRunning_ && state_ != psRejected)
        StartTimeOut();
    received_.Append(chunk);
    if (!received_.Empty() && !received_.StartsWith("+") && !received_.StartsWith("-"))
        received_.Clear();
    ProcessReply();
}

void Pop3Session::ConnectionClosed() {
    if (!open_)
        return;
    // Reported before the reset: inside the handler the session still counts as
    // open. No time-out may end it a second time meanwhile.
    StopTimeOut();
    // Between the count and the answer to QUIT a close cuts the mail
    // information short: the account failed as with a refused STAT.
    if (errorNo_ == 0 && counted_ && !quitAcknowledged_)
        errorNo_ = peStat;
    if (errorNo_ != 0)
        host_.Failed(errorNo_);
    else
        host_.Disconnected();
    Reset();
}

void Pop3Session::ConnectionFailed() {
    if (!open_)
        return;
    errorNo_ = peConnect;
    ConnectionClosed();
}

void Pop3Session::TimerExpired() {
    if (!open_)
        return;
    timerRunning_ = false;
    // Most servers add nothing after refusing a login and wait for QUIT.
    if (state_ == psRejected) {
        received_.Clear();
        Quit();
        return;
    }
    TimedOut();
}

void Pop3Session::SessionTimerExpired() {
    if (open_)
        TimedOut();
}

void Pop3Session::TimedOut() {
    // QUIT was acknowledged and the server never closed: close it ourselves.
    if (state_ == psQuit && quitAcknowledged_) {
        ConnectionClosed();
        return;
    }
    Reset();
    host_.Failed(peTimeOut);
}

bool Pop3Session::Retr(int mailNo) {
    if (!open_ || state_ != psReady)
        return false;
    state_ = psRetrieve;
    StartTimeOut();
    return host_.SendLine("RETR " + std::to_string(mailNo));
}

bool Pop3Session::Quit() {
    if (!open_)
        return false;
    state_ = psQuit;
    quitAcknowledged_ = false;
    StartTimeOut();
    return host_.SendLine("QUIT");
}

Pop3Session::Completion Pop3Session::Judge() const {
    const bool multiLine = state_ == psRetrieve && received_.StartsWith(kPositive);
    if (received_.EndsWith(multiLine ? kMessageEnd : kLineEnd))
        return Completion::Complete;
    if (received_.Size() > (multiLine ? kMaxMessage : kMaxLineReply))
        return Completion::Overflow;
    return Completion::Waiting;
}

void Pop3Session::ProcessReply() {
    if (state_ == psReady) {
        // Nothing is awaited; unasked-for text only has to stay bounded.
        if (received_.Size() > kMaxLineReply)
            received_.Clear();
        return;
    }
    if (received_.Size() < 2)
        return;
    const Completion completion = Judge();
    if (completion == Completion::Waiting)
        return;
    if (completion == Completion::Overflow && state_ == psRetrieve &&
        received_.StartsWith(kPositive)) {
        TimedOut();
        return;
    }
    StopTimeOut();
    // An endless line is no answer: it counts as a refusal.
    const bool positive = completion == Completion::Complete && received_.StartsWith(kPositive);

    switch (state_) {
    case psGreeting:
        positive ? Continue(psUser, "USER " + userID_) : Refuse(peConnect);
        break;
    case psUser:
        positive ? Continue(psPass, "PASS " + password_) : Reject(peUser);
        break;
    case psPass:
        positive ? Continue(psStat, "STAT") : Reject(pePass);
        break;
    case psStat:
        positive ? StatReplied() : Refuse(peStat);
        break;
    case psRetrieve:
        if (positive) {
            static const DayNames& system = SystemDayNames();
            const MailSummary summary =
                ExtractMailInformation(received_.Head(), dayNames_ ? *dayNames_ : system);
            received_.Clear();
            state_ = psReady;
            host_.MailInformation(summary);
        } else {
            // The session stays open in this state; the owner ends it with Quit.
            received_.Clear();
            host_.Failed(peRetrieve);
        }
        break;
    case psQuit:
        received_.Clear();
        if (positive) {
            quitAcknowledged_ = true;
            // Wait for the server's close, but not for ever.
            StartTimeOut();
        } else {
            Reset();
            host_.QuitRefused();
        }
        break;
    case psRejected:
        received_.Clear();
        Quit();
        break;
    case psReady:
        break;
    }
}

void Pop3Session::Continue(State next, const std::string& command) {
    received_.Clear();
    state_ = next;
    StartTimeOut();
    Send(command);
}

// A refused greeting or STAT: say goodbye; the error is reported at the close.
void Pop3Session::Refuse(uint8_t errorNo) {
    received_.Clear();
    errorNo_ = errorNo;
    Quit();
}

// A refused USER or PASS: wait for the line some servers add before saying
// goodbye, but only briefly.
void Pop3Session::Reject(uint8_t errorNo) {
    errorNo_ = errorNo;
    received_.Clear();
    state_ = psRejected;
    StartTimeOut(Pop3SessionHost::Wait::RejectedLine);
}

void Pop3Session::StatReplied() {
    counted_ = true;
    if (host_.HandlesConnect()) {
        int count = 0;
        if (!ReadMailCount(received_.Head(), count)) {
            Refuse(peStat);
            return;
        }
        const uint64_t serial = serial_;
        host_.Connected(count);
        // The handler may have let this session end, and another begin.
        if (serial != serial_)
            return;
    }
    // Only now is the session ready: Retr from inside the handler is refused.
    received_.Clear();
    state_ = psReady;
}

} // namespace pim
