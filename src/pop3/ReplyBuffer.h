// The reply being received, kept in bounded memory: the first bytes (all that
// anything reads of a reply) and the last few (enough to see its end), plus the
// total size. A 50 MB message costs no more than a short one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pim {

class ReplyBuffer {
public:
    explicit ReplyBuffer(size_t headLimit) : headLimit_(headLimit) {}

    void Append(std::string_view chunk);
    void Clear();

    size_t Size() const { return size_; }
    bool Empty() const { return size_ == 0; }
    // The first min(Size(), head limit) bytes.
    std::string_view Head() const { return head_; }
    bool StartsWith(std::string_view prefix) const;
    // `suffix` may be at most kTailBytes long.
    bool EndsWith(std::string_view suffix) const;

    static constexpr size_t kTailBytes = 5; // CR LF "." CR LF

private:
    size_t headLimit_;
    size_t size_ = 0;
    std::string head_;
    std::string tail_;
};

} // namespace pim
