#include "jpegfile/QuantTables.h"

#include <algorithm>
#include <cstdlib>

namespace tessaly {
namespace {

// Where each step of a table, as a file lists them in zigzag order, lies row by row.
constexpr std::array<std::uint8_t, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The luminance table of the JPEG standard's example, which quality 50 uses as it is.
constexpr QuantTable kStandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

} // namespace

std::optional<QuantTable> QuantTableIn(std::span<const std::uint8_t> dqt, int slot) {
    while (!dqt.empty()) {
        const int precision = dqt[0] >> 4; // 0: steps of one byte, 1: of two
        const std::size_t size = 1 + 64 * (precision == 0 ? 1 : 2);
        if (precision > 1 || dqt.size() < size)
            return std::nullopt;
        if ((dqt[0] & 0x0F) == slot) {
            QuantTable table{};
            for (std::size_t i = 0; i < 64; ++i)
                table[kZigzagToNatural[i]] =
                    precision == 0
                        ? dqt[1 + i]
                        : static_cast<std::uint16_t>(dqt[1 + 2 * i] << 8 | dqt[2 + 2 * i]);
            return table;
        }
        dqt = dqt.subspan(size);
    }
    return std::nullopt;
}

QuantTable ScaledLuminanceTable(int quality) {
    quality = std::clamp(quality, 1, 100);
    const long scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    QuantTable table{};
    for (std::size_t i = 0; i < 64; ++i)
        table[i] = static_cast<std::uint16_t>(
            std::clamp((kStandardLuminance[i] * scale + 50) / 100, 1L, 255L));
    return table;
}

int EstimateQuality(const QuantTable& luminance) {
    int best = 1;
    long bestDistance = -1;
    for (int quality = 1; quality <= 100; ++quality) {
        const QuantTable scaled = ScaledLuminanceTable(quality);
        long distance = 0;
        for (std::size_t i = 0; i < 64; ++i)
            distance += std::labs(long{luminance[i]} - long{scaled[i]});
        if (bestDistance < 0 || distance < bestDistance) {
            best = quality;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace tessaly
