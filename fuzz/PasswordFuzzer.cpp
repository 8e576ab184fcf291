// Any text as a stored password decodes without harm; any password round-trips.
#include "common/HexKey.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string decoded = pim::DecodePassword(bytes);
    if (decoded.size() > bytes.size() / 2)
        std::abort();
    const int key = size ? 50 + data[0] % 150 : 50;
    if (pim::HexKeyDecode(pim::HexKeyEncode(bytes, key)) != bytes)
        std::abort();
    return 0;
}
