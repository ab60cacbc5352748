// Large photos decoded in stripes on two threads (jpeg/JpegStripes.h), against the same
// decode in one piece and against libjpeg's own decode on one core, for 4:2:0 photo-like
// files (quality 90) of 24, 64, 128 and 256 megapixels with a restart marker at every row of
// MCUs, as `cjpeg -restart 1` writes them; the files are made once into a temporary folder.
//   - BM_ScreenCopy*: the picture at libjpeg's 1/8 scale as 24-bit pixels;
//   - BM_KeptPicture*: the full picture as the viewer keeps it (the planes libjpeg decodes
//     before colour conversion), and libjpeg's own full decode to 24-bit rows (thrown away
//     row by row, so that its memory is libjpeg's alone);
//   - BM_StripePlan: reading the marker segments and finding the restart markers.
// Each reports the peak memory one decode adds to a fresh process (`peak_MiB`: this program
// run again with --peak=NAME PATH).
// Run: build-bench/bench/bench_stripes
#include "bench/LibjpegReference.h"
#include "bench/PeakMemory.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegStripes.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <jpeglib.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace tessaly;

namespace {

struct Photo {
    int megapixels;
    int width;
    int height;
};

constexpr std::array<Photo, 4> kPhotos = {{
    {24, 6000, 4000},
    {64, 9216, 6944},
    {128, 13056, 9792},
    {256, 18432, 13888},
}};

constexpr int kThreads = 2;

// The photo of about `megapixels` megapixels as a file, written on first use.
const std::string& PhotoFile(int megapixels) {
    static const fixtures::TempDir dir("tessaly-bench-stripes");
    static std::array<std::string, kPhotos.size()> paths;
    for (std::size_t i = 0; i < kPhotos.size(); ++i) {
        const Photo& photo = kPhotos[i];
        if (photo.megapixels != megapixels)
            continue;
        if (paths[i].empty()) {
            const std::string path = (dir / (std::to_string(megapixels) + "mp.jpg")).string();
            fixtures::WriteJpegFile(path, photo.width, photo.height,
                                    fixtures::PhotoLikeRows(photo.width, photo.height),
                                    {.quality = 90, .restartRows = 1});
            paths[i] = path;
        }
        return paths[i];
    }
    throw std::invalid_argument("no photo of " + std::to_string(megapixels) + " megapixels");
}

using Decode = std::function<void(const RegularFile&, const JpegInfo&)>;

struct Case {
    const char* name;
    Decode decode;
};

const Case kCases[] = {
    {"ScreenCopy_Stripes",
     [](const RegularFile& file, const JpegInfo& info) {
         const Bitmap bmp = DecodeJpegScaledInStripes(file, info, 1, kThreads);
         benchmark::DoNotOptimize(bmp.Data());
     }},
    {"ScreenCopy_OnePiece",
     [](const RegularFile& file, const JpegInfo& info) {
         const Bitmap bmp = DecodeJpegScaled(file, info, 1);
         benchmark::DoNotOptimize(bmp.Data());
     }},
    {"ScreenCopy_Libjpeg",
     [](const RegularFile& file, const JpegInfo&) { bench::LibjpegDecode(file.Path(), 1, true); }},
    {"KeptPicture_Stripes",
     [](const RegularFile& file, const JpegInfo& info) {
         const DecodedPicture kept = DecodeJpegToKeepInStripes(file, info, kThreads);
         benchmark::DoNotOptimize(kept.Planes());
     }},
    {"KeptPicture_OnePiece",
     [](const RegularFile& file, const JpegInfo& info) {
         const DecodedPicture kept = DecodeJpegToKeep(file, info);
         benchmark::DoNotOptimize(kept.Planes());
     }},
    {"KeptPicture_Libjpeg",
     [](const RegularFile& file, const JpegInfo&) { bench::LibjpegDecode(file.Path(), 8, false); }},
    {"StripePlan",
     [](const RegularFile& file, const JpegInfo& info) {
         if (!JpegStripes::Scaled(file, info, 1, 2 * kThreads))
             throw std::logic_error("the photo has no plan of stripes");
     }},
};

const Case& CaseNamed(std::string_view name) {
    for (const Case& c : kCases)
        if (name == c.name)
            return c;
    throw std::invalid_argument("no benchmark " + std::string(name));
}

// Times the case on the photo of state.range(0) megapixels and reports its peak memory.
void Run(benchmark::State& state, const Case& c) {
    const std::string& path = PhotoFile(static_cast<int>(state.range(0)));
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    for (auto _ : state)
        c.decode(file, info);
    state.counters["peak_MiB"] = bench::PeakMiB(c.name, path);
    state.counters["file_MiB"] = static_cast<double>(file.Size()) / (1 << 20);
}

} // namespace

int main(int argc, char** argv) {
    if (bench::IsPeakRun(argc, argv)) {
        const Case& c = CaseNamed(bench::PeakRunName(argv));
        const RegularFile file(argv[2]);
        const JpegInfo info = ReadJpegHeader(file);
        return bench::PrintPeak([&] { c.decode(file, info); });
    }
    for (const Case& c : kCases) {
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark(("BM_" + std::string(c.name)).c_str(),
                                         [&c](benchmark::State& state) { Run(state, c); });
        for (const Photo& photo : kPhotos)
            b->Arg(photo.megapixels);
        b->ArgName("MP")->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
