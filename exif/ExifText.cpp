#include "exif/ExifText.h"

#include "base/ShiftJis.h"
#include "exif/ExifError.h"

#include <array>

namespace tessaly {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kShiftOut = 0x0E;
constexpr std::uint8_t kShiftIn = 0x0F;

// The Shift-JIS pair of the JIS X 0208 pair (c, c2), in 8-bit arithmetic as the
// conversion is usually written, so stray bytes give stray (but bounded) output.
void AppendSjisPair(std::string& out, std::uint8_t c, std::uint8_t c2) {
    const auto row = static_cast<std::uint8_t>(c - 0x21);
    std::uint8_t second;
    if (row % 2 == 1) {
        second = static_cast<std::uint8_t>(c2 + 0x7E);
    } else {
        second = static_cast<std::uint8_t>(c2 + 0x1F);
        if (second >= 0x7F && second <= 0x9D)
            ++second;
    }
    const auto half = static_cast<std::uint8_t>(row / 2);
    const auto first = static_cast<std::uint8_t>(half < 0x1F ? half + 0x81 : half + 0xC1);
    out += static_cast<char>(first);
    out += static_cast<char>(second);
}

} // namespace

std::string HexEncode(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.resize(bytes.size() * 2);
    std::size_t i = 0;
    for (const std::uint8_t b : bytes) {
        out[i++] = kDigits[b >> 4];
        out[i++] = kDigits[b & 0x0F];
    }
    return out;
}

std::vector<std::uint8_t> HexDecode(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0)
            throw ExifReadError("'" + std::string(hex.substr(i, 2)) +
                                "' is not a hexadecimal digit pair");
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

std::string HexToText(std::string_view hex) {
    std::string text;
    for (const std::uint8_t b : HexDecode(hex))
        if (b != 0)
            text += static_cast<char>(b);
    return text;
}

std::string Utf16UnitsToSjis(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::string out;
    // Units repeat a lot (spaces, zeros); convert each distinct one once.
    std::array<std::string, 256> latin{};
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1]
                                                          : (bytes[i + 1] << 8) | bytes[i]);
        if (unit < 0x80) {
            out += static_cast<char>(unit); // CP932 keeps the ASCII range as it is
        } else if (unit < 0x100) {
            std::string& cached = latin[unit];
            if (cached.empty())
                cached = Utf16UnitToSjis(unit);
            out += cached;
        } else {
            out += Utf16UnitToSjis(unit);
        }
    }
    return out;
}

std::string JisToShiftJis(std::span<const std::uint8_t> bytes) {
    std::string out;
    bool doubleByte = false;
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    auto skip = [&](std::size_t count) {
        if (n - i < count)
            return false;
        i += count;
        return true;
    };
    while (i < n) {
        std::uint8_t c = bytes[i++];
        if (c == kEsc) {
            if (i >= n)
                break;
            const std::uint8_t d = bytes[i++];
            bool mode = doubleByte;
            if (d == '$') {
                if (i >= n)
                    break;
                if (bytes[i++] == '(' && !skip(1))
                    break;
                mode = true;
            } else if (d == '&') {
                if (!skip(4))
                    break;
                mode = true;
            } else if (d == '(') {
                if (!skip(1))
                    break;
                mode = false;
            }
            if (d == '$' || d == '&' || d == '(') {
                if (i >= n)
                    break; // the sequence ends the text: it adds nothing
                c = bytes[i++];
            } else {
                c = d;
            }
            doubleByte = mode;
        }
        if (c == kShiftOut || c == kShiftIn) {
            doubleByte = c == kShiftOut;
            continue;
        }
        if (doubleByte) {
            if (i >= n)
                break; // a lone first byte at the end adds nothing
            AppendSjisPair(out, c, bytes[i++]);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace tessaly
