// The reply being received, kept in bounded memory: the first bytes (all that
// anything reads of a reply) and the total size; the session finds its end as
// the bytes pass. A 50 MB message costs no more than a short one.
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

private:
    size_t headLimit_;
    size_t size_ = 0;
    std::string head_;
};

} // namespace pim
