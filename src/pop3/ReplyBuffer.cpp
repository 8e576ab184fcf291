#include "pop3/ReplyBuffer.h"

namespace pim {

void ReplyBuffer::Append(std::string_view chunk) {
    size_ += chunk.size();
    if (head_.size() < headLimit_)
        head_.append(chunk.substr(0, headLimit_ - head_.size()));
    if (chunk.size() >= kTailBytes) {
        tail_.assign(chunk.substr(chunk.size() - kTailBytes));
    } else {
        tail_.append(chunk);
        if (tail_.size() > kTailBytes)
            tail_.erase(0, tail_.size() - kTailBytes);
    }
}

void ReplyBuffer::Clear() {
    size_ = 0;
    head_.clear();
    tail_.clear();
}

bool ReplyBuffer::StartsWith(std::string_view prefix) const {
    return std::string_view(head_).substr(0, prefix.size()) == prefix;
}

bool ReplyBuffer::EndsWith(std::string_view suffix) const {
    return tail_.size() >= suffix.size() &&
           std::string_view(tail_).substr(tail_.size() - suffix.size()) == suffix;
}

} // namespace pim
