#include "pop3/Pop3Session.h"

#include "mail/HeaderDecoding.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

namespace pim {

namespace {

constexpr std::string_view kPositive = "+OK";
constexpr std::string_view kLineEnd = "\r\n";

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

// The lines of a multi-line reply after its status line, up to the terminating
// line or as far as `reply` goes.
template <typename Visit>
void ForEachLine(std::string_view reply, Visit visit) {
    size_t end = reply.find(kLineEnd);
    while (end != std::string_view::npos) {
        reply.remove_prefix(end + kLineEnd.size());
        end = reply.find(kLineEnd);
        if (end == std::string_view::npos || !visit(reply.substr(0, end)))
            return;
    }
}

bool StartsWithWord(std::string_view line, std::string_view word) {
    if (line.size() < word.size() || (line.size() > word.size() && line[word.size()] != ' '))
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        const char c = line[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != word[i])
            return false;
    }
    return true;
}

// The lines "n value" of a UIDL or LIST listing of `count` messages: `take`
// gets the index and value of each of messages 1 to `wanted` and says whether
// the value fits. A listing kept `whole` must list exactly `count`; of a longer
// one only the kept part is checked.
template <typename Take>
bool ReadListing(std::string_view reply, bool whole, int count, size_t wanted, Take take) {
    int listed = 0;
    bool ended = false;
    bool fits = true;
    ForEachLine(reply, [&](std::string_view line) {
        if (line == ".") {
            ended = true;
            return false;
        }
        const size_t space = std::min(line.find(' '), line.size());
        int number = 0;
        const auto [end, error] = std::from_chars(line.data(), line.data() + space, number);
        fits = listed < count && space < line.size() && error == std::errc() &&
               end == line.data() + space && number == ++listed &&
               (static_cast<size_t>(listed) > wanted ||
                take(static_cast<size_t>(listed - 1), line.substr(space + 1)));
        return fits;
    });
    return fits && static_cast<size_t>(listed) >= wanted && (!whole || (ended && listed == count));
}

// The unique ids of messages 1 to `wanted` (an id is 1 to 70 characters from
// 0x21 to 0x7E); empty when the listing does not fit.
std::vector<ListedMessage> ReadUniqueIds(std::string_view reply, bool whole, int count,
                                         size_t wanted) {
    std::vector<ListedMessage> messages;
    std::set<std::string_view> seen;
    const bool fits = ReadListing(reply, whole, count, wanted, [&](size_t, std::string_view id) {
        if (id.empty() || id.size() > Pop3Session::kMaxUniqueId ||
            !std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; }))
            return false;
        // Two messages with one id would show each other's summary.
        if (!seen.insert(id).second)
            return false;
        messages.push_back(ListedMessage{std::string(id), 0});
        return true;
    });
    if (!fits)
        messages.clear();
    return messages;
}

// The sizes of `messages` from a LIST listing; false when it does not fit.
bool ReadSizes(std::string_view reply, bool whole, int count,
               std::vector<ListedMessage>& messages) {
    return ReadListing(reply, whole, count, messages.size(), [&](size_t i, std::string_view rest) {
        // Whatever follows the size is the server's own (RFC 1939, LIST).
        const std::string_view size = rest.substr(0, rest.find(' '));
        const auto [end, error] =
            std::from_chars(size.data(), size.data() + size.size(), messages[i].Size);
        return !size.empty() && error == std::errc() && end == size.data() + size.size();
    });
}

// The message's header: the status line is no part of the message, and the body
// is not looked at (a "Subject:" in the text of a mail is no title).
std::string_view MessageHeader(std::string_view reply) {
    const size_t status = reply.find(kLineEnd);
    if (status == std::string_view::npos)
        return {};
    reply.remove_prefix(status + kLineEnd.size());
    if (reply.starts_with(kLineEnd))
        return {};
    if (const size_t blank = reply.find("\r\n\r\n"); blank != std::string_view::npos)
        return reply.substr(0, blank + kLineEnd.size());
    if (reply == ".\r\n")
        return {};
    if (reply.ends_with("\r\n.\r\n"))
        reply.remove_suffix(3);
    return reply;
}

} // namespace

void Pop3Session::Begin(const std::string& userID, const std::string& password,
                        const std::string& server, Tls tls) {
    Reset();
    ++serial_;
    open_ = true;
    tls_ = tls;
    userID_ = userID;
    password_ = password;
    account_ = SummaryCache::AccountKey(server, userID);
    host_.StartSessionTimer();
    StartTimeOut();
}

void Pop3Session::BeginWithToken(const std::string& userID, const std::string& token,
                                 const std::string& server, Tls tls, const std::string& host,
                                 int port) {
    // A server that does not offer TLS then gets nothing, not even the name.
    Begin(userID, token, server, tls == Tls::Implicit ? Tls::Implicit : Tls::Required);
    token_ = true;
    tokenHost_ = host;
    tokenPort_ = port;
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
    quitAcknowledged_ = quitAhead_ = quitRefusedAhead_ = closedAhead_ = false;
    counted_ = false;
    userID_.clear();
    password_.clear();
    account_.clear();
    ClearReply();
    state_ = psGreeting;
    errorNo_ = 0;
    encrypted_ = false;
    capaAnswered_ = offersUidl_ = offersPipelining_ = false;
    token_ = offersOAuthBearer_ = offersXOAuth2_ = false;
    tokenHost_.clear();
    tokenResponse_.clear();
    tokenStatus_.reset();
    useTop_ = false;
    due_.clear();
    count_ = 0;
    listed_.clear();
    outstanding_.clear();
    outstandingBytes_ = 0;
    readAhead_.clear();
    asked_ = lastAsked_ = 0;
    nextAhead_ = 1;
}

void Pop3Session::ClearReply() {
    received_.Clear();
    statusLineDone_ = false;
    sawCr_ = false;
    terminator_ = 0;
}

Pop3Session::Expect Pop3Session::Expected() const {
    if (!outstanding_.empty())
        return Expect::Mail;
    if (AwaitingQuitAhead())
        return Expect::Line;
    if (Draining())
        return due_.front() == psUidl || due_.front() == psList ? Expect::Lines : Expect::Line;
    switch (state_) {
    case psReady:
    case psHandshake:
        return Expect::Nothing;
    case psCapa:
    case psUidl:
    case psList:
        return Expect::Lines;
    default:
        return Expect::Line;
    }
}

void Pop3Session::Receive(std::string_view chunk) {
    const uint64_t serial = serial_;
    // After QUIT was acknowledged only the close counts: trickled bytes must not
    // keep the session alive, nor a stray line end it without a word.
    const auto closing = [this] { return !open_ || quitAcknowledged_; };
    // Text in clear after "+OK" to STLS may come from anyone on the way: it is
    // never read, and it does not hold the handshake's time-out off either.
    if (closing() || state_ == psHandshake)
        return;
    // The time-out measures silence, not the length of the whole reply.
    if (timerRunning_ && state_ != psRejected)
        StartTimeOut();
    // Pipelined replies may share a chunk: each is judged on its own.
    while (!chunk.empty() && serial == serial_ && !closing()) {
        const Expect expect = Expected();
        // Nothing is awaited: unasked-for text is dropped.
        if (expect == Expect::Nothing)
            return;
        if (received_.Empty()) {
            const size_t start = chunk.find_first_of("+-");
            if (start == std::string_view::npos)
                return;
            chunk.remove_prefix(start);
        }
        bool ended = false;
        const size_t used = ScanReply(chunk, expect != Expect::Line, ended);
        received_.Append(chunk.substr(0, used));
        chunk.remove_prefix(used);
        ProcessReply(ended);
    }
}

// A one-line reply ends with its first CR LF; a positive multi-line reply with
// the line "." (found across chunk boundaries).
size_t Pop3Session::ScanReply(std::string_view chunk, bool multiLine, bool& ended) {
    ended = false;
    for (size_t i = 0; i < chunk.size(); ++i) {
        // Inside a line only a CR can start the end of the message.
        if (statusLineDone_ && terminator_ == 0 && !sawCr_) {
            const size_t cr = chunk.find('\r', i);
            if (cr == std::string_view::npos)
                return chunk.size();
            i = cr;
        }
        const char c = chunk[i];
        if (!statusLineDone_) {
            if (sawCr_ && c == '\n') {
                sawCr_ = false;
                std::string first(received_.Head().substr(0, kPositive.size()));
                first.append(chunk.substr(0, std::min(i + 1, kPositive.size() - first.size())));
                if (!multiLine || first != kPositive) {
                    ended = true;
                    return i + 1;
                }
                statusLineDone_ = true;
                terminator_ = 1;
                continue;
            }
            sawCr_ = c == '\r';
            continue;
        }
        if (terminator_ == 1 && c == '.') {
            terminator_ = 2;
            continue;
        }
        if (terminator_ == 2 && c == '\r') {
            terminator_ = 3;
            continue;
        }
        if (terminator_ == 3 && c == '\n') {
            ended = true;
            return i + 1;
        }
        terminator_ = 0;
        if (sawCr_ && c == '\n') {
            sawCr_ = false;
            terminator_ = 1;
            continue;
        }
        sawCr_ = c == '\r';
    }
    return chunk.size();
}

void Pop3Session::ConnectionClosed() {
    if (!open_)
        return;
    if (errorNo_ == 0 && (state_ == psStls || state_ == psHandshake)) {
        EndInClear(TlsFailure::Handshake);
        return;
    }
    // Reported before the reset: inside the handler the session still counts as
    // open. No time-out may end it a second time meanwhile.
    StopTimeOut();
    // The server said goodbye to a QUIT sent ahead: the owner still takes what
    // was read ahead, and learns of the end when it quits.
    if (quitAhead_ && quitAcknowledged_ && state_ != psQuit) {
        closedAhead_ = true;
        return;
    }
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
    // On the way to TLS the close tells why.
    if (state_ != psStls && state_ != psHandshake)
        errorNo_ = peConnect;
    ConnectionClosed();
}

void Pop3Session::TimerExpired() {
    if (!open_)
        return;
    timerRunning_ = false;
    // Most servers add nothing after refusing a login and wait for QUIT.
    if (state_ == psRejected) {
        ClearReply();
        Quit();
        return;
    }
    // A server that does not answer CAPA is an old one: log in as always
    // (unless TLS is required). One that began to answer may have offered
    // STLS: its silence is a time-out, not a reason to log in in clear.
    if (state_ == psCapa && received_.Empty()) {
        ClearReply();
        CapaReplied(false);
        return;
    }
    if (state_ == psStls || state_ == psHandshake) {
        EndInClear(TlsFailure::Handshake);
        return;
    }
    TimedOut();
}

void Pop3Session::SessionTimerExpired() {
    if (!open_)
        return;
    if (state_ == psStls || state_ == psHandshake)
        EndInClear(TlsFailure::Handshake);
    else
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
    asked_ = mailNo;
    lastAsked_ = mailNo;
    std::optional<MailSummary> known;
    if (Known(mailNo, known)) {
        Answer(known);
        return true;
    }
    bool sent = true;
    const bool inFlight = std::any_of(outstanding_.begin(), outstanding_.end(),
                                      [&](const Command& c) { return c.mailNo == mailNo; });
    // Past a QUIT sent ahead nothing more can be asked.
    if (quitAhead_ && !inFlight) {
        Answer(std::nullopt);
        return true;
    }
    StartTimeOut();
    if (!inFlight)
        sent = Fetch(mailNo);
    FetchAhead();
    return sent;
}

bool Pop3Session::Quit() {
    if (!open_)
        return false;
    // On the way to TLS not even QUIT goes out in clear text.
    if (state_ == psStls || state_ == psHandshake) {
        EndInClear(TlsFailure::Handshake);
        return true;
    }
    state_ = psQuit;
    asked_ = 0;
    readAhead_.clear();
    if (closedAhead_) {
        ConnectionClosed();
        return true;
    }
    if (quitRefusedAhead_) {
        Reset();
        host_.QuitRefused();
        return true;
    }
    // Waits for the answer to QUIT, or for the close after it.
    StartTimeOut();
    if (quitAhead_)
        return true;
    quitAcknowledged_ = false;
    return host_.SendLine("QUIT");
}

bool Pop3Session::Known(int mailNo, std::optional<MailSummary>& summary) {
    if (const auto ahead = readAhead_.find(mailNo); ahead != readAhead_.end()) {
        summary = ahead->second;
        readAhead_.erase(ahead);
        return true;
    }
    const ListedMessage* listed = Listed(mailNo);
    const MailSummary* cached = listed && cache_ ? cache_->Find(account_, *listed) : nullptr;
    if (cached)
        summary = *cached;
    return cached != nullptr;
}

const ListedMessage* Pop3Session::Listed(int mailNo) const {
    if (mailNo < 1 || static_cast<size_t>(mailNo) > listed_.size())
        return nullptr;
    return &listed_[static_cast<size_t>(mailNo - 1)];
}

std::string Pop3Session::FetchCommand(int mailNo) const {
    const std::string number = std::to_string(mailNo);
    return useTop_ ? "TOP " + number + " 0" : "RETR " + number;
}

bool Pop3Session::Fetch(int mailNo) {
    const std::string line = FetchCommand(mailNo);
    outstanding_.push_back(Command{mailNo, useTop_, line.size() + kLineEnd.size()});
    outstandingBytes_ += outstanding_.back().bytes;
    return host_.SendLine(line);
}

// With pipelining the messages after the one asked for are requested before the
// owner asks, a window at a time.
void Pop3Session::FetchAhead() {
    if (!offersPipelining_ || state_ == psQuit)
        return;
    const int last = std::min(count_, static_cast<int>(SummaryCache::kMaxPerAccount));
    nextAhead_ = std::max(nextAhead_, lastAsked_ + 1);
    const bool wasIdle = outstanding_.empty();
    for (; nextAhead_ <= last; ++nextAhead_) {
        const ListedMessage* listed = Listed(nextAhead_);
        if (readAhead_.count(nextAhead_) || (listed && cache_ && cache_->Find(account_, *listed)))
            continue;
        if (outstandingBytes_ + FetchCommand(nextAhead_).size() + kLineEnd.size() >
            kMaxOutstandingBytes)
            break;
        Fetch(nextAhead_);
    }
    // Every message left to ask for is known or on its way: QUIT shares their
    // round trip. (Of a mailbox beyond what a check reads, or one whose count was
    // not read, the owner may ask for more.) TOP is used here only because CAPA
    // offered it, so no refused TOP has to be asked again by RETR behind the
    // QUIT; it is answered as refused.
    if (nextAhead_ > last && last == count_ && host_.HandlesConnect() && !quitAhead_) {
        quitAhead_ = true;
        Send("QUIT");
    }
    if (wasIdle && (!outstanding_.empty() || AwaitingQuitAhead()))
        StartTimeOut();
}

void Pop3Session::ProcessReply(bool ended) {
    if (!ended) {
        if (received_.Size() <= (statusLineDone_ ? kMaxMessage : kMaxLineReply))
            return;
        // A multi-line reply that never ends; an endless line is no answer
        // and counts as a refusal.
        if (statusLineDone_ || (Expected() != Expect::Line && received_.StartsWith(kPositive))) {
            TimedOut();
            return;
        }
    }
    StopTimeOut();
    const bool positive = ended && received_.StartsWith(kPositive);
    if (!outstanding_.empty()) {
        MailReplied(positive);
        return;
    }
    if (AwaitingQuitAhead() && state_ != psQuit) {
        QuitAheadReplied(positive);
        return;
    }
    // The replies to a login sent ahead of a refusal say nothing more.
    if (Draining()) {
        ClearReply();
        due_.pop_front();
        StartTimeOut(Draining() || state_ != psRejected ? Pop3SessionHost::Wait::Reply
                                                        : Pop3SessionHost::Wait::RejectedLine);
        return;
    }

    switch (state_) {
    case psGreeting:
        positive ? Continue(psCapa, "CAPA") : Refuse(peConnect);
        break;
    case psCapa:
        CapaReplied(positive);
        break;
    case psStls:
        StlsReplied(positive);
        break;
    case psAuth:
        AuthReplied(positive);
        break;
    case psUser:
        positive ? Continue(psPass, "PASS " + password_) : Reject(peUser);
        break;
    case psPass:
        positive ? Continue(psStat, "STAT") : Reject(pePass);
        break;
    case psStat:
        positive ? StatReplied() : RefuseStat();
        break;
    case psUidl:
        UidlReplied(positive);
        break;
    case psList:
        ListReplied(positive);
        break;
    case psQuit:
        ClearReply();
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
        ClearReply();
        Quit();
        break;
    case psRetrieve: // after a refused message: nothing is awaited
    case psReady:
    case psHandshake:
        ClearReply();
        break;
    }
}

void Pop3Session::CapaReplied(bool positive) {
    capaAnswered_ = positive;
    // Without CAPA, TOP is tried on the first message.
    useTop_ = !positive;
    bool offersStls = false;
    if (positive) {
        ForEachLine(received_.Head(), [&](std::string_view line) {
            useTop_ = useTop_ || StartsWithWord(line, "TOP");
            offersUidl_ = offersUidl_ || StartsWithWord(line, "UIDL");
            offersPipelining_ = offersPipelining_ || StartsWithWord(line, "PIPELINING");
            offersStls = offersStls || StartsWithWord(line, "STLS");
            if (StartsWithWord(line.substr(0, 4), "SASL")) {
                for (std::string_view rest = line.substr(4); !rest.empty();) {
                    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
                    const std::string_view word = rest.substr(0, rest.find(' '));
                    offersOAuthBearer_ = offersOAuthBearer_ || StartsWithWord(word, "OAUTHBEARER");
                    offersXOAuth2_ = offersXOAuth2_ || StartsWithWord(word, "XOAUTH2");
                    rest.remove_prefix(word.size());
                }
            }
            return line != ".";
        });
    }
    if (tls_ != Tls::Implicit && !encrypted_) {
        if (offersStls) {
            host_.TlsOffered();
            // Alone: nothing may follow it in clear text.
            Continue(psStls, "STLS");
            return;
        }
        if (tls_ == Tls::Required) {
            EndInClear(TlsFailure::Downgrade);
            return;
        }
    }
    if (token_) {
        AuthWithToken();
        return;
    }
    Continue(psUser, "USER " + userID_);
    PipelineLogin();
}

void Pop3Session::AuthWithToken() {
    if (!offersOAuthBearer_ && !offersXOAuth2_) {
        host_.TokenNotOffered();
        Refuse(pePass);
        return;
    }
    mechanism_ = offersOAuthBearer_ ? TokenMechanism::OAuthBearer : TokenMechanism::XOAuth2;
    const std::string command =
        mechanism_ == TokenMechanism::OAuthBearer ? "AUTH OAUTHBEARER" : "AUTH XOAUTH2";
    std::string response =
        EncodeBase64(TokenResponse(mechanism_, userID_, tokenHost_, tokenPort_, password_));
    // The initial response only where the whole line fits in 255 octets (RFC 5034, 4).
    if (command.size() + 1 + response.size() + 2 <= 255) {
        Continue(psAuth, command + ' ' + response);
        return;
    }
    tokenResponse_ = std::move(response);
    Continue(psAuth, command);
}

void Pop3Session::AuthReplied(bool positive) {
    if (positive) {
        Continue(psStat, "STAT");
        return;
    }
    const std::string_view line = received_.Head();
    // The server cannot ask about tokens for now (RFC 3206): not this token's fault.
    if (line.starts_with("-ERR [SYS/TEMP]")) {
        Reject(peConnect);
        return;
    }
    if (!line.starts_with("+ ") && !line.starts_with("+\r")) {
        host_.TokenRefused(tokenStatus_.value_or(std::string()));
        Reject(pePass);
        return;
    }
    std::string_view challenge = line.substr(1, line.find('\r') - 1);
    challenge.remove_prefix(std::min(challenge.find_first_not_of(' '), challenge.size()));
    std::string answer;
    if (!tokenResponse_.empty()) {
        answer = std::exchange(tokenResponse_, {});
    } else if (!tokenStatus_) {
        // The refusal's reason (RFC 7628, 3.2.2), then the answer that lets the
        // server end the exchange with its -ERR.
        tokenStatus_ = TokenRefusalStatus(DecodeBase64(challenge));
        answer = EncodeBase64(AbortResponse(mechanism_));
    } else {
        answer = "*"; // a second challenge: the exchange is cancelled
    }
    Await(psAuth);
    Send(answer);
}

void Pop3Session::StlsReplied(bool positive) {
    if (!positive) {
        EndInClear(TlsFailure::Handshake);
        return;
    }
    // The handshake counts as a reply: it has the reply time-out.
    Await(psHandshake);
    host_.StartTls();
}

void Pop3Session::TlsStarted() {
    if (!open_ || state_ != psHandshake)
        return;
    encrypted_ = true;
    // What the server offered in clear text may have been forged on the way.
    capaAnswered_ = offersUidl_ = offersPipelining_ = useTop_ = false;
    offersOAuthBearer_ = offersXOAuth2_ = false;
    Continue(psCapa, "CAPA");
}

// A failed or refused upgrade: not a word more in clear text, not even QUIT.
void Pop3Session::EndInClear(TlsFailure failure) {
    host_.TlsFailed(failure);
    errorNo_ = peConnect;
    ConnectionClosed();
}

// A pipelining server gets the rest of the login, STAT, UIDL and LIST in the
// write of USER: one round trip instead of four.
void Pop3Session::PipelineLogin() {
    if (!offersPipelining_)
        return;
    due_ = {psPass, psStat};
    Send("PASS " + password_);
    Send("STAT");
    if (cache_) {
        due_.insert(due_.end(), {psUidl, psList});
        Send("UIDL");
        Send("LIST");
    }
}

void Pop3Session::StatReplied() {
    counted_ = true;
    int count = 0;
    const bool readable = ReadMailCount(received_.Head(), count);
    if (host_.HandlesConnect() && !readable) {
        RefuseStat();
        return;
    }
    count_ = readable ? count : 0;
    if (!due_.empty()) {
        Continue(psUidl, "UIDL");
        return;
    }
    // A server without CAPA may still know UIDL: one try costs one line.
    if (cache_ && count_ > 0 && (offersUidl_ || !capaAnswered_)) {
        Continue(psUidl, "UIDL");
        return;
    }
    Ready();
}

void Pop3Session::UidlReplied(bool positive) {
    listed_.clear();
    if (positive && errorNo_ == 0)
        listed_ = ReadUniqueIds(received_.Head(), received_.Size() == received_.Head().size(),
                                count_, std::min<size_t>(count_, SummaryCache::kMaxPerAccount));
    // Pipelined, LIST went out with UIDL; otherwise its round trip is worth it
    // only for ids to go with.
    if (!due_.empty() || !listed_.empty()) {
        Continue(psList, "LIST");
        return;
    }
    ListingsRead();
}

void Pop3Session::ListReplied(bool positive) {
    if (!positive ||
        !ReadSizes(received_.Head(), received_.Size() == received_.Head().size(), count_, listed_))
        listed_.clear();
    ListingsRead();
}

void Pop3Session::ListingsRead() {
    // STAT failed while UIDL and LIST were on their way: only now can QUIT follow.
    if (errorNo_ != 0) {
        Refuse(errorNo_);
        return;
    }
    // Listings that do not fit STAT's count are not trusted: every message is
    // read as if there were no ids.
    if (!listed_.empty())
        cache_->Keep(account_, listed_);
    state_ = psStat;
    Ready();
}

void Pop3Session::Ready() {
    if (host_.HandlesConnect()) {
        const uint64_t serial = serial_;
        host_.Connected(count_);
        // The handler may have let this session end, and another begin.
        if (serial != serial_)
            return;
    }
    // Only now is the session ready: Retr from inside the handler is refused.
    ClearReply();
    state_ = psReady;
}

void Pop3Session::MailReplied(bool positive) {
    const Command command = outstanding_.front();
    outstanding_.pop_front();
    outstandingBytes_ -= command.bytes;
    if (!positive && command.top && state_ != psQuit && !quitAhead_) {
        // Not every server has TOP, whatever it says: RETR has to do.
        ClearReply();
        useTop_ = false;
        StartTimeOut();
        Fetch(command.mailNo);
        return;
    }
    std::optional<MailSummary> summary;
    if (positive) {
        static const DayNames& system = SystemDayNames();
        summary = ExtractMailInformation(MessageHeader(received_.Head()),
                                         dayNames_ ? *dayNames_ : system);
        if (const ListedMessage* listed = Listed(command.mailNo); listed && cache_)
            cache_->Store(account_, *listed, *summary);
    }
    ClearReply();
    if (!outstanding_.empty() || state_ == psQuit || AwaitingQuitAhead())
        StartTimeOut();
    if (state_ == psQuit)
        return;
    if (state_ == psRetrieve && command.mailNo == asked_) {
        Answer(summary);
        return;
    }
    readAhead_[command.mailNo] = summary;
    FetchAhead();
}

void Pop3Session::QuitAheadReplied(bool positive) {
    ClearReply();
    // Nothing is awaited until the owner quits; the session limit still holds.
    if (positive)
        quitAcknowledged_ = true;
    else
        quitRefusedAhead_ = true;
}

void Pop3Session::Answer(const std::optional<MailSummary>& summary) {
    const int mailNo = std::exchange(asked_, 0);
    if (!summary) {
        // The session stays open in this state; the owner ends it with Quit.
        host_.Failed(peRetrieve);
        return;
    }
    state_ = psReady;
    FetchAhead();
    // Servers that make ids of message numbers give a new message an old id:
    // the size tells most of them apart, as in the cache.
    const ListedMessage* listed = Listed(mailNo);
    host_.MailInformation(*summary, listed ? listed->UniqueId + ' ' + std::to_string(listed->Size)
                                           : std::string());
}

void Pop3Session::Await(State next) {
    ClearReply();
    state_ = next;
    StartTimeOut();
}

// Sends the command of the next step, unless it went out ahead.
void Pop3Session::Continue(State next, const std::string& command) {
    Await(next);
    if (!due_.empty() && due_.front() == next)
        due_.pop_front();
    else
        Send(command);
}

void Pop3Session::RefuseStat() {
    if (due_.empty()) {
        Refuse(peStat);
        return;
    }
    // QUIT can follow only once the UIDL sent ahead is answered.
    errorNo_ = peStat;
    Continue(psUidl, "UIDL");
}

// A refused greeting or STAT: say goodbye; the error is reported at the close.
void Pop3Session::Refuse(uint8_t errorNo) {
    ClearReply();
    errorNo_ = errorNo;
    Quit();
}

// A refused USER or PASS: wait for the line some servers add before saying
// goodbye, but only briefly.
void Pop3Session::Reject(uint8_t errorNo) {
    errorNo_ = errorNo;
    ClearReply();
    state_ = psRejected;
    StartTimeOut(Draining() ? Pop3SessionHost::Wait::Reply : Pop3SessionHost::Wait::RejectedLine);
}

} // namespace pim
