// Cuts the bytes an IMAP server sends into whole responses, whatever the size
// of the chunks they come in: untagged ("* ..."), continuation ("+ ...") and
// tagged ("a3 OK ..."), each with the literals it carries. Whatever the server
// sends, one response holds at most kMaxText bytes of text and kMaxLiterals
// bytes of literals, and each byte is looked at once.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pim {

// A whole decimal number of IMAP's (a count, a UID, a UIDVALIDITY), nothing around it.
template <typename Number>
bool ReadNumber(std::string_view text, Number& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

class ImapResponseReader {
public:
    // The text of one response, its literals left out; more ends the session.
    static constexpr size_t kMaxText = 64 * 1024;
    // Literal bytes kept of one response; a literal beyond them is skipped.
    static constexpr size_t kMaxLiterals = 64 * 1024;
    // Of a "* SEARCH" the highest this many numbers are kept, the rest counted.
    static constexpr size_t kSearchKept = 255;

    enum class Kind : uint8_t { Untagged, Continuation, Tagged };

    struct Literal {
        size_t at = 0; // where the response's text continues after its "{n}"
        std::string bytes;
        bool cut = false; // skipped: too large
    };
    // A search's numbers are read as they come: thousands of them fit no line.
    struct Search {
        uint64_t count = 0;
        std::set<uint32_t> highest;
        bool malformed = false; // a word that is no number from 1 to 2^32-1
    };
    // The items of "n FETCH (...)" that matter to a check.
    struct FetchItems {
        uint32_t number = 0;
        uint32_t uid = 0; // none
        bool hasHeader = false;
        std::string header;
        bool cut = false;
        std::optional<bool> seen; // FLAGS given: whether \Seen is among them
        bool closed = false;      // the list ends where the response does
    };

    // Takes bytes of `chunk` up to the end of one response; returns how many.
    size_t Read(std::string_view chunk);
    bool Complete() const { return phase_ == Phase::Complete; }
    // The text grew beyond kMaxText: nothing more can be read.
    bool Overflowed() const { return phase_ == Phase::Overflow; }
    // The response, complete or not, holds more than is kept of it: a literal
    // skipped, or more bytes than text and literals together.
    bool BeyondBounds() const { return cut_ || bytes_ > kMaxText + kMaxLiterals; }
    // Drops the response read (or the part of one) and starts on the next.
    void Clear();

    // Of the complete response:
    Kind ResponseKind() const;
    std::string_view Tag() const;
    // What follows "* ", "+ " or the tag and its space.
    std::string_view Text() const;
    // Where Text() starts in the response (literals count their place from there).
    size_t TextStart() const { return text_.find(' ') + 1; }
    const std::vector<Literal>& Literals() const { return literals_; }
    // Set only for "* SEARCH ..."; then Text() is "SEARCH".
    const Search* SearchResult() const { return searching_ ? &search_ : nullptr; }
    // Of "n FETCH (...)": false unless every item up to the end of the list could be read.
    bool ReadFetch(FetchItems& items) const;

private:
    enum class Phase : uint8_t { Line, Literal, Search, Complete, Overflow };
    void LineEnded();
    size_t ReadNumbers(std::string_view chunk);
    void EndNumber();

    Phase phase_ = Phase::Line;
    std::string text_;
    size_t lineStart_ = 0;
    std::vector<Literal> literals_;
    size_t literalBytes_ = 0;
    uint64_t literalLeft_ = 0;
    uint64_t bytes_ = 0;
    bool cut_ = false;
    bool searching_ = false;
    Search search_;
    uint64_t number_ = 0;
    bool inWord_ = false, badWord_ = false;
};

} // namespace pim
