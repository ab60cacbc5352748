#include "base/ShiftJis.h"

#include "base/Utf8.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>
#include <string>

namespace tessaly {
namespace {

// One iconv descriptor, opened and closed with the object.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts as much as possible; on an input sequence it cannot take, appends
    // `replacement`, skips `skipBytes` input bytes and goes on.
    std::string Convert(std::string_view in, std::string_view replacement, std::size_t skipBytes) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[256];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                // EILSEQ, or EINVAL for an incomplete sequence at the end.
                out.append(replacement);
                const std::size_t skip = std::min(skipBytes, srcLeft);
                src += skip;
                srcLeft -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return out;
    }

private:
    iconv_t cd_;
};

} // namespace

std::string SjisToUtf8(std::string_view sjis) {
    Converter conv("UTF-8", "CP932");
    return conv.Convert(sjis, "\xEF\xBF\xBD", 1);
}

std::string Utf8ToSjis(std::string_view utf8) {
    Converter conv("CP932", "UTF-8");
    std::string out;
    // Convert character by character so that an unconvertible one costs exactly one "?".
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t j = i;
        while (j < utf8.size() && static_cast<unsigned char>(utf8[j]) < 0x80)
            ++j; // a run of ASCII goes through in one piece
        if (j > i) {
            out.append(utf8.substr(i, j - i));
            i = j;
            continue;
        }
        // A byte that starts no well-formed sequence is one "?", and the bytes after it are
        // read afresh.
        const std::size_t n = Utf8SequenceLength(utf8.substr(i));
        out += n == 0 ? std::string("?") : conv.Convert(utf8.substr(i, n), "?", n);
        i += n == 0 ? 1 : n;
    }
    return out;
}

std::string Utf16UnitToSjis(char16_t unit) {
    if (unit == 0)
        return std::string(1, '\0');
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return "?";
    Converter conv("CP932", "UTF-16LE");
    const char in[2] = {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return conv.Convert(std::string_view(in, 2), "?", 2);
}

} // namespace tessaly
