// The resampler works through coefficient tables (the taps beyond an edge folded into a
// window inside the source, every position given the same number of taps), strips of
// columns and rows combined a piece at a time. These tests compare it, byte for byte, with a
// plain transcription of the passes: one destination column (or row) at a time,
// edge-clamped taps, 32-bit sums.
#include "resample/Resample.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace tessaly;

namespace {

std::uint8_t CubicByte(std::int32_t s) {
    if (s < 0)
        return 0;
    if (s > 267386880)
        return 255;
    return static_cast<std::uint8_t>(s >> 20);
}

// Pixel (i along the pass, j across it) of a bitmap, for a horizontal or vertical pass.
std::uint8_t* At(Bitmap& bmp, bool horizontal, int i, int j) {
    return horizontal ? bmp.Row(j) + 3 * i : bmp.Row(i) + 3 * j;
}

const std::uint8_t* At(const Bitmap& bmp, bool horizontal, int i, int j) {
    return horizontal ? bmp.Row(j) + 3 * i : bmp.Row(i) + 3 * j;
}

void ReferenceEnlarge(const Bitmap& src, Bitmap& dst, bool horizontal) {
    const int sn = horizontal ? src.Width() : src.Height();
    const int dn = horizontal ? dst.Width() : dst.Height();
    const int across = horizontal ? src.Height() : src.Width();
    for (int x = 0; x < dn; ++x) {
        const Extended t = static_cast<Extended>((sn - 1) * x) / (dn - 1);
        const int base = static_cast<int>(Trunc(t)) - 1;
        const Extended f = t - Trunc(t);
        const CubicWeightSet w = CubicWeights(1 + f, 1048576);
        for (int y = 0; y < across; ++y)
            for (int c = 0; c < 3; ++c) {
                std::int32_t s = 524288;
                for (int i = 0; i < 4; ++i)
                    s += w[static_cast<std::size_t>(i)] *
                         At(src, horizontal, std::clamp(base + i, 0, sn - 1), y)[c];
                At(dst, horizontal, x, y)[c] = CubicByte(s);
            }
    }
}

void ReferenceReduce(const Bitmap& src, Bitmap& dst, bool horizontal) {
    const int sn = horizontal ? src.Width() : src.Height();
    const int dn = horizontal ? dst.Width() : dst.Height();
    const int across = horizontal ? src.Height() : src.Width();
    const auto n =
        static_cast<std::uint32_t>(Trunc(1 / (static_cast<Extended>(sn) / dn) * 4194304 + 0.5L));
    for (int y = 0; y < across; ++y) {
        int first = 0;
        std::uint32_t p = 0;
        for (int j = 0; j < dn; ++j) {
            const Extended t = static_cast<Extended>(sn * (j + 1)) / dn;
            const int last = static_cast<int>(Trunc(t));
            const auto wLast = static_cast<std::uint32_t>(Trunc(Frac(t) * 262144 + 0.5L));
            const std::uint32_t wFirst = 262144 - p;
            for (int c = 0; c < 3; ++c) {
                std::uint32_t s = 131072;
                if (wFirst != 0)
                    s += At(src, horizontal, first, y)[c] * wFirst;
                for (int i = first + 1; i < last; ++i)
                    s += At(src, horizontal, i, y)[c] * 262144u;
                if (wLast != 0)
                    s += At(src, horizontal, last, y)[c] * wLast;
                At(dst, horizontal, j, y)[c] =
                    static_cast<std::uint8_t>((std::uint64_t{s} * n) >> 40);
            }
            first = last;
            p = wLast;
        }
    }
}

Bitmap ReferenceResample(Bitmap bmp, int width, int height) {
    if (width != bmp.Width()) {
        Bitmap out(width, bmp.Height());
        if (width > bmp.Width())
            ReferenceEnlarge(bmp, out, true);
        else
            ReferenceReduce(bmp, out, true);
        bmp = std::move(out);
    }
    if (height != bmp.Height()) {
        Bitmap out(bmp.Width(), height);
        if (height > bmp.Height())
            ReferenceEnlarge(bmp, out, false);
        else
            ReferenceReduce(bmp, out, false);
        bmp = std::move(out);
    }
    return bmp;
}

Bitmap RandomBitmap(int width, int height, std::mt19937& random) {
    Bitmap bmp(width, height);
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < 3 * width; ++i)
            bmp.Row(y)[i] = static_cast<std::uint8_t>(random());
    return bmp;
}

void ExpectSameAsReference(const Bitmap& source, int width, int height) {
    Bitmap ours = source;
    Resample(ours, width, height);
    const Bitmap reference = ReferenceResample(source, width, height);
    ASSERT_TRUE(ours.SamePixels(reference))
        << source.Width() << " x " << source.Height() << " -> " << width << " x " << height;
}

} // namespace

TEST(ResampleReference, EnlargingMatchesAtManySizes) {
    std::mt19937 random(21);
    for (int from : {1, 2, 3, 4, 5, 9, 17})
        for (int to : {2, 3, 6, 10, 33, 100, 700, 1100}) {
            if (to <= from)
                continue;
            ExpectSameAsReference(RandomBitmap(from, 3, random), to, 3);
            ExpectSameAsReference(RandomBitmap(3, from, random), 3, to);
        }
    // Wider than one strip of columns, both ways at once.
    ExpectSameAsReference(RandomBitmap(300, 40, random), 1500, 97);
}

TEST(ResampleReference, ReducingMatchesUpTo64Times) {
    std::mt19937 random(22);
    for (int from : {2, 3, 7, 10, 64, 100, 333, 1000, 4096})
        for (int to : {1, 2, 3, 5, 9, 16, 63, 99, 640, 999}) {
            if (to >= from || from > 64 * to)
                continue;
            ExpectSameAsReference(RandomBitmap(from, 2, random), to, 2);
            ExpectSameAsReference(RandomBitmap(2, from, random), 2, to);
        }
    // Bright pictures push the 32-bit sums to their top at 64 times.
    Bitmap bright(128, 64);
    for (int y = 0; y < 64; ++y)
        for (int i = 0; i < 3 * 128; ++i)
            bright.Row(y)[i] = static_cast<std::uint8_t>(250 + (i + y) % 6);
    ExpectSameAsReference(bright, 2, 1);
}

TEST(ResampleReference, MixedDirectionsMatch) {
    std::mt19937 random(23);
    ExpectSameAsReference(RandomBitmap(200, 30, random), 70, 81);
    ExpectSameAsReference(RandomBitmap(30, 200, random), 81, 70);
    ExpectSameAsReference(RandomBitmap(123, 77, random), 123, 40);
}
