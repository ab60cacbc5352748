// The picture pipeline's figures, in-process, for a 6000 x 4000 JPEG (24 megapixels) shown
// fitted to the main window's 585 x 394 client area (585 x 390):
//   - from Show() to the first picture delivered (the screen copy) and to the full picture;
//   - from Show() of a neighbour already decoded ahead to its screen copy;
//   - the baselines: the file decoded on this thread whole with DecodeJpegFile, and at
//     libjpeg's reduced scale for the shown size with DecodeJpegFileAtLeast.
// The pipeline runs with its default decoders and two workers. The show benchmarks take the
// nice value the full decode runs at above the first decode (10, the default, and 0 for all
// at one priority), to be run once more with a busy process beside (`yes >/dev/null &`);
// their _Restarts forms show the same picture from a file with a restart marker at every
// row of MCUs, which the default decoders decode in stripes on both cores.
// Run: build-bench/bench/bench_pictures
#include "jpeg/JpegDecoder.h"
#include "pictures/PicturePipeline.h"
#include "tests/support/JpegFixtures.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

using namespace tessaly;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kShownWidth = 585;
constexpr int kShownHeight = 390;
// The picture's size, which the main window knows from the header when it asks.
constexpr int kFullWidth = 6000;
constexpr int kFullHeight = 4000;

// Two files with the same 24-megapixel picture: the one shown and its neighbour.
const fixtures::TempDir& Folder() {
    static const fixtures::TempDir dir("tessaly-bench-pictures");
    static const bool written = [] {
        const fixtures::Bytes jpeg =
            fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000), {.quality = 90});
        fixtures::WriteFile(dir / "a.jpg", jpeg);
        fixtures::WriteFile(dir / "b.jpg", jpeg);
        fixtures::WriteFile(dir / "restarts.jpg",
                            fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000),
                                                 {.quality = 90, .restartRows = 1}));
        return true;
    }();
    (void)written;
    return dir;
}

// Times from one Show() to the first and to the full picture, taken in the callback.
class Stopwatch {
public:
    PicturePipeline::ResultCallback Callback() {
        return [this](PictureResult result) {
            const auto now = Clock::now();
            {
                const std::lock_guard lock(mutex_);
                if (!result.Ok())
                    failed_ = true;
                if (!first_)
                    first_ = now;
                if (result.kind == PictureKind::Full)
                    full_ = now;
            }
            changed_.notify_all();
        };
    }
    void Start() {
        const std::lock_guard lock(mutex_);
        first_.reset();
        full_.reset();
        start_ = Clock::now();
    }
    // Seconds from Start() to the first (or the full) picture; negative when one failed.
    double Wait(bool full) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return failed_ || (full ? full_ : first_).has_value(); });
        if (failed_)
            return -1;
        return std::chrono::duration<double>(*(full ? full_ : first_) - start_).count();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    Clock::time_point start_;
    std::optional<Clock::time_point> first_;
    std::optional<Clock::time_point> full_;
    bool failed_ = false;
};

void ShowTo(benchmark::State& state, const std::string& name, bool full) {
    const std::string path = (Folder() / name).string();
    PicturePipeline::Options options;
    options.backgroundNice = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Stopwatch watch;
        PicturePipeline pipeline(DefaultPictureDecoders(), watch.Callback(), options);
        watch.Start();
        pipeline.Show(path, kShownWidth, kShownHeight, kFullWidth, kFullHeight);
        const double seconds = watch.Wait(full);
        if (seconds < 0) {
            state.SkipWithError("decode failed");
            break;
        }
        state.SetIterationTime(seconds);
        pipeline.WaitUntilIdle(); // the full decode ends outside the measured time
    }
}

void BM_ShowToScreenCopy24MP(benchmark::State& state) {
    ShowTo(state, "a.jpg", false);
}
BENCHMARK(BM_ShowToScreenCopy24MP)
    ->ArgName("background_nice")
    ->Arg(10)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ShowToFullPicture24MP(benchmark::State& state) {
    ShowTo(state, "a.jpg", true);
}
BENCHMARK(BM_ShowToFullPicture24MP)
    ->ArgName("background_nice")
    ->Arg(10)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ShowToScreenCopy24MP_Restarts(benchmark::State& state) {
    ShowTo(state, "restarts.jpg", false);
}
BENCHMARK(BM_ShowToScreenCopy24MP_Restarts)
    ->ArgName("background_nice")
    ->Arg(10)
    ->Arg(19)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_ShowToFullPicture24MP_Restarts(benchmark::State& state) {
    ShowTo(state, "restarts.jpg", true);
}
BENCHMARK(BM_ShowToFullPicture24MP_Restarts)
    ->ArgName("background_nice")
    ->Arg(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The next picture after its neighbour was decoded ahead: the time to its screen copy.
void BM_ShowNeighbourDecodedAhead24MP(benchmark::State& state) {
    const std::string shown = (Folder() / "a.jpg").string();
    const std::string next = (Folder() / "b.jpg").string();
    for (auto _ : state) {
        Stopwatch watch;
        PicturePipeline pipeline(DefaultPictureDecoders(), watch.Callback());
        pipeline.Show(shown, kShownWidth, kShownHeight, kFullWidth, kFullHeight);
        pipeline.Ahead({next}, kShownWidth, kShownHeight);
        pipeline.WaitUntilIdle();
        watch.Start();
        pipeline.Show(next, kShownWidth, kShownHeight, kFullWidth, kFullHeight);
        const double seconds = watch.Wait(false);
        if (seconds < 0) {
            state.SkipWithError("decode failed");
            break;
        }
        state.SetIterationTime(seconds);
        pipeline.WaitUntilIdle();
    }
}
// A fixed count: each iteration decodes two pictures outside the measured time, which for a
// kept copy is a few microseconds, so a count chosen from the measured time would never end.
BENCHMARK(BM_ShowNeighbourDecodedAhead24MP)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The baselines on the calling thread: the whole picture, and the reduced scale the
// screen copy is decoded at (1/8 here, 750 x 500).
void BM_PlainDecode24MP(benchmark::State& state) {
    const std::string path = (Folder() / "a.jpg").string();
    for (auto _ : state) {
        const Bitmap bmp = DecodeJpegFile(path);
        benchmark::DoNotOptimize(bmp.Data());
    }
}
BENCHMARK(BM_PlainDecode24MP)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_PlainScaledDecode24MP(benchmark::State& state) {
    const std::string path = (Folder() / "a.jpg").string();
    for (auto _ : state) {
        const Bitmap bmp = DecodeJpegFileAtLeast(path, kShownWidth, kShownHeight);
        benchmark::DoNotOptimize(bmp.Data());
    }
}
BENCHMARK(BM_PlainScaledDecode24MP)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
