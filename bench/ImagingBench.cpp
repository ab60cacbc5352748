// Speed of the image processing: resampling (enlarging 1000 x 750 to 4000 x 3000 and
// reducing 6000 x 4000 to 1500 x 1000), sepia and monochrome of 24 megapixels, the output
// bitmap and JPEG compression of a pick, the header read and the decode of a 24-megapixel
// JPEG file, and its pixels turned upright. Single-threaded.
//
// `bench_imaging --write-sources=DIR` writes the source pictures as PPM files and exits,
// so that bench/pillow_compare.py can time Pillow on the same pixels.
#include "resample/Monochrome.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegWriter.h"
#include "resample/OutputPicture.h"
#include "cli/Ppm.h"
#include "picture/UprightPixels.h"
#include "resample/Resample.h"
#include "resample/Sepia.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

using tessaly::Bitmap;

// A photo-like picture: smooth colour gradients with fine noise, the same every run.
Bitmap SourcePicture(int width, int height) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    std::uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bmp.Row(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int noise = static_cast<int>(state & 15) - 8;
            const auto clamp = [](int v) {
                return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            };
            p[0] = clamp(x * 255 / width + noise);
            p[1] = clamp(y * 255 / height - noise);
            p[2] = clamp((x + y) * 255 / (width + height) + noise / 2);
        }
    }
    return bmp;
}

const Bitmap& Small() {
    static const Bitmap bmp = SourcePicture(1000, 750);
    return bmp;
}

const Bitmap& Large() {
    static const Bitmap bmp = SourcePicture(6000, 4000);
    return bmp;
}

void TimeResample(benchmark::State& state, const Bitmap& source, int width, int height) {
    for (auto _ : state) {
        state.PauseTiming();
        Bitmap bmp = source;
        state.ResumeTiming();
        tessaly::Resample(bmp, width, height);
        benchmark::DoNotOptimize(bmp.Data());
        state.PauseTiming();
        bmp = Bitmap(); // freed outside the timing
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * source.Width() * source.Height());
}

void BM_EnlargeBicubic_1000x750_to_4000x3000(benchmark::State& state) {
    TimeResample(state, Small(), 4000, 3000);
}
BENCHMARK(BM_EnlargeBicubic_1000x750_to_4000x3000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReduceArea_6000x4000_to_1500x1000(benchmark::State& state) {
    TimeResample(state, Large(), 1500, 1000);
}
BENCHMARK(BM_ReduceArea_6000x4000_to_1500x1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Sepia_6000x4000(benchmark::State& state) {
    Bitmap bmp = Large();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(bmp.Data(), Large().Data(), bmp.SizeBytes());
        state.ResumeTiming();
        tessaly::TintSepia(bmp);
        benchmark::DoNotOptimize(bmp.Data());
    }
    state.SetItemsProcessed(state.iterations() * bmp.Width() * bmp.Height());
}
BENCHMARK(BM_Sepia_6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Monochrome_6000x4000(benchmark::State& state) {
    Bitmap bmp = Large();
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(bmp.Data(), Large().Data(), bmp.SizeBytes());
        state.ResumeTiming();
        bmp = tessaly::ToMonochrome(std::move(bmp));
        benchmark::DoNotOptimize(bmp.Data());
    }
    state.SetItemsProcessed(state.iterations() * bmp.Width() * bmp.Height());
}
BENCHMARK(BM_Monochrome_6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// A typical save from a pick window: a 1600 x 1200 pick at half size in sepia, then
// compressed at level 8.
void BM_PickSave_1600x1200_half_sepia(benchmark::State& state) {
    static const Bitmap pick = SourcePicture(1600, 1200);
    for (auto _ : state) {
        Bitmap out;
        tessaly::MakeOutputPicture(pick, out, 800, 600, tessaly::PictureEffect::Sepia);
        tessaly::JpegWriter jpeg(std::move(out));
        jpeg.SetCompressionQuality(tessaly::JpegQualityForLevel(8));
        jpeg.Compress();
        benchmark::DoNotOptimize(jpeg.Stream().data());
    }
}
BENCHMARK(BM_PickSave_1600x1200_half_sepia)->Unit(benchmark::kMillisecond)->UseRealTime();

// The large picture as a JPEG file (quality 90, 4:2:0), written once.
const std::string& LargeJpeg() {
    static const tessaly::fixtures::TempDir dir("tessaly-bench");
    static const std::string path = [] {
        const std::string p = (dir / "large.jpg").string();
        tessaly::fixtures::WriteFile(p, tessaly::fixtures::EncodeJpeg(Large(), {.quality = 90}));
        return p;
    }();
    return path;
}

// Read and decoded to a 24-bit bitmap as the viewer does for display.
void BM_DecodeFile_6000x4000(benchmark::State& state) {
    const std::string& path = LargeJpeg();
    for (auto _ : state) {
        const Bitmap bmp = tessaly::DecodeJpegFile(path);
        benchmark::DoNotOptimize(bmp.Data());
    }
    state.SetItemsProcessed(state.iterations() * Large().Width() * Large().Height());
}
BENCHMARK(BM_DecodeFile_6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Decoded for the save dialog's 160 x 160 preview: libjpeg's 1/8 scale, 750 x 500.
void BM_DecodeFileForPreview_6000x4000(benchmark::State& state) {
    const std::string& path = LargeJpeg();
    for (auto _ : state) {
        const Bitmap bmp = tessaly::DecodeJpegFileAtLeast(path, 160, 107);
        benchmark::DoNotOptimize(bmp.Data());
    }
}
BENCHMARK(BM_DecodeFileForPreview_6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The large picture with the EXIF block of a camera in front (IFD0 with an orientation, an
// Exif directory with a 16 KiB maker note, a thumbnail of 8 KiB), written once.
const std::string& CameraJpeg() {
    static const tessaly::fixtures::TempDir dir("tessaly-bench");
    static const std::string path = [] {
        using namespace tessaly::fixtures;
        ExifBuilder exif(ByteOrder::Intel);
        exif.Ifd0().Ascii(271, "Maker").Ascii(272, "Camera").Short(274, 6);
        exif.Exif().Rational(33434, 1, 250).Undefined(37500, Bytes(16 * 1024, 0x5A));
        exif.Thumbnail(Bytes(8 * 1024, 0xA5));
        const std::string p = (dir / "camera.jpg").string();
        WriteFile(p, EncodeJpeg(Large(), {.quality = 90, .segments = {ExifSegment(exif.Build())}}));
        return p;
    }();
    return path;
}

// The header read when a file is shown: size, components, sampling and what the markers
// before the first scan tell.
void ReadHeader(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        const tessaly::RegularFile file(path);
        const tessaly::JpegInfo info = tessaly::ReadJpegHeader(file);
        benchmark::DoNotOptimize(info.width);
    }
}

void BM_ReadHeader_NoMarkers(benchmark::State& state) {
    ReadHeader(state, LargeJpeg());
}
BENCHMARK(BM_ReadHeader_NoMarkers)->Unit(benchmark::kMicrosecond);

void BM_ReadHeader_CameraExif(benchmark::State& state) {
    ReadHeader(state, CameraJpeg());
}
BENCHMARK(BM_ReadHeader_CameraExif)->Unit(benchmark::kMicrosecond);

// The whole picture turned into 24-bit pixels from the planes the viewer keeps of it.
void BM_PlanesToBgr_6000x4000(benchmark::State& state) {
    const tessaly::RegularFile file(LargeJpeg());
    const tessaly::DecodedPicture kept =
        tessaly::DecodeJpegToKeep(file, tessaly::ReadJpegHeader(file));
    Bitmap bmp = Bitmap::Uninitialized(kept.Width(), kept.Height());
    for (auto _ : state) {
        kept.ReadBgr(0, 0, kept.Width(), kept.Height(), bmp.Data(), bmp.Stride());
        benchmark::DoNotOptimize(bmp.Data());
    }
    state.SetItemsProcessed(state.iterations() * kept.Width() * kept.Height());
}
BENCHMARK(BM_PlanesToBgr_6000x4000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The kept planes of the large file, decoded once.
const tessaly::DecodedPicture& KeptPlanes() {
    static const tessaly::DecodedPicture kept = [] {
        const tessaly::RegularFile file(LargeJpeg());
        return tessaly::DecodeJpegToKeep(file, tessaly::ReadJpegHeader(file));
    }();
    return kept;
}

// Reads `area` of the upright picture (orientation code state.range(0)) into a bitmap made
// beforehand, as the drawing of the exposed part does.
void ReadUpright(benchmark::State& state, const tessaly::DecodedPicture& picture,
                 tessaly::Rect area) {
    const auto orientation = static_cast<tessaly::Orientation>(state.range(0));
    Bitmap out = Bitmap::Uninitialized(area.width, area.height);
    for (auto _ : state) {
        tessaly::ReadUprightBgr(picture, orientation, area, out.Data(), out.Stride());
        benchmark::DoNotOptimize(out.Data());
    }
    state.SetItemsProcessed(state.iterations() * area.width * area.height);
}

tessaly::Rect WholeUpright(const tessaly::DecodedPicture& picture, std::int64_t code) {
    const tessaly::Size size = tessaly::UprightMapping(static_cast<tessaly::Orientation>(code),
                                                       {picture.Width(), picture.Height()})
                                   .Upright();
    return {0, 0, size.width, size.height};
}

// The whole 24-megapixel picture upright: as stored (code 1, a plain ReadBgr), half turned,
// a quarter each way; from the kept planes and from 24-bit pixels.
void BM_UprightWhole_Planes_6000x4000(benchmark::State& state) {
    ReadUpright(state, KeptPlanes(), WholeUpright(KeptPlanes(), state.range(0)));
}
BENCHMARK(BM_UprightWhole_Planes_6000x4000)
    ->Arg(1)
    ->Arg(3)
    ->Arg(6)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_UprightWhole_Rgb_6000x4000(benchmark::State& state) {
    static const tessaly::DecodedPicture rgb{Bitmap(Large())};
    ReadUpright(state, rgb, WholeUpright(rgb, state.range(0)));
}
BENCHMARK(BM_UprightWhole_Rgb_6000x4000)
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A part the size of the main window's client area, from the middle of the kept planes.
void BM_UprightRegion_Planes_585x390(benchmark::State& state) {
    const tessaly::Rect whole = WholeUpright(KeptPlanes(), state.range(0));
    ReadUpright(state, KeptPlanes(), {whole.width / 2 - 292, whole.height / 2 - 195, 585, 390});
}
BENCHMARK(BM_UprightRegion_Planes_585x390)
    ->Arg(1)
    ->Arg(6)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// The screen copy of libjpeg's 1/8 decode of the large file, turned whole.
void BM_TurnScreenCopy_750x500(benchmark::State& state) {
    static const Bitmap copy = SourcePicture(750, 500);
    const auto orientation = static_cast<tessaly::Orientation>(state.range(0));
    for (auto _ : state) {
        Bitmap turned = tessaly::TurnUpright(Bitmap(copy), orientation);
        benchmark::DoNotOptimize(turned.Data());
    }
}
BENCHMARK(BM_TurnScreenCopy_750x500)->Arg(1)->Arg(6)->Unit(benchmark::kMicrosecond)->UseRealTime();

bool WriteSources(const std::string& folder) {
    for (const auto& [name, bmp] :
         {std::pair{"small-1000x750.ppm", &Small()}, std::pair{"large-6000x4000.ppm", &Large()}}) {
        const std::vector<std::uint8_t> bytes = tessaly::WritePpm(*bmp);
        std::ofstream out(folder + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::cerr << "cannot write " << folder << "/" << name << "\n";
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    constexpr std::string_view kWrite = "--write-sources=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(kWrite))
        return WriteSources(std::string(std::string_view(argv[1]).substr(kWrite.size()))) ? 0 : 1;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
