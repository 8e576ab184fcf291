#include "imap/ImapResponse.h"

#include <algorithm>
#include <charconv>

namespace pim {

namespace {

constexpr std::string_view kSearch = "* SEARCH ";

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'a' && x <= 'z' ? x - 'a' + 'A' : x) == y;
           });
}

// One value of a FETCH item: a string (quoted or literal), an atom, or a list
// skipped whole.
struct Value {
    std::string_view atom;
    std::string_view list; // with its parentheses
    std::string string;
    bool cut = false;
};

bool SkipQuoted(std::string_view text, size_t& i, std::string* out) {
    for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        if (out)
            *out += text[i];
    }
    return i++ < text.size();
}

// `skipped`: the bytes of the response before `text`.
bool ReadValue(std::string_view text, size_t& i,
               const std::vector<ImapResponseReader::Literal>& literals, size_t skipped,
               Value& value) {
    if (i >= text.size())
        return false;
    if (text[i] == '"')
        return SkipQuoted(text, i, &value.string);
    if (text[i] == '{') {
        const size_t close = text.find('}', i);
        if (close == std::string_view::npos)
            return false;
        i = close + 1;
        const auto literal = std::lower_bound(
            literals.begin(), literals.end(), skipped + i,
            [](const ImapResponseReader::Literal& l, size_t at) { return l.at < at; });
        if (literal == literals.end() || literal->at != skipped + i)
            return false;
        value.string = literal->bytes;
        value.cut = literal->cut;
        return true;
    }
    if (text[i] == '(') {
        const size_t start = i;
        for (size_t depth = 0; i < text.size();) {
            if (text[i] == '"') {
                if (!SkipQuoted(text, i, nullptr))
                    return false;
                continue;
            }
            depth += text[i] == '(';
            if (text[i++] == ')' && --depth == 0) {
                value.list = text.substr(start, i - start);
                return true;
            }
        }
        return false;
    }
    const size_t end = std::min(text.find_first_of(" )", i), text.size());
    value.atom = text.substr(i, end - i);
    i = end;
    return true;
}

bool HasSeen(std::string_view list) {
    for (size_t end = 0, start; (start = list.find_first_not_of("() ", end)) != list.npos;) {
        end = std::min(list.find_first_of("() ", start), list.size());
        if (SameLetters(list.substr(start, end - start), "\\SEEN"))
            return true;
    }
    return false;
}

// False unless every item up to the end of the list could be read.
bool ReadFetch(std::string_view text, const std::vector<ImapResponseReader::Literal>& literals,
               size_t skipped, ImapResponseReader::FetchItems& items) {
    size_t i = std::min(text.find_first_not_of("0123456789"), text.size());
    constexpr std::string_view kFetch = " FETCH (";
    if (!ReadNumber(text.substr(0, i), items.number) ||
        !SameLetters(text.substr(i, kFetch.size()), kFetch))
        return false;
    for (i += kFetch.size(); i < text.size() && text[i] != ')';) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '(' && text[i] != ')') {
            // A section names its fields inside the brackets.
            if (text[i] == '[' && (i = text.find(']', i)) == std::string_view::npos)
                return false;
            ++i;
        }
        const std::string_view name = text.substr(start, i - start);
        i += i < text.size() && text[i] == ' ';
        Value value;
        if (name.empty() || !ReadValue(text, i, literals, skipped, value))
            return false;
        if (SameLetters(name, "UID")) {
            if (!ReadNumber(value.atom, items.uid))
                items.uid = 0;
        } else if (SameLetters(name.substr(0, 5), "BODY[")) {
            items.hasHeader = true;
            items.header = std::move(value.string);
            items.cut = value.cut;
        } else if (SameLetters(name, "FLAGS")) {
            if (value.list.empty())
                return false;
            items.seen = HasSeen(value.list);
        }
    }
    items.closed = i + 1 == text.size();
    return true;
}

} // namespace

bool ImapResponseReader::ReadFetch(FetchItems& items) const {
    return pim::ReadFetch(Text(), literals_, TextStart(), items);
}

void ImapResponseReader::Clear() {
    phase_ = Phase::Line;
    text_.clear();
    lineStart_ = 0;
    literals_.clear();
    literalBytes_ = 0;
    literalLeft_ = 0;
    bytes_ = 0;
    cut_ = false;
    searching_ = false;
    search_ = {};
    number_ = 0;
    inWord_ = badWord_ = false;
}

size_t ImapResponseReader::Read(std::string_view chunk) {
    size_t used = 0;
    while (used < chunk.size() &&
           (phase_ == Phase::Line || phase_ == Phase::Literal || phase_ == Phase::Search)) {
        const std::string_view rest = chunk.substr(used);
        if (phase_ == Phase::Literal) {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(literalLeft_, rest.size()));
            if (!literals_.back().cut)
                literals_.back().bytes.append(rest.substr(0, n));
            used += n;
            if ((literalLeft_ -= n) == 0)
                phase_ = Phase::Line;
            continue;
        }
        if (phase_ == Phase::Search) {
            used += ReadNumbers(rest);
            continue;
        }
        const size_t lf = rest.find('\n');
        size_t n = std::min(lf, rest.size());
        // Up to the bytes that tell a search, which is read without keeping its text.
        const bool first = lineStart_ == 0 && text_.size() < kSearch.size();
        if (first)
            n = std::min(n, kSearch.size() - text_.size());
        if (text_.size() + n > kMaxText) {
            phase_ = Phase::Overflow;
            break;
        }
        text_.append(rest.substr(0, n));
        used += n;
        if (first && text_.size() == kSearch.size() && SameLetters(text_, kSearch)) {
            searching_ = true;
            text_ = "* SEARCH";
            phase_ = Phase::Search;
        } else if (n == lf) {
            ++used;
            LineEnded();
        }
    }
    bytes_ += used;
    return used;
}

// A line ending in "{n}" (or "{n+}") is followed by n bytes of the same response.
void ImapResponseReader::LineEnded() {
    if (text_.size() > lineStart_ && text_.back() == '\r')
        text_.pop_back();
    const std::string_view line = std::string_view(text_).substr(lineStart_);
    const size_t brace = line.rfind('{');
    if (line.size() > 2 && line.back() == '}' && brace != std::string_view::npos) {
        const size_t open = lineStart_ + brace;
        std::string_view digits(text_.data() + open + 1, text_.size() - open - 2);
        if (!digits.empty() && digits.back() == '+')
            digits.remove_suffix(1);
        uint64_t size = 0;
        const auto [end, error] = std::from_chars(digits.begin(), digits.end(), size);
        if (!digits.empty() && error == std::errc() && end == digits.end()) {
            Literal& literal = literals_.emplace_back();
            literal.at = lineStart_ = text_.size();
            literal.cut = size > kMaxLiterals - literalBytes_;
            cut_ = cut_ || literal.cut;
            if (!literal.cut)
                literalBytes_ += size;
            literalLeft_ = size;
            phase_ = size == 0 ? Phase::Line : Phase::Literal;
            return;
        }
    }
    phase_ = Phase::Complete;
}

size_t ImapResponseReader::ReadNumbers(std::string_view chunk) {
    for (size_t i = 0; i < chunk.size(); ++i) {
        const char c = chunk[i];
        if (c >= '0' && c <= '9') {
            inWord_ = true;
            number_ = std::min<uint64_t>(number_ * 10 + static_cast<uint64_t>(c - '0'),
                                         uint64_t{1} << 32);
        } else if (c == ' ' || c == '\r' || c == '\n') {
            EndNumber();
            if (c == '\n') {
                phase_ = Phase::Complete;
                return i + 1;
            }
        } else {
            inWord_ = badWord_ = true;
        }
    }
    return chunk.size();
}

void ImapResponseReader::EndNumber() {
    if (!inWord_)
        return;
    if (badWord_ || number_ == 0 || number_ > UINT32_MAX) {
        search_.malformed = true;
    } else {
        ++search_.count;
        search_.highest.insert(static_cast<uint32_t>(number_));
        if (search_.highest.size() > kSearchKept)
            search_.highest.erase(search_.highest.begin());
    }
    number_ = 0;
    inWord_ = badWord_ = false;
}

ImapResponseReader::Kind ImapResponseReader::ResponseKind() const {
    if (text_.starts_with('*'))
        return Kind::Untagged;
    return text_.starts_with('+') ? Kind::Continuation : Kind::Tagged;
}

std::string_view ImapResponseReader::Tag() const {
    const std::string_view text(text_);
    return ResponseKind() == Kind::Tagged ? text.substr(0, text.find(' ')) : std::string_view();
}

std::string_view ImapResponseReader::Text() const {
    return text_.find(' ') == std::string::npos ? std::string_view()
                                                : std::string_view(text_).substr(TextStart());
}

} // namespace pim
