#include "resample/PixelKernels.h"

#include "resample/Monochrome.h"
#include "resample/Sepia.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSALY_AVX2_LOOPS 1
#include <immintrin.h>
#endif

namespace tessaly::kernels {

void SepiaPixelsPlain(std::uint8_t* p, std::size_t count, const std::uint32_t* tones) {
    for (std::size_t i = 0; i < count; ++i, p += 3) {
        const std::uint32_t tone = tones[SepiaIndex(p[0], p[1], p[2])];
        p[0] = static_cast<std::uint8_t>(tone);
        p[1] = static_cast<std::uint8_t>(tone >> 8);
        p[2] = static_cast<std::uint8_t>(tone >> 16);
    }
}

void MonochromePixelsPlain(std::uint8_t* p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, p += 3) {
        const std::uint8_t v = MonochromeLevel(p[0], p[1], p[2]);
        p[0] = v;
        p[1] = v;
        p[2] = v;
    }
}

#ifdef TESSALY_AVX2_LOOPS
namespace {

// The vector loops take 32 pixels (96 bytes) at a time: pixels 0-15 in the low 128-bit
// lane of each register, pixels 16-31 in the high lane, so that every byte shuffle works
// on both groups at once.
constexpr std::size_t kBlock = 32;

using ByteMask = std::array<std::int8_t, 32>;

// The same 16-byte shuffle in both lanes.
constexpr ByteMask BothLanes(const std::array<std::int8_t, 16>& half) {
    ByteMask mask{};
    for (std::size_t j = 0; j < 16; ++j)
        mask[j] = mask[j + 16] = half[j];
    return mask;
}

// Picks channel `channel` of pixels 0..15 out of part `part` (16 bytes) of a 48-byte group
// (positions taken from another part are zero).
constexpr ByteMask ChannelMask(int channel, int part) {
    std::array<std::int8_t, 16> mask{};
    for (int k = 0; k < 16; ++k) {
        const int source = 3 * k + channel;
        mask[static_cast<std::size_t>(k)] =
            static_cast<std::int8_t>(source / 16 == part ? source % 16 : -1);
    }
    return BothLanes(mask);
}

// Byte j of part `part` of a 48-byte group is channel (16 part + j) % 3 of pixel
// (16 part + j) / 3; this picks it from the 16 bytes of channel `channel`.
constexpr ByteMask InterleaveMask(int channel, int part) {
    std::array<std::int8_t, 16> mask{};
    for (int j = 0; j < 16; ++j) {
        const int at = 16 * part + j;
        mask[static_cast<std::size_t>(j)] =
            static_cast<std::int8_t>(at % 3 == channel ? at / 3 : -1);
    }
    return BothLanes(mask);
}

// Spreads 16 grey levels over part `part` of a 48-byte group, each level three times.
constexpr ByteMask TripleMask(int part) {
    std::array<std::int8_t, 16> mask{};
    for (int j = 0; j < 16; ++j)
        mask[static_cast<std::size_t>(j)] = static_cast<std::int8_t>((16 * part + j) / 3);
    return BothLanes(mask);
}

constexpr ByteMask kChannelMasks[3][3] = {
    {ChannelMask(0, 0), ChannelMask(0, 1), ChannelMask(0, 2)},
    {ChannelMask(1, 0), ChannelMask(1, 1), ChannelMask(1, 2)},
    {ChannelMask(2, 0), ChannelMask(2, 1), ChannelMask(2, 2)},
};
constexpr ByteMask kInterleaveMasks[3][3] = {
    {InterleaveMask(0, 0), InterleaveMask(1, 0), InterleaveMask(2, 0)},
    {InterleaveMask(0, 1), InterleaveMask(1, 1), InterleaveMask(2, 1)},
    {InterleaveMask(0, 2), InterleaveMask(1, 2), InterleaveMask(2, 2)},
};
constexpr ByteMask kTripleMasks[3] = {TripleMask(0), TripleMask(1), TripleMask(2)};

__attribute__((target("avx2"))) inline __m256i Load(const ByteMask& mask) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask.data()));
}

// Part `part` of both 48-byte groups of a 96-byte block.
__attribute__((target("avx2"))) inline __m256i LoadPart(const std::uint8_t* p, int part) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * part));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48 + 16 * part));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

__attribute__((target("avx2"))) inline void StorePart(std::uint8_t* p, int part, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * part), _mm256_castsi256_si128(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 48 + 16 * part),
                     _mm256_extracti128_si256(v, 1));
}

// The bytes three vectors give through three shuffle masks, merged.
__attribute__((target("avx2"))) inline __m256i ShuffleMerge(__m256i x, __m256i y, __m256i z,
                                                            const ByteMask* masks) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(x, Load(masks[0])),
                                           _mm256_shuffle_epi8(y, Load(masks[1]))),
                           _mm256_shuffle_epi8(z, Load(masks[2])));
}

// The bytes of one channel of the 32 pixels.
__attribute__((target("avx2"))) inline __m256i Channel(__m256i a0, __m256i a1, __m256i a2,
                                                       int channel) {
    return ShuffleMerge(a0, a1, a2, kChannelMasks[channel]);
}

// The blue, green and red bytes of 32 pixels at `p`, widened to 16-bit lanes: "lo" holds
// pixels 0-7 and 16-23, "hi" pixels 8-15 and 24-31; packing lo and hi back to bytes restores
// the order.
struct WideChannels {
    __m256i blueLo, greenLo, redLo;
    __m256i blueHi, greenHi, redHi;
};

__attribute__((target("avx2"))) inline WideChannels LoadWideChannels(const std::uint8_t* p) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i a0 = LoadPart(p, 0), a1 = LoadPart(p, 1), a2 = LoadPart(p, 2);
    const __m256i b = Channel(a0, a1, a2, 0);
    const __m256i g = Channel(a0, a1, a2, 1);
    const __m256i r = Channel(a0, a1, a2, 2);
    return {_mm256_unpacklo_epi8(b, zero), _mm256_unpacklo_epi8(g, zero),
            _mm256_unpacklo_epi8(r, zero), _mm256_unpackhi_epi8(b, zero),
            _mm256_unpackhi_epi8(g, zero), _mm256_unpackhi_epi8(r, zero)};
}

// Part `part` of both groups from the blue, green and red bytes of the 32 pixels.
__attribute__((target("avx2"))) inline __m256i Interleave(__m256i b, __m256i g, __m256i r,
                                                          int part) {
    return ShuffleMerge(b, g, r, kInterleaveMasks[part]);
}

// The sepia index of 16 pixels given as 16-bit lanes: (7500 b + 38620 g + 19672 r) >> 8,
// with 38620 g = -26916 g + (g << 16) so that every factor fits a signed 16-bit
// multiply-add. The unpacking and the packing reorder lanes alike, so the result is in the
// order of the input.
__attribute__((target("avx2"))) inline __m256i SepiaIndex16(__m256i b, __m256i g, __m256i r) {
    const __m256i blueGreen =
        _mm256_set1_epi32(static_cast<int>((static_cast<std::uint32_t>(-26916) << 16) | 7500u));
    const __m256i redOnly = _mm256_set1_epi32(19672);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(b, g), blueGreen),
                         _mm256_madd_epi16(_mm256_unpacklo_epi16(r, zero), redOnly)),
        _mm256_unpacklo_epi16(zero, g));
    const __m256i hi = _mm256_add_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(b, g), blueGreen),
                         _mm256_madd_epi16(_mm256_unpackhi_epi16(r, zero), redOnly)),
        _mm256_unpackhi_epi16(zero, g));
    return _mm256_packus_epi32(_mm256_srli_epi32(lo, 8), _mm256_srli_epi32(hi, 8));
}

// One channel of the tones of 16 indices as 16-bit lanes, not yet clamped:
// (index x 255 + offset) >> 16. With offset = high x 65536 + low (0 <= low < 65536) that
// is high plus the upper half of index x 255, plus one where its lower half plus low
// carries, that is where the lower half is at least 65536 - low.
__attribute__((target("avx2"))) inline __m256i ToneChannel16(__m256i upper, __m256i lower,
                                                             std::int32_t offset) {
    const auto high = static_cast<std::int16_t>(offset >> 16);
    const auto low = static_cast<std::uint32_t>(offset) & 0xFFFFu;
    const __m256i withHigh = _mm256_add_epi16(upper, _mm256_set1_epi16(high));
    if (low == 0)
        return withHigh;
    const __m256i threshold = _mm256_set1_epi16(static_cast<std::int16_t>(65536u - low));
    const __m256i carries = _mm256_cmpeq_epi16(_mm256_max_epu16(lower, threshold), lower);
    return _mm256_sub_epi16(withHigh, carries);
}

struct ToneChannels {
    __m256i blue, green, red;
};

__attribute__((target("avx2"))) inline ToneChannels SepiaTones16(__m256i index,
                                                                 const SepiaToneOffsets& offsets) {
    const __m256i times255 = _mm256_set1_epi16(255);
    const __m256i upper = _mm256_mulhi_epu16(index, times255);
    const __m256i lower = _mm256_mullo_epi16(index, times255);
    return {ToneChannel16(upper, lower, offsets.blue), ToneChannel16(upper, lower, offsets.green),
            ToneChannel16(upper, lower, offsets.red)};
}

__attribute__((target("avx2"))) void SepiaPixelsAvx2(std::uint8_t* p, std::size_t count,
                                                     const std::uint32_t* tones,
                                                     const SepiaToneOffsets& offsets) {
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock, p += 3 * kBlock) {
        const WideChannels c = LoadWideChannels(p);
        const ToneChannels lo = SepiaTones16(SepiaIndex16(c.blueLo, c.greenLo, c.redLo), offsets);
        const ToneChannels hi = SepiaTones16(SepiaIndex16(c.blueHi, c.greenHi, c.redHi), offsets);
        const __m256i blue = _mm256_packus_epi16(lo.blue, hi.blue);
        const __m256i green = _mm256_packus_epi16(lo.green, hi.green);
        const __m256i red = _mm256_packus_epi16(lo.red, hi.red);
        StorePart(p, 0, Interleave(blue, green, red, 0));
        StorePart(p, 1, Interleave(blue, green, red, 1));
        StorePart(p, 2, Interleave(blue, green, red, 2));
    }
    SepiaPixelsPlain(p, count - i, tones);
}

// Grey levels of 16 pixels given as 16-bit lanes; `halfway` marks pixels exactly between
// two levels. x = 289 r + 586 g + 114 b + 500 and the level is x div 1000 =
// (x >> 3) div 125, taken as ((x >> 3) x 33,555) >> 22, exact for x >> 3 below 2^15.
// Halfway means x is a multiple of 1000: x & 7 = 0 and 125 x level = x >> 3.
__attribute__((target("avx2"))) inline __m256i GreyLevels16(__m256i b, __m256i g, __m256i r,
                                                            __m256i& halfway) {
    const __m256i redGreen = _mm256_set1_epi32((586 << 16) | 289);
    const __m256i blueOne = _mm256_set1_epi32((500 << 16) | 114);
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i seven = _mm256_set1_epi32(7);
    const __m256i xLo =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(r, g), redGreen),
                         _mm256_madd_epi16(_mm256_unpacklo_epi16(b, ones), blueOne));
    const __m256i xHi =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(r, g), redGreen),
                         _mm256_madd_epi16(_mm256_unpackhi_epi16(b, ones), blueOne));
    const __m256i eighth =
        _mm256_packus_epi32(_mm256_srli_epi32(xLo, 3), _mm256_srli_epi32(xHi, 3));
    const __m256i low3 =
        _mm256_packus_epi32(_mm256_and_si256(xLo, seven), _mm256_and_si256(xHi, seven));
    const __m256i level =
        _mm256_srli_epi16(_mm256_mulhi_epu16(eighth, _mm256_set1_epi16(-31981 /* 33555 */)), 6);
    halfway = _mm256_and_si256(
        _mm256_cmpeq_epi16(_mm256_mullo_epi16(level, _mm256_set1_epi16(125)), eighth),
        _mm256_cmpeq_epi16(low3, _mm256_setzero_si256()));
    return level;
}

__attribute__((target("avx2"))) void MonochromePixelsAvx2(std::uint8_t* p, std::size_t count) {
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock, p += 3 * kBlock) {
        const WideChannels c = LoadWideChannels(p);
        __m256i halfwayLo, halfwayHi;
        const __m256i lo = GreyLevels16(c.blueLo, c.greenLo, c.redLo, halfwayLo);
        const __m256i hi = GreyLevels16(c.blueHi, c.greenHi, c.redHi, halfwayHi);
        // Bit k marks pixel k (packing restores the pixel order).
        const auto marks = static_cast<std::uint32_t>(
            _mm256_movemask_epi8(_mm256_packs_epi16(halfwayLo, halfwayHi)));
        // Halfway pixels are settled by the extended sum, from their colour before it is
        // overwritten.
        std::array<std::uint8_t, kBlock> settled;
        for (std::uint32_t m = marks; m != 0; m &= m - 1) {
            const int k = __builtin_ctz(m);
            settled[static_cast<std::size_t>(k)] =
                MonochromeLevel(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
        }
        const __m256i levels = _mm256_packus_epi16(lo, hi);
        StorePart(p, 0, _mm256_shuffle_epi8(levels, Load(kTripleMasks[0])));
        StorePart(p, 1, _mm256_shuffle_epi8(levels, Load(kTripleMasks[1])));
        StorePart(p, 2, _mm256_shuffle_epi8(levels, Load(kTripleMasks[2])));
        for (std::uint32_t m = marks; m != 0; m &= m - 1) {
            const int k = __builtin_ctz(m);
            p[3 * k] = p[3 * k + 1] = p[3 * k + 2] = settled[static_cast<std::size_t>(k)];
        }
    }
    MonochromePixelsPlain(p, count - i);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

} // namespace

bool VectorLoopsAvailable() {
    return HasAvx2();
}

void SepiaPixels(std::uint8_t* pixels, std::size_t count, const std::uint32_t* tones,
                 const SepiaToneOffsets& offsets) {
    if (HasAvx2())
        SepiaPixelsAvx2(pixels, count, tones, offsets);
    else
        SepiaPixelsPlain(pixels, count, tones);
}

void MonochromePixels(std::uint8_t* pixels, std::size_t count) {
    if (HasAvx2())
        MonochromePixelsAvx2(pixels, count);
    else
        MonochromePixelsPlain(pixels, count);
}

#else

bool VectorLoopsAvailable() {
    return false;
}

void SepiaPixels(std::uint8_t* pixels, std::size_t count, const std::uint32_t* tones,
                 const SepiaToneOffsets&) {
    SepiaPixelsPlain(pixels, count, tones);
}

void MonochromePixels(std::uint8_t* pixels, std::size_t count) {
    MonochromePixelsPlain(pixels, count);
}

#endif

} // namespace tessaly::kernels
