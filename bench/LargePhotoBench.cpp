// Large photos through the picture pipeline, as the main window shows them: 4:3 photos of 24,
// 64, 128 and 256 megapixels (4:2:0, quality 90, photo-like grain, a 160 x 120 EXIF thumbnail)
// without restart markers and with one at every row of MCUs (as `cjpeg -restart 1` writes
// them), shown fitted to the main window's 585 x 394 client area (525 x 394).
//   - Pipeline/<n>MP/<markers>: a fresh PicturePipeline with DefaultPictureDecoders and its
//     default workers, Show() with the picture's size from the header, as the window asks;
//     counters: the time from Show() to the stand-in (the file's own preview), to the screen
//     copy (the sharp fit picture) and to the full picture, each taken in the result callback;
//     the iteration's time is the time to the full picture;
//   - LibjpegEighth/<n>MP/<markers>: libjpeg on its own on one core, the file through stdio,
//     scale 1/8, every row kept (what the screen copy costs a plain program);
//   - LibjpegFull/<n>MP/<markers>: the same at full size, each row dropped after it is read.
// Each reports `peak_MiB`, the most one such run adds to the resident set of a fresh process
// (this program run again with --peak=NAME PATH, its peak reset before the run).
//
// The photos are made once into a cache folder and kept for later runs (about 270 MiB, a
// minute or two): $TESSALY_BENCH_CACHE, else $XDG_CACHE_HOME/tessaly-bench, else
// ~/.cache/tessaly-bench. Each is read once before it is timed, so it is in the page cache.
// Run: bench/large_photos.py (builds this, runs it and prints the table of bench/README.md),
// or build-bench/bench/bench_large_photos itself.
#include "bench/LibjpegReference.h"
#include "bench/PeakMemory.h"
#include "jpeg/JpegDecoder.h"
#include "pictures/PicturePipeline.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace tessaly;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kShownWidth = 525;
constexpr int kShownHeight = 394;
constexpr int kThumbnailWidth = 160;

struct Photo {
    int megapixels;
    int width;
    int height;
};
// 4:3, as near the round number as multiples of 16 allow.
constexpr std::array<Photo, 4> kPhotos = {{
    {24, 5664, 4248},
    {64, 9248, 6936},
    {128, 13056, 9792},
    {256, 18432, 13824},
}};

constexpr std::array<std::string_view, 2> kMarkers = {"plain", "restart1"};

std::filesystem::path CacheFolder() {
    if (const char* dir = std::getenv("TESSALY_BENCH_CACHE"); dir != nullptr && *dir != '\0')
        return dir;
    if (const char* dir = std::getenv("XDG_CACHE_HOME"); dir != nullptr && *dir != '\0')
        return std::filesystem::path(dir) / "tessaly-bench";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::filesystem::path(home) / ".cache" / "tessaly-bench";
    return std::filesystem::temp_directory_path() / "tessaly-bench";
}

// The photo's file, written on first use unless an earlier run left it in the cache. The
// name carries the way it is made, so that a change to it makes new files.
std::string PhotoFile(const Photo& photo, std::string_view markers) {
    const std::filesystem::path dir = CacheFolder();
    const std::filesystem::path path = dir / ("large-v1-" + std::to_string(photo.megapixels) +
                                              "mp-" + std::string(markers) + ".jpg");
    if (std::filesystem::exists(path))
        return path.string();
    std::filesystem::create_directories(dir);
    fixtures::ExifBuilder exif;
    exif.Ifd0().Ascii(271, "TESSALY").Ascii(272, "BENCH");
    exif.Thumbnail(fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(kThumbnailWidth, 120),
                                        {.quality = 80, .jfif = false}));
    // Written under another name and renamed, so that a run cut short leaves no half file.
    const std::filesystem::path part = path.string() + ".part";
    fixtures::WriteJpegFile(part, photo.width, photo.height,
                            fixtures::PhotoLikeRows(photo.width, photo.height),
                            {.quality = 90,
                             .restartRows = markers == "plain" ? 0 : 1,
                             .segments = {fixtures::ExifSegment(exif.Build())}});
    std::filesystem::rename(part, path);
    return path.string();
}

// Reads the whole file once, so that the timed runs find it in the page cache.
void ReadThrough(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(std::size_t{1} << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

// The times from Show() to each kind of result, taken in the pipeline's callback.
class Stopwatch {
public:
    struct Times {
        std::optional<double> standIn, screenCopy, full; // seconds
        bool failed = false;
        int standInWidth = 0;
    };

    PicturePipeline::ResultCallback Callback() {
        return [this](PictureResult result) {
            const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
            {
                const std::lock_guard lock(mutex_);
                if (!result.Ok()) {
                    times_.failed = true;
                } else if (result.kind == PictureKind::StandIn) {
                    times_.standIn = seconds;
                    times_.standInWidth = result.pixels->Width();
                } else if (result.kind == PictureKind::ScreenCopy) {
                    times_.screenCopy = seconds;
                } else {
                    times_.full = seconds;
                }
            }
            changed_.notify_all();
        };
    }
    // Called just before Show(), before any result can come.
    void Start() { start_ = Clock::now(); }
    Times WaitForFull() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return times_.failed || times_.full.has_value(); });
        return times_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Clock::time_point start_;
    Times times_;
};

// One picture shown until its full picture has come, as the main window asks for it.
Stopwatch::Times ShowOnce(const std::string& path, const JpegInfo& info) {
    Stopwatch watch;
    PicturePipeline pipeline(DefaultPictureDecoders(), watch.Callback());
    watch.Start();
    pipeline.Show(path, kShownWidth, kShownHeight, info.width, info.height);
    const Stopwatch::Times times = watch.WaitForFull();
    pipeline.WaitUntilIdle();
    return times;
}

// What a peak run does, by name.
void RunNamed(std::string_view name, const std::string& path) {
    if (name == "Pipeline")
        ShowOnce(path, ReadJpegHeader(RegularFile(path)));
    else if (name == "LibjpegEighth")
        bench::LibjpegDecode(path, 1, true);
    else if (name == "LibjpegFull")
        bench::LibjpegDecode(path, 8, false);
    else
        throw std::invalid_argument("no benchmark " + std::string(name));
}

double Milliseconds(const std::optional<double>& seconds) {
    return seconds ? *seconds * 1000 : -1;
}

void Pipeline(benchmark::State& state, const Photo& photo, std::string_view markers) {
    const std::string path = PhotoFile(photo, markers);
    ReadThrough(path);
    const JpegInfo info = ReadJpegHeader(RegularFile(path));
    Stopwatch::Times times;
    for (auto _ : state) {
        times = ShowOnce(path, info);
        if (times.failed || !times.full) {
            state.SkipWithError("the picture failed to decode");
            return;
        }
        state.SetIterationTime(*times.full);
    }
    if (times.standInWidth != kThumbnailWidth) {
        state.SkipWithError("no stand-in, or not the thumbnail");
        return;
    }
    // One iteration per repetition: these are that iteration's times.
    state.counters["standin_ms"] = Milliseconds(times.standIn);
    state.counters["copy_ms"] = Milliseconds(times.screenCopy);
    state.counters["full_ms"] = Milliseconds(times.full);
    state.counters["peak_MiB"] = bench::PeakMiB("Pipeline", path);
}

void Libjpeg(benchmark::State& state, const Photo& photo, std::string_view markers,
             std::string_view name) {
    const std::string path = PhotoFile(photo, markers);
    ReadThrough(path);
    for (auto _ : state)
        RunNamed(name, path);
    state.counters["peak_MiB"] = bench::PeakMiB(name, path);
    state.counters["file_MiB"] = static_cast<double>(std::filesystem::file_size(path)) / (1 << 20);
}

// One run per repetition, three repetitions and their aggregates: a 256-megapixel run takes
// seconds on two cores, so the medians of three keep the whole run to a few minutes.
benchmark::internal::Benchmark* Settle(benchmark::internal::Benchmark* b) {
    return b->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true)->Unit(
        benchmark::kMillisecond);
}

void RegisterAll() {
    for (const Photo& photo : kPhotos) {
        for (const std::string_view markers : kMarkers) {
            std::string suffix = "/";
            suffix += std::to_string(photo.megapixels);
            suffix += "MP/";
            suffix += markers;
            Settle(benchmark::RegisterBenchmark(("Pipeline" + suffix).c_str(), Pipeline, photo,
                                                markers))
                ->UseManualTime();
            Settle(benchmark::RegisterBenchmark(("LibjpegEighth" + suffix).c_str(), Libjpeg, photo,
                                                markers, "LibjpegEighth"))
                ->UseRealTime();
            Settle(benchmark::RegisterBenchmark(("LibjpegFull" + suffix).c_str(), Libjpeg, photo,
                                                markers, "LibjpegFull"))
                ->UseRealTime();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (bench::IsPeakRun(argc, argv)) {
        const std::string_view name = bench::PeakRunName(argv);
        const std::string path = argv[2];
        return bench::PrintPeak([&] { RunNamed(name, path); });
    }
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
