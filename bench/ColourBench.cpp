// Speed of the colour conversion of what is drawn: a screen copy the size of the main
// window's client area (585 x 390) and the exposed part of a picture at 400 % in device
// pixels at a display scale of 2 (2340 x 1560), converted in place from Adobe RGB to sRGB
// through the transform the display's colours keep, against a plain copy of the same pixels;
// and what a picture's conversion costs to look up (the same profile again) and to make (a
// profile not seen before).
#include "colour/DisplayColours.h"
#include "tests/support/IccFixtures.h"
#include "tests/support/JpegFixtures.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

using tessaly::Bitmap;

// The picture of the size the arguments name: 585 x 390 or 2340 x 1560.
const Bitmap& Source(const benchmark::State& state) {
    static const Bitmap small = tessaly::fixtures::PhotoLikeBitmap(585, 390);
    static const Bitmap large = tessaly::fixtures::PhotoLikeBitmap(2340, 1560);
    return state.range(0) == small.Width() && state.range(1) == small.Height() ? small : large;
}

void Copy(benchmark::State& state, bool convert) {
    const Bitmap& source = Source(state);
    tessaly::DisplayColours colours;
    const tessaly::ColourConversion conversion =
        colours.ForPicture(tessaly::fixtures::AdobeRgbProfile(), tessaly::PixelKind::Rgb);
    Bitmap out = Bitmap::Uninitialized(source.Width(), source.Height());
    for (auto _ : state) {
        std::memcpy(out.Data(), source.Data(), source.SizeBytes());
        if (convert)
            conversion.transform->Apply(out);
        benchmark::DoNotOptimize(out.Data());
    }
    state.SetItemsProcessed(state.iterations() * source.Width() * source.Height());
}

void BM_PlainCopy(benchmark::State& state) {
    Copy(state, false);
}
BENCHMARK(BM_PlainCopy)->Args({585, 390})->Args({2340, 1560})->Unit(benchmark::kMicrosecond);

void BM_CopyAndConvertAdobeRgb(benchmark::State& state) {
    Copy(state, true);
}
BENCHMARK(BM_CopyAndConvertAdobeRgb)
    ->Args({585, 390})
    ->Args({2340, 1560})
    ->Unit(benchmark::kMicrosecond);

void BM_ConversionLookedUp(benchmark::State& state) {
    tessaly::DisplayColours colours;
    const tessaly::fixtures::Bytes adobe = tessaly::fixtures::AdobeRgbProfile();
    colours.ForPicture(adobe, tessaly::PixelKind::Rgb);
    for (auto _ : state)
        benchmark::DoNotOptimize(colours.ForPicture(adobe, tessaly::PixelKind::Rgb));
}
BENCHMARK(BM_ConversionLookedUp)->Unit(benchmark::kMicrosecond);

void BM_ConversionMade(benchmark::State& state) {
    const tessaly::fixtures::Bytes adobe = tessaly::fixtures::AdobeRgbProfile();
    for (auto _ : state) {
        tessaly::DisplayColours colours;
        benchmark::DoNotOptimize(colours.ForPicture(adobe, tessaly::PixelKind::Rgb));
    }
}
BENCHMARK(BM_ConversionMade)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
