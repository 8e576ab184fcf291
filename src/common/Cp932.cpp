#include "common/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <memory>

namespace pim::cp932 {

namespace {

constexpr std::string_view kGetaUtf8 = "\xE3\x80\x93";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return cd_ != kNoConverter; }

    // Converts all of `in`. At a byte sequence that cannot be converted, `skip`
    // tells how many input bytes to drop and `replacement` is written instead.
    template <typename SkipFn>
    std::string run(std::string_view in, std::string_view replacement, SkipFn skip) {
        std::string out;
        out.reserve(in.size() * 3 / 2 + 8);
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char buffer[4096];
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        while (true) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            const size_t rc = inLeft ? iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft)
                                     : iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
            const int error = errno;
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc != static_cast<size_t>(-1)) {
                if (inLeft == 0)
                    break;
                continue;
            }
            if (error == E2BIG)
                continue;
            // EILSEQ, or EINVAL for a sequence cut off at the end of the input.
            const std::string_view rest(inPtr, inLeft);
            const size_t dropped = error == EINVAL ? inLeft : std::min<size_t>(skip(rest), inLeft);
            out.append(replacement);
            inPtr += dropped;
            inLeft -= dropped;
            // The shift state stays: in a stateful charset the text goes on in it.
            if (inLeft == 0)
                break;
        }
        return out;
    }

private:
    iconv_t cd_;
};

size_t Utf8SequenceLength(std::string_view rest) {
    const auto lead = static_cast<unsigned char>(rest[0]);
    size_t length = 1;
    if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else if (lead >= 0xE0)
        length = 3;
    else if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    // Drop only the continuation bytes that are really there.
    size_t n = 1;
    while (n < length && n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

bool IsCp932Lead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsCp932Trail(unsigned char c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

size_t Cp932SequenceLength(std::string_view rest) {
    if (rest.size() >= 2 && IsCp932Lead(static_cast<unsigned char>(rest[0])) &&
        IsCp932Trail(static_cast<unsigned char>(rest[1])))
        return 2;
    return 1;
}

Converter& ToCp932() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

Converter& FromCp932() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

} // namespace

std::string FromUtf8(std::string_view utf8) {
    return ToCp932().run(utf8, kGeta, Utf8SequenceLength);
}

std::string ToUtf8(std::string_view bytes) {
    return FromCp932().run(bytes, kGetaUtf8, Cp932SequenceLength);
}

std::string FromUnicode(QStringView text) {
    const QByteArray utf8 = text.toUtf8();
    return FromUtf8(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString ToUnicode(std::string_view bytes) {
    const std::string utf8 = ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Truncate(std::string_view text, size_t maxBytes) {
    size_t end = 0;
    while (end < text.size()) {
        const size_t length = IsCp932Lead(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + length > maxBytes)
            break;
        end += length;
    }
    return std::string(text.substr(0, std::min(end, text.size())));
}

std::optional<std::string> FromCharset(std::string_view bytes, const char* charset) {
    // Opening a converter costs far more than a short conversion, and a hostile
    // header can name many charsets: keep a few, unknown names included.
    thread_local std::map<std::string, std::unique_ptr<Converter>, std::less<>> converters;
    auto found = converters.find(std::string_view(charset));
    if (found == converters.end()) {
        if (converters.size() >= 16)
            converters.clear();
        found = converters.emplace(charset, std::make_unique<Converter>("UTF-8", charset)).first;
    }
    Converter& toUtf8 = *found->second;
    if (!toUtf8.valid())
        return std::nullopt;
    // One byte per bad spot keeps as much of a damaged text as possible.
    const std::string utf8 =
        toUtf8.run(bytes, kGetaUtf8, [](std::string_view) -> size_t { return 1; });
    return FromUtf8(utf8);
}

} // namespace pim::cp932
