#include "pop3/HeaderDecoding.h"

namespace pim {

std::string DecodeHeader(std::string_view value) {
    return std::string(value);
}
std::string DecodeBase64(std::string_view) {
    return {};
}
std::string JisToSjis(std::string_view text) {
    return std::string(text);
}
std::string JisCharToSjis(uint8_t, uint8_t) {
    return {};
}

} // namespace pim
