#include "base/Utf8.h"

#include <cstdint>

namespace tessaly {

std::size_t Utf8SequenceLength(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80)
        return 1;
    std::size_t n = 0;
    std::uint32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        n = 2, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        n = 3, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        n = 4, min = 0x10000;
    else
        return 0;
    if (s.size() < n)
        return 0;
    std::uint32_t cp = lead & (0x7Fu >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(s[k]);
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace tessaly
