#include "base/PercentEncode.h"

namespace tessaly {

std::string PercentEncode(std::string_view bytes, std::string_view keptPunctuation) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool kept = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                          (byte >= '0' && byte <= '9') ||
                          (byte != 0 && keptPunctuation.find(c) != std::string_view::npos);
        if (kept) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHex[byte >> 4];
            encoded += kHex[byte & 15];
        }
    }
    return encoded;
}

} // namespace tessaly
