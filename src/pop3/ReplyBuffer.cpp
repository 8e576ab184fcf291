#include "pop3/ReplyBuffer.h"

namespace pim {

void ReplyBuffer::Append(std::string_view chunk) {
    size_ += chunk.size();
    if (head_.size() < headLimit_)
        head_.append(chunk.substr(0, headLimit_ - head_.size()));
}

void ReplyBuffer::Clear() {
    size_ = 0;
    head_.clear();
}

bool ReplyBuffer::StartsWith(std::string_view prefix) const {
    return std::string_view(head_).substr(0, prefix.size()) == prefix;
}

} // namespace pim
