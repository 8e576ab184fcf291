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

} // namespace

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
