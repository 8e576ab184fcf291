#include "imap/ImapSession.h"

#include "common/Cp932.h"
#include "mail/Credentials.h"
#include "mail/HeaderDecoding.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <utility>

namespace pim {

namespace {

using FetchItems = ImapResponseReader::FetchItems;

constexpr std::string_view kLineEnd = "\r\n";
// A longer non-synchronising literal is not allowed with LITERAL- (RFC 7888).
constexpr size_t kMaxLiteralMinus = 4096;
constexpr std::string_view kHeaderFields = "BODY.PEEK[HEADER.FIELDS (DATE FROM SUBJECT RECEIVED)]";

static_assert(ImapResponseReader::kSearchKept == static_cast<size_t>(ImapSession::kMaxMails));

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == y; });
}

std::string_view FirstWord(std::string_view text) {
    return text.substr(0, text.find(' '));
}

std::string_view AfterWord(std::string_view text) {
    const size_t space = text.find(' ');
    return space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
}

// "OK [CODE ...] text" -> "CODE ..."
std::string_view ResponseCode(std::string_view text) {
    text = AfterWord(text);
    const size_t close = text.find(']');
    if (!text.starts_with('[') || close == std::string_view::npos)
        return {};
    return text.substr(1, close - 1);
}

// A quoted string holds neither line ends nor NUL nor 8-bit bytes (RFC 3501, 9).
bool NeedsLiteral(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        return c == '\r' || c == '\n' || c == '\0' || static_cast<uint8_t>(c) >= 0x80;
    });
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text)
        (c == '"' || c == '\\' ? out += '\\' : out) += c;
    return out + '"';
}

} // namespace

ImapReason ImapSession::CredentialsProblem(std::string_view userID, std::string_view password) {
    // A literal carries line ends; nothing carries a NUL (RFC 3501, 4.3).
    switch (CheckCredentials(MailProtocol::Imap, userID, password)) {
    case CredentialFault::None:
        break;
    case CredentialFault::ControlCharacter:
        return ImapReason::Unsendable;
    case CredentialFault::TooLong:
        return ImapReason::TooLong;
    }
    return ImapReason::None;
}

// Built with PIM_TRACE_IMAP, each change is written out by name.
void ImapSession::Enter(State state) {
#ifdef PIM_TRACE_IMAP
    static constexpr const char* kNames[] = {
        "Off",    "Greeting",       "Capability",     "StartTls", "Handshake",   "Login",
        "Search", "Fetch",          "FetchLogout",    "Ready",    "ReadyLogout", "Served",
        "Idle",   "IdleThenSearch", "IdleThenLogout", "Idling",   "Peek",        "PeekThenCheck",
        "Logout", "LeftFetch",      "Left",           "Closing"};
    static_assert(std::size(kNames) == static_cast<size_t>(State::Closing) + 1);
    std::fprintf(stderr, "IMAP %s -> %s\n", kNames[static_cast<size_t>(state_)],
                 kNames[static_cast<size_t>(state)]);
#endif
    state_ = state;
}

void ImapSession::Begin(const std::string& userID, const std::string& password,
                        const std::string& server, Tls tls) {
    Reset();
    Enter(State::Greeting);
    tls_ = tls;
    // Servers take UTF-8 (RFC 4616 for PLAIN, and LOGIN in practice).
    if ((credentials_ = CredentialsProblem(userID, password)) == ImapReason::None) {
        userID_ = cp932::ToUtf8(userID);
        password_ = cp932::ToUtf8(password);
    }
    // Never one with POP3's summaries of the same server and user.
    account_ = "imap:" + SummaryCache::AccountKey(server, userID);
    host_.StartSessionTimer();
    UpdateTimer();
}

void ImapSession::BeginWithToken(const std::string& userID, const std::string& token,
                                 const std::string& server, Tls tls, const std::string& host,
                                 int port) {
    Begin(userID, token, server, tls);
    token_ = true;
    tokenHost_ = host;
    tokenPort_ = port;
}

void ImapSession::Reset() {
    ++serial_;
    StopTimeOut();
    if (state_ != State::Off) {
        host_.StopSessionTimer();
        host_.CloseConnection();
    }
    Enter(State::Off);
    reader_.Clear();
    encrypted_ = false;
    errorNo_ = capabilities_ = 0;
    reason_ = credentials_ = ImapReason::None;
    userID_.clear();
    password_.clear();
    token_ = false;
    tokenHost_.clear();
    tokenStatus_.reset();
    account_.clear();
    nextTag_ = 0;
    pending_.clear();
    flight_.clear();
    flightSent_ = 0;
    uidValidity_ = 0;
    examined_ = validityChanged_ = false;
    exists_.reset();
    seen_.clear();
    alert_.clear();
    heldAlerts_.clear();
    unseen_ = count_ = 0;
    highest_.clear();
    searchMalformed_ = renewal_ = false;
    window_.clear();
    summaries_.clear();
    searchedValidity_ = peekFirst_ = 0;
    peeked_.clear();
    peekSpoiled_ = false;
    news_ = News::None;
}

void ImapSession::Receive(std::string_view chunk) {
    // Text in clear after the OK to STARTTLS may come from anyone on the way;
    // after the goodbye nothing is asked for.
    if (state_ == State::Off || state_ == State::Handshake || state_ == State::Closing ||
        state_ == State::Served)
        return;
    const uint64_t serial = serial_;
    // The time-out measures silence; the session's bound ends a flood.
    if (timerRunning_)
        StartTimeOut();
    while (!chunk.empty() && serial == serial_) {
        chunk.remove_prefix(reader_.Read(chunk));
        // While idling no timer bounds a response: its size must.
        const bool untimed =
            (state_ >= State::Idle && state_ <= State::Idling) || state_ >= State::Logout;
        if (reader_.Overflowed() || (untimed && reader_.BeyondBounds())) {
            // A line without end says no more than silence does.
            Finish(errorNo_ != 0 ? errorNo_ : uint8_t{ieTimeOut});
            return;
        }
        if (!reader_.Complete())
            break;
        Respond();
        if (serial == serial_)
            reader_.Clear();
    }
    if (serial == serial_)
        UpdateTimer();
}

void ImapSession::Respond() {
    const std::string_view text = reader_.Text();
    if (reader_.ResponseKind() != ImapResponseReader::Kind::Continuation &&
        SameLetters(ResponseCode(text), "ALERT")) {
        const uint64_t serial = serial_;
        Alerted(text);
        if (serial != serial_)
            return;
    }
    switch (reader_.ResponseKind()) {
    case ImapResponseReader::Kind::Untagged:
        state_ == State::Greeting ? Greeted(text) : Untagged(text);
        return;
    case ImapResponseReader::Kind::Continuation:
        Continued(text);
        return;
    case ImapResponseReader::Kind::Tagged:
        state_ == State::Greeting ? Finish(ieConnect) : Completed(text);
        return;
    }
}

void ImapSession::Greeted(std::string_view text) {
    const std::string_view status = FirstWord(text);
    if (SameLetters(status, "OK")) {
        const std::string_view code = ResponseCode(text);
        if (SameLetters(FirstWord(code), "CAPABILITY")) {
            AddCapabilities(code);
            CapabilitiesKnown();
            return;
        }
        Enter(State::Capability);
        host_.Send(Tagged(Command::Capability, "CAPABILITY"));
    } else if (SameLetters(status, "PREAUTH")) {
        // Logged in without a word: nobody can tell that the line was not forged.
        if (tls_ == Tls::Required) {
            EndInClear(TlsFailure::Downgrade);
            return;
        }
        if (!TellHeldAlerts())
            return;
        Enter(State::Search);
        flight_.assign(1, std::string());
        SendFlight();
    } else {
        Finish(ieConnect);
    }
}

// The session goes on, or ends, in clear: what was said in clear can be told.
bool ImapSession::TellHeldAlerts() {
    const uint64_t serial = serial_;
    for (const std::string& alert : std::exchange(heldAlerts_, {})) {
        host_.Alert(alert);
        if (serial != serial_)
            return false;
    }
    return true;
}

// Untagged data counts only while the command it answers runs.
void ImapSession::Untagged(std::string_view text) {
    if (Waits(Command::Capability) && SameLetters(FirstWord(text), "CAPABILITY")) {
        AddCapabilities(text);
    } else if (SameLetters(FirstWord(text), "OK")) {
        // The mailbox stays selected between checks: it may change meanwhile.
        const std::string_view code = ResponseCode(text);
        if (SameLetters(FirstWord(code), "UIDVALIDITY"))
            Validity(AfterWord(code));
        else if (Waits(Command::Capability) && SameLetters(FirstWord(code), "CAPABILITY"))
            AddCapabilities(code);
    } else if (const auto* search = reader_.SearchResult(); search) {
        // Servers may split the answer over several lines: each counts (a
        // UID named twice is bounded by EXISTS after the search).
        if (!Waits(Command::Search))
            return;
        unseen_ += search->count;
        searchMalformed_ = searchMalformed_ || search->malformed;
        highest_.insert(search->highest.begin(), search->highest.end());
        while (highest_.size() > static_cast<size_t>(kMaxMails))
            highest_.erase(highest_.begin());
    } else if (Watching() && SameLetters(FirstWord(text), "BYE")) {
        // The host reconnects as after any lost connection.
        Finish(ieConnect);
    } else {
        Changed(text);
    }
}

void ImapSession::AddCapabilities(std::string_view list) {
    static constexpr std::pair<std::string_view, uint16_t> kKnown[] = {
        {"STARTTLS", capStartTls},
        {"LOGINDISABLED", capLoginDisabled},
        {"AUTH=PLAIN", capAuthPlain},
        {"AUTH=OAUTHBEARER", capAuthOAuthBearer},
        {"AUTH=XOAUTH2", capAuthXOAuth2},
        {"SASL-IR", capSaslIr},
        {"LITERAL+", capLiteralPlus},
        {"LITERAL-", capLiteralMinus},
        {"IDLE", capIdle}};
    for (; !list.empty(); list = AfterWord(list))
        for (const auto& [name, bit] : kKnown)
            if (SameLetters(FirstWord(list), name))
                capabilities_ |= bit;
}

bool ImapSession::Waits(Command command) const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const Pending& p) { return p.command == command; });
}

// Shown as it came, but as one line of the user's charset, and not twice.
void ImapSession::Alerted(std::string_view text) {
    text = AfterWord(text);
    text.remove_prefix(std::min(text.find(']') + 1, text.size()));
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    std::string line = cp932::FromUtf8(text.substr(0, 4 * kMaxAlert));
    // No CP932 trail byte is below 0x40.
    std::replace_if(
        line.begin(), line.end(),
        [](char c) { return static_cast<uint8_t>(c) < 0x20 || c == 0x7F; }, ' ');
    line = cp932::Truncate(line, kMaxAlert);
    if (line.empty() || line == alert_)
        return;
    alert_ = line;
    // Said in clear before STARTTLS, it may be forged on the way: told only if
    // the session goes on in clear.
    if (tls_ != Tls::Implicit && !encrypted_ && state_ < State::Login) {
        if (heldAlerts_.size() < kMaxHeldAlerts)
            heldAlerts_.push_back(line);
        return;
    }
    host_.Alert(alert_);
}

// A new UIDVALIDITY makes every unique id new: the next check is due, but one
// that comes again and again is no news each time.
void ImapSession::Validity(std::string_view number) {
    uint32_t validity = 0;
    if (!ReadNumber(number, validity) || validity == 0 || validity == uidValidity_)
        return;
    const bool change = examined_ && uidValidity_ != 0;
    uidValidity_ = validity;
    if (change && !std::exchange(validityChanged_, true))
        Changed();
}

// What changes after the search is not in its count: the next check is due.
// What the server says again, or cannot have meant, changes nothing.
void ImapSession::Changed(std::string_view text) {
    uint32_t number = 0;
    if (!ReadNumber(FirstWord(text), number))
        return;
    const std::string_view what = AfterWord(text);
    bool change = false;
    if (SameLetters(what, "EXISTS")) {
        const std::optional<uint32_t> known = exists_;
        change = exists_ != number;
        exists_ = number;
        // Flags heard of before EXAMINE are of no message it counts.
        if (!examined_ || seen_.size() > number)
            seen_.resize(examined_ ? number : 0);
        if (change && known && MayPeek(*known, number)) {
            Peek(*known + 1, number);
            return;
        }
    } else if (SameLetters(what, "EXPUNGE")) {
        if (!exists_ || number == 0 || number > *exists_)
            return;
        --*exists_;
        if (number <= seen_.size())
            seen_.erase(seen_.begin() + static_cast<std::ptrdiff_t>(number - 1));
        change = true;
    } else if (SameLetters(FirstWord(what), "FETCH")) {
        change = FlagsChanged();
    }
    // What EXAMINE itself tells is where changes start from.
    if (change && examined_)
        Changed();
}

void ImapSession::Changed() {
    if (Peeking())
        peekSpoiled_ = true;
    // A flood costs one event.
    if (news_ == News::Told)
        return;
    news_ = News::Seen;
    if (state_ == State::Idling)
        Push();
}

bool ImapSession::FlagsChanged() {
    FetchItems items;
    if (!reader_.ReadFetch(items)) {
        if (Peeking())
            peekSpoiled_ = true;
        return false;
    }
    if (Peeking()) {
        if (Peeked(items))
            return false;
        // About messages the peek did not ask for: only the search can tell what they mean.
        peekSpoiled_ = true;
    }
    // A header is an answer, never a change.
    if (items.hasHeader) {
        if (Waits(Command::Fetch))
            Fetched(items.uid, std::move(items.header), items.cut);
        return false;
    }
    if (!items.seen || !items.closed || !exists_ || items.number == 0 || items.number > *exists_)
        return false;
    if (items.number > kTrackedFlags)
        return true;
    if (seen_.size() < items.number)
        seen_.resize(items.number);
    const uint8_t now = *items.seen ? 2 : 1;
    return std::exchange(seen_[items.number - 1], now) != now;
}

void ImapSession::Push() {
    news_ = News::Told;
    host_.Pushed();
}

// The server's "+": what was held back for it goes out.
void ImapSession::Continued(std::string_view text) {
    if (state_ == State::Greeting)
        Finish(ieConnect);
    else if (state_ == State::Login && !flight_.empty())
        SendFlight();
    else if (state_ == State::Login && token_ && Waits(Command::Login)) {
        // The token was refused (RFC 7628, 3.2.2): the reason, then the answer
        // that lets the server end the exchange; a second challenge is cancelled.
        const bool first = !tokenStatus_;
        if (first)
            tokenStatus_ = TokenRefusalStatus(DecodeBase64(text));
        host_.Send(first ? EncodeBase64(AbortResponse(mechanism_)) + std::string(kLineEnd)
                         : "*" + std::string(kLineEnd));
    } else if (state_ >= State::Idle && state_ < State::Idling)
        IdleBegun();
}

void ImapSession::Completed(std::string_view text) {
    const auto pending = std::find_if(pending_.begin(), pending_.end(),
                                      [&](const Pending& p) { return p.tag == reader_.Tag(); });
    if (pending == pending_.end())
        return;
    const Command command = pending->command;
    pending_.erase(pending);
    const bool ok = SameLetters(FirstWord(text), "OK");
    const std::string_view code = ResponseCode(text);
    // Logged in, a server may offer more than it did before; and some answer
    // CAPABILITY with the list in the code alone.
    if (ok && (command == Command::Login || command == Command::Capability) &&
        SameLetters(FirstWord(code), "CAPABILITY"))
        AddCapabilities(code);
    // Not the password: the server cannot check any for now (RFC 5530).
    if (!ok && command == Command::Login && SameLetters(code, "UNAVAILABLE"))
        Refuse(ieConnect, ImapReason::Unavailable);
    if (!ok && command == Command::Login && token_)
        Refuse(ieLogin, ImapReason::TokenRefused);
    switch (command) {
    case Command::Capability: // refused: as if nothing were offered
        CapabilitiesKnown();
        return;
    case Command::StartTls:
        if (!ok) {
            EndInClear(TlsFailure::Handshake);
            return;
        }
        // The handshake counts as a reply; nothing read before it counts.
        Enter(State::Handshake);
        reader_.Clear();
        ++serial_;
        host_.StartTls();
        return;
    case Command::Login:
        // An OK before the whole login was sent is no login either.
        if (!ok || !flight_.empty()) {
            flight_.clear();
            Refuse(ieLogin);
        } else if (state_ == State::Login) {
            Enter(State::Search);
            // A token's refusal comes as a challenge: nothing could go with it.
            if (token_) {
                std::string bytes = Tagged(Command::Examine, "EXAMINE INBOX");
                host_.Send(bytes += Tagged(Command::Search, "UID SEARCH UNSEEN"));
            }
        }
        break;
    case Command::Examine:
        if (!ok)
            Refuse(ieMailbox);
        examined_ = ok;
        break;
    case Command::Search:
        // Taken too when the server answers it before the login.
        if (!ok || searchMalformed_)
            Refuse(ieMailbox);
        else if (errorNo_ == 0 && (state_ == State::Login || state_ == State::Search)) {
            Searched();
            return;
        }
        break;
    case Command::Fetch:
        FetchDone();
        return;
    case Command::Peek:
        PeekDone(ok);
        return;
    case Command::Idle:
        IdleEnded(ok);
        return;
    case Command::Done:
        break;
    case Command::Logout:
        // Gone ahead: the session ends when the owner quits.
        if (state_ == State::ReadyLogout) {
            Enter(State::Served);
            return;
        }
        // Answered before the FETCH sent with it, as if the server had closed.
        if (state_ == State::FetchLogout)
            Refuse(ieMailbox);
        Finish(errorNo_);
        return;
    }
    if (errorNo_ != 0 && pending_.empty() && (state_ == State::Login || state_ == State::Search))
        SendLogout();
}

// The first refusal is what the owner learns; the answers still due are read
// and dropped, then LOGOUT.
void ImapSession::Refuse(uint8_t errorNo, ImapReason reason) {
    if (errorNo_ == 0)
        errorNo_ = errorNo, reason_ = reason;
}

void ImapSession::CapabilitiesKnown() {
    if (tls_ != Tls::Implicit && !encrypted_) {
        if (capabilities_ & capStartTls) {
            const uint64_t serial = serial_;
            host_.TlsOffered();
            if (serial != serial_)
                return;
            // Alone: nothing may follow it in clear text.
            Enter(State::StartTls);
            host_.Send(Tagged(Command::StartTls, "STARTTLS"));
            return;
        }
        if (tls_ == Tls::Required) {
            EndInClear(TlsFailure::Downgrade);
            return;
        }
    }
    LogIn();
}

// The login, EXAMINE and the search go in one write; only a synchronising
// literal or a SASL answer waits for the server's "+".
void ImapSession::LogIn() {
    if (!TellHeldAlerts())
        return;
    Enter(State::Login);
    if (token_) {
        LogInWithToken();
        return;
    }
    ImapReason refusal = credentials_;
    // Only what the server offers is used, and LOGIN is not offered then.
    if (refusal == ImapReason::None && !(capabilities_ & capAuthPlain) &&
        (capabilities_ & capLoginDisabled))
        refusal = encrypted_ || tls_ == Tls::Implicit ? ImapReason::NoMechanism
                                                      : ImapReason::LoginDisabled;
    if (refusal != ImapReason::None) {
        // Not a byte of the secret goes out.
        Refuse(ieLogin, refusal);
        SendLogout();
        return;
    }
    flight_.assign(1, std::string());
    if (capabilities_ & capAuthPlain) {
        const std::string response = EncodeBase64('\0' + userID_ + '\0' + password_);
        if (capabilities_ & capSaslIr) {
            flight_[0] = Tagged(Command::Login, "AUTHENTICATE PLAIN " + response);
        } else {
            flight_[0] = Tagged(Command::Login, "AUTHENTICATE PLAIN");
            flight_.push_back(response + std::string(kLineEnd));
        }
        SendFlight();
        return;
    }
    flight_[0] = Tagged(Command::Login, "LOGIN");
    flight_[0].resize(flight_[0].size() - kLineEnd.size());
    for (const std::string* text : {&userID_, &password_}) {
        if (!NeedsLiteral(*text)) {
            flight_.back() += ' ' + Quoted(*text);
            continue;
        }
        const bool sync = !(capabilities_ & capLiteralPlus) &&
                          !((capabilities_ & capLiteralMinus) && text->size() <= kMaxLiteralMinus);
        flight_.back() += " {" + std::to_string(text->size()) + (sync ? "}" : "+}");
        flight_.back() += kLineEnd;
        if (sync)
            flight_.emplace_back();
        flight_.back() += *text;
    }
    flight_.back() += kLineEnd;
    SendFlight();
}

void ImapSession::LogInWithToken() {
    const bool secure = encrypted_ || tls_ == Tls::Implicit;
    ImapReason refusal = credentials_;
    if (refusal == ImapReason::None && !secure)
        refusal = ImapReason::TokenNeedsTls;
    else if (refusal == ImapReason::None &&
             !(capabilities_ & (capAuthOAuthBearer | capAuthXOAuth2)))
        refusal = ImapReason::TokenNotOffered;
    if (refusal != ImapReason::None) {
        Refuse(ieLogin, refusal);
        SendLogout();
        return;
    }
    mechanism_ =
        capabilities_ & capAuthOAuthBearer ? TokenMechanism::OAuthBearer : TokenMechanism::XOAuth2;
    const std::string name = mechanism_ == TokenMechanism::OAuthBearer ? "AUTHENTICATE OAUTHBEARER"
                                                                       : "AUTHENTICATE XOAUTH2";
    const std::string response =
        EncodeBase64(TokenResponse(mechanism_, userID_, tokenHost_, tokenPort_, password_));
    flight_.assign(1, std::string());
    if (capabilities_ & capSaslIr) {
        flight_[0] = Tagged(Command::Login, name + ' ' + response);
    } else {
        flight_[0] = Tagged(Command::Login, name);
        flight_.push_back(response + std::string(kLineEnd));
    }
    SendFlight();
}

void ImapSession::SendFlight() {
    std::string bytes = std::move(flight_[flightSent_++]);
    if (flightSent_ == flight_.size()) {
        if (!token_) {
            bytes += Tagged(Command::Examine, "EXAMINE INBOX");
            bytes += Tagged(Command::Search, "UID SEARCH UNSEEN");
        }
        flight_.clear();
        flightSent_ = 0;
    }
    host_.Send(bytes);
}

std::string ImapSession::Tagged(Command command, std::string_view text) {
    // Appended, not "a" + ...: GCC 12 at -O3 warns falsely of an overlap (-Wrestrict).
    std::string tag = "a";
    tag += std::to_string(++nextTag_);
    pending_.push_back(Pending{tag, command});
    return tag + ' ' + std::string(text) + std::string(kLineEnd);
}

void ImapSession::Searched() {
    searchedValidity_ = uidValidity_;
    window_.assign(highest_.begin(), highest_.end());
    highest_.clear();
    // A UID named twice counts once: below the window's bound every one is in it.
    count_ = window_.size() < static_cast<size_t>(kMaxMails)
                 ? window_.size()
                 : std::max<uint64_t>(unseen_, window_.size());
    // More than INBOX holds: UIDs named twice. Of those it holds, the newest.
    if (exists_ && count_ > *exists_) {
        count_ = *exists_;
        if (window_.size() > count_)
            window_.erase(window_.begin(), window_.end() - static_cast<std::ptrdiff_t>(count_));
    }
    summaries_.assign(window_.size(), std::nullopt);
    if (cache_) {
        std::vector<ListedMessage> listed;
        for (size_t i = 0; i < window_.size(); ++i)
            listed.push_back(ListedMessage{UniqueId(i), 0});
        cache_->Keep(account_, listed);
        for (size_t i = 0; i < window_.size(); ++i)
            if (const MailSummary* summary = cache_->Find(account_, listed[i]))
                summaries_[i] = *summary;
    }
    // The uncached ones as ranges: "3:7,9".
    std::string set;
    for (size_t i = 0; i < window_.size(); ++i) {
        if (summaries_[i])
            continue;
        size_t last = i;
        while (last + 1 < window_.size() && !summaries_[last + 1] &&
               window_[last + 1] == window_[last] + 1)
            ++last;
        if (!set.empty())
            set += ',';
        set += std::to_string(window_[i]);
        if (last > i)
            set += ':' + std::to_string(window_[last]);
        i = last;
    }
    // Nothing more is needed of the server: LOGOUT shares the FETCH's round trip,
    // and the owner reads the summaries as they come, after the server's goodbye too.
    const bool ahead = !(keepOpen_ && IdleOffered());
    if (set.empty()) {
        if (!Report(State::Ready) || !ahead)
            return;
        Enter(State::ReadyLogout);
        host_.Send(Tagged(Command::Logout, "LOGOUT"));
        return;
    }
    std::string commands =
        Tagged(Command::Fetch, "UID FETCH " + set + " (" + std::string(kHeaderFields) + ")");
    if (ahead)
        commands += Tagged(Command::Logout, "LOGOUT");
    Enter(ahead ? State::FetchLogout : State::Fetch);
    host_.Send(commands);
}

std::string ImapSession::UniqueId(size_t index) const {
    return std::to_string(uidValidity_) + '.' + std::to_string(window_[index]);
}

void ImapSession::Fetched(uint32_t uid, std::string header, bool cut) {
    const auto found = std::lower_bound(window_.begin(), window_.end(), uid);
    if (found == window_.end() || *found != uid)
        return;
    const size_t index = static_cast<size_t>(found - window_.begin());
    if (summaries_[index])
        return;
    static const DayNames& system = SystemDayNames();
    summaries_[index] = ExtractMailInformation(header, dayNames_ ? *dayNames_ : system);
    // A header too large to keep was not read: its summary is not worth keeping.
    if (cache_ && !cut)
        cache_->Store(account_, ListedMessage{UniqueId(index), 0}, *summaries_[index]);
}

void ImapSession::FetchDone() {
    // Left meanwhile: nobody waits for the count.
    if (state_ == State::LeftFetch)
        Enter(State::Left);
    if (state_ != State::Fetch && state_ != State::FetchLogout)
        return;
    const State ready = state_ == State::Fetch ? State::Ready : State::ReadyLogout;
    // Gone since the search (no answer for it, or the server's NO): no longer there.
    size_t kept = 0;
    for (size_t i = 0; i < window_.size(); ++i) {
        if (summaries_[i] && kept++ != i) {
            window_[kept - 1] = window_[i];
            summaries_[kept - 1] = std::move(summaries_[i]);
        }
    }
    const size_t gone = window_.size() - kept;
    if (gone != 0 && count_ > window_.size()) {
        // Older ones would take their places, and they were counted, not kept.
        Enter(ready);
        host_.Failed(ieFetch);
        return;
    }
    window_.resize(kept);
    summaries_.resize(kept);
    count_ -= gone;
    Report(ready);
}

bool ImapSession::Report(State ready) {
    Enter(ready);
    const uint64_t serial = serial_;
    host_.Connected(static_cast<int>(std::min<uint64_t>(count_, INT_MAX)));
    return serial == serial_ && state_ == ready;
}

void ImapSession::Answer(size_t index) {
    // Copies: the owner may end the session from inside the event.
    const MailSummary summary = *summaries_[index];
    const std::string id = UniqueId(index);
    host_.MailInformation(summary, id);
}

void ImapSession::SendLogout(const std::string& before) {
    Enter(State::Logout);
    host_.Send(before + Tagged(Command::Logout, "LOGOUT"));
}

bool ImapSession::StartIdle(bool renewal) {
    Enter(State::Idle);
    renewal_ = renewal;
    host_.Send(Tagged(Command::Idle, "IDLE"));
    UpdateTimer();
    return true;
}

// DONE goes out only after the "+": before it, it would be read as a command.
std::string ImapSession::EndIdle() {
    for (Pending& pending : pending_)
        if (pending.command == Command::Idle)
            pending.command = Command::Done;
    return "DONE" + std::string(kLineEnd);
}

void ImapSession::IdleBegun() {
    if (state_ == State::IdleThenSearch) {
        SearchAgain(EndIdle());
        return;
    }
    if (state_ == State::IdleThenLogout) {
        SendLogout(EndIdle());
        return;
    }
    Enter(State::Idling);
    // The owner's renewal bounds the wait now, not the session's timers.
    StopTimeOut();
    host_.StopSessionTimer();
    const uint64_t serial = serial_;
    host_.Idling();
    if (serial == serial_ && state_ == State::Idling && news_ == News::Seen)
        Push();
}

// Refused, or ended by the server: a search asked for goes out without DONE.
void ImapSession::IdleEnded(bool ok) {
    const bool begun = state_ == State::Idling;
    // Refused: this connection serves no push, and says so at every check. A
    // renewal refused is a moment's refusal of a server that idled before.
    if (!ok && !begun && !renewal_)
        capabilities_ &= static_cast<uint16_t>(~capIdle);
    if (state_ == State::IdleThenSearch) {
        SearchAgain({});
        return;
    }
    // Refused, the check is over; the account is checked at its interval only.
    if (state_ == State::IdleThenLogout || (!ok && !begun)) {
        // Refused later, it leaves an owner counting on push without it: as if
        // the connection had been lost, it connects again at its pace.
        if (state_ == State::Idle && renewal_)
            Refuse(ieConnect);
        SendLogout();
        return;
    }
    // Ended by the server: the owner connects again, as after a lost connection.
    Finish(ieConnect);
}

void ImapSession::SearchAgain(const std::string& done) {
    Enter(State::Search);
    news_ = News::None;
    unseen_ = 0;
    highest_.clear();
    searchMalformed_ = false;
    host_.StartSessionTimer();
    host_.Send(done + Tagged(Command::Search, "UID SEARCH UNSEEN"));
}

// Only new messages, and nothing else since the search: their flags tell which
// of them are unseen. At most one peek until the next check (or renewal), and
// the owner paces the checks: however often the server tells, it fetches no more.
bool ImapSession::MayPeek(uint32_t known, uint32_t count) const {
    return state_ == State::Idling && news_ == News::None && examined_ && count > known &&
           count - known <= static_cast<uint32_t>(kMaxMails) && uidValidity_ == searchedValidity_ &&
           std::all_of(
               summaries_.begin(), summaries_.end(),
               [](const std::optional<MailSummary>& summary) { return summary.has_value(); });
}

// Sequence numbers, not UIDs: "UID FETCH n:*" always answers with the last message.
void ImapSession::Peek(uint32_t first, uint32_t last) {
    Enter(State::Peek);
    peekFirst_ = first;
    peeked_.assign(last - first + 1, PeekedMail{});
    peekSpoiled_ = false;
    host_.StartSessionTimer();
    const std::string set =
        std::to_string(first) + (last > first ? ':' + std::to_string(last) : std::string());
    host_.Send(EndIdle() + Tagged(Command::Peek, "FETCH " + set + " (UID FLAGS " +
                                                     std::string(kHeaderFields) + ")"));
    Push();
}

bool ImapSession::Peeked(ImapResponseReader::FetchItems& items) {
    if (items.number < peekFirst_ || items.number - peekFirst_ >= peeked_.size())
        return false;
    PeekedMail& mail = peeked_[items.number - peekFirst_];
    // Told twice, or without what was asked: the answer does not match.
    if (mail.uid != 0 || items.uid == 0 || !items.seen || !items.closed || !items.hasHeader) {
        peekSpoiled_ = true;
        return true;
    }
    mail.uid = items.uid;
    mail.seen = *items.seen;
    mail.cut = items.cut;
    static const DayNames& system = SystemDayNames();
    if (!mail.seen)
        mail.summary = ExtractMailInformation(items.header, dayNames_ ? *dayNames_ : system);
    if (items.number <= kTrackedFlags) {
        if (seen_.size() < items.number)
            seen_.resize(items.number);
        seen_[items.number - 1] = mail.seen ? 2 : 1;
    }
    return true;
}

void ImapSession::PeekDone(bool ok) {
    // Left meanwhile.
    if (!Peeking())
        return;
    peekSpoiled_ = peekSpoiled_ || !ok;
    // The push's check waits for its pace: it searches then, and IDLE tells
    // what comes meanwhile.
    if (state_ == State::Peek) {
        if (PeekTellsAll())
            StorePeeked(); // that search then needs no header
        peeked_.clear();
        StartIdle(true);
        return;
    }
    if (!PeekTellsAll()) {
        peeked_.clear();
        SearchAgain({});
        return;
    }
    AddPeeked();
}

// Every new message told once, its UID above those known and rising with its number.
bool ImapSession::PeekTellsAll() const {
    if (peekSpoiled_ || uidValidity_ != searchedValidity_)
        return false;
    uint32_t last = window_.empty() ? 0 : window_.back();
    for (const PeekedMail& mail : peeked_) {
        if (mail.uid <= last)
            return false;
        last = mail.uid;
    }
    return true;
}

// The unseen of the new messages join those the search found, as if it had
// found them too: of more than kMaxMails, the newest are kept, all counted.
void ImapSession::AddPeeked() {
    news_ = News::None;
    StorePeeked();
    for (PeekedMail& mail : peeked_) {
        if (mail.seen)
            continue;
        window_.push_back(mail.uid);
        summaries_.push_back(std::move(mail.summary));
        ++count_;
    }
    peeked_.clear();
    if (const size_t over = window_.size() - std::min(window_.size(), size_t{kMaxMails}); over) {
        window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(over));
        summaries_.erase(summaries_.begin(),
                         summaries_.begin() + static_cast<std::ptrdiff_t>(over));
    }
    if (cache_) {
        std::vector<ListedMessage> listed;
        for (size_t i = 0; i < window_.size(); ++i)
            listed.push_back(ListedMessage{UniqueId(i), 0});
        cache_->Keep(account_, listed);
    }
    Report(State::Ready);
}

void ImapSession::StorePeeked() {
    // A header too large to keep was not read: its summary is not worth keeping.
    for (const PeekedMail& mail : peeked_)
        if (cache_ && mail.summary && !mail.cut)
            cache_->Store(
                account_,
                ListedMessage{std::to_string(uidValidity_) + '.' + std::to_string(mail.uid), 0},
                *mail.summary);
}

bool ImapSession::Retr(int mailNo) {
    if (state_ < State::Ready || state_ > State::Served || mailNo < 1 ||
        static_cast<size_t>(mailNo) > window_.size())
        return false;
    const size_t index = static_cast<size_t>(mailNo - 1);
    if (summaries_[index])
        Answer(index);
    else // after a FETCH that could not be completed
        host_.Failed(ieFetch);
    return true;
}

bool ImapSession::Quit() {
    if (state_ == State::Ready && keepOpen_ && IdleOffered())
        return StartIdle(false);
    return Leave();
}

bool ImapSession::CheckAgain() {
    if (state_ == State::Idling)
        SearchAgain(EndIdle());
    else if (state_ == State::Idle || state_ == State::IdleThenSearch)
        Enter(State::IdleThenSearch);
    else if (Peeking())
        Enter(State::PeekThenCheck);
    else
        return false;
    UpdateTimer();
    return true;
}

bool ImapSession::Renew() {
    if (state_ != State::Idling)
        return false;
    Enter(State::Idle);
    renewal_ = true;
    if (news_ == News::Told)
        news_ = News::None;
    // Untagged chatter restarts the reply time-out: only this bounds the wait for the "+".
    host_.StartSessionTimer();
    // In this order: only the IDLE sent before is ended.
    std::string bytes = EndIdle();
    host_.Send(bytes + Tagged(Command::Idle, "IDLE"));
    UpdateTimer();
    return true;
}

bool ImapSession::Leave() {
    switch (state_) {
    case State::Off:
    case State::Closing:
        return false;
    case State::Idle:
    case State::IdleThenSearch:
        Enter(State::IdleThenLogout);
        return true;
    case State::Idling:
        host_.StartSessionTimer();
        SendLogout(EndIdle());
        break;
    // On the way to TLS not even LOGOUT goes out in clear text.
    case State::StartTls:
    case State::Handshake:
        EndInClear(TlsFailure::Handshake);
        return true;
    // The LOGOUT sent ahead ends the session once it is answered.
    case State::FetchLogout:
        Enter(State::LeftFetch);
        return true;
    case State::ReadyLogout:
        Enter(State::Left);
        return true;
    case State::Served:
        Finish(errorNo_);
        return true;
    case State::IdleThenLogout:
    case State::Logout:
    case State::LeftFetch:
    case State::Left:
        return true;
    default:
        // A literal or a SASL answer is awaited: LOGOUT would be read as one.
        if (!flight_.empty()) {
            Finish(errorNo_);
            return true;
        }
        SendLogout();
    }
    UpdateTimer();
    return true;
}

void ImapSession::TlsStarted() {
    if (state_ != State::Handshake)
        return;
    encrypted_ = true;
    // What the server offered in clear text may have been forged on the way.
    capabilities_ = 0;
    alert_.clear();
    heldAlerts_.clear();
    Enter(State::Capability);
    host_.Send(Tagged(Command::Capability, "CAPABILITY"));
    StartTimeOut();
}

void ImapSession::ConnectionClosed() {
    if (state_ == State::Off || state_ == State::Closing)
        return;
    if (state_ == State::StartTls || state_ == State::Handshake) {
        EndInClear(TlsFailure::Handshake);
        return;
    }
    // After the LOGOUT sent ahead and every header, a close is the server's goodbye.
    if (state_ == State::ReadyLogout || state_ == State::Served) {
        Enter(State::Served);
        return;
    }
    // A search answered before the login is no login either.
    const bool loggedIn =
        state_ >= State::Search && state_ <= State::Ready && !Waits(Command::Login);
    if (errorNo_ == 0 && state_ < State::Logout)
        errorNo_ = loggedIn ? ieMailbox : ieConnect;
    Finish(errorNo_);
}

void ImapSession::ConnectionFailed() {
    if (state_ == State::Off || state_ == State::Closing)
        return;
    // On the way to TLS the close tells why.
    if (errorNo_ == 0 && state_ != State::StartTls && state_ != State::Handshake)
        errorNo_ = ieConnect;
    ConnectionClosed();
}

void ImapSession::TimerExpired() {
    // A late one, of a wait already over, ends nothing.
    if (!timerRunning_)
        return;
    timerRunning_ = false;
    // Every header is in: a LOGOUT sent ahead and not answered ends the session
    // as if it had been.
    if (state_ == State::ReadyLogout || state_ == State::Served)
        Enter(State::Served);
    else if (state_ == State::Left)
        Finish(errorNo_);
    else
        SessionTimerExpired();
}

void ImapSession::SessionTimerExpired() {
    // Stopped while idling; one that fired before ends nothing.
    if (state_ == State::Off || state_ == State::Closing || state_ == State::Idling)
        return;
    if (state_ == State::StartTls || state_ == State::Handshake)
        EndInClear(TlsFailure::Handshake);
    else
        Finish(errorNo_ != 0 ? errorNo_ : uint8_t{ieTimeOut});
}

// A failed or refused upgrade: not a word more in clear text, not even LOGOUT.
void ImapSession::EndInClear(TlsFailure failure) {
    Enter(State::Closing);
    const uint64_t serial = serial_;
    host_.TlsFailed(failure);
    if (serial == serial_)
        Finish(ieConnect);
}

// Reported before the reset: inside the handler the session still counts as open.
void ImapSession::Finish(uint8_t errorNo) {
    // Ended before STARTTLS was asked for, the session never left clear text.
    const bool inClear = state_ == State::Greeting || state_ == State::Capability;
    if (inClear && !TellHeldAlerts())
        return;
    StopTimeOut();
    Enter(State::Closing);
    const uint64_t serial = serial_;
    if (errorNo != 0 && errorNo == errorNo_ && reason_ == ImapReason::TokenRefused)
        host_.TokenRefused(tokenStatus_.value_or(std::string()));
    if (serial == serial_ && errorNo != 0 && errorNo == errorNo_ && reason_ != ImapReason::None)
        host_.Reason(reason_);
    if (serial == serial_)
        errorNo != 0 ? host_.Failed(errorNo) : host_.Disconnected();
    if (serial == serial_)
        Reset();
}

bool ImapSession::Awaiting() const {
    return state_ != State::Off && state_ != State::Idling &&
           (state_ == State::Greeting || state_ == State::Handshake || !pending_.empty());
}

void ImapSession::UpdateTimer() {
    if (!Awaiting())
        StopTimeOut();
    else if (!timerRunning_)
        StartTimeOut();
}

void ImapSession::StartTimeOut() {
    timerRunning_ = true;
    host_.StartTimer();
}

void ImapSession::StopTimeOut() {
    if (!timerRunning_)
        return;
    timerRunning_ = false;
    host_.StopTimer();
}

} // namespace pim
