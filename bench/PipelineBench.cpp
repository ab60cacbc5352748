// The picture pipeline's figures, in-process, for a 6000 x 4000 JPEG (24 megapixels) shown
// fitted to the main window's 585 x 394 client area (585 x 390):
//   - from Show() to the first picture delivered (the screen copy) and to the full picture;
//   - from Show() of a neighbour already decoded ahead to its screen copy;
//   - the baseline: reading the file and decoding it whole with DecodeJpeg on this thread.
// Each runs with two decoder sets: "default" (DefaultPictureDecoders: the screen copy is the
// full decode) and "scaled" (a libjpeg decode at scale N/8, written here as the scaled
// decode of the imaging library will be: the smallest N whose size is not below the shown
// size, stopping between rows when cancelled).
// Run: build-bench/bench/bench_pictures
#include "imaging/JpegDecoder.h"
#include "pictures/PicturePipeline.h"
#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <jpeglib.h>
#include <mutex>
#include <optional>
#include <string>

using namespace tessaly;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kShownWidth = 585;
constexpr int kShownHeight = 390;

// Two files with the same 24-megapixel picture: the one shown and its neighbour.
const fixtures::TempDir& Folder() {
    static const fixtures::TempDir dir("tessaly-bench-pictures");
    static const bool written = [] {
        const fixtures::Bytes jpeg =
            fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000), {.quality = 90});
        fixtures::WriteFile(dir / "a.jpg", jpeg);
        fixtures::WriteFile(dir / "b.jpg", jpeg);
        return true;
    }();
    (void)written;
    return dir;
}

// libjpeg at scale N/8 straight into the blue, green, red rows of a Bitmap. The bench's own
// file is sound, so libjpeg's default error handling (it ends the process) is enough here.
Bitmap DecodeScaledForBench(const std::string& path, int minWidth, int minHeight,
                            const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
    const fixtures::Bytes data = fixtures::ReadFile(path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    fullWidth = static_cast<int>(cinfo.image_width);
    fullHeight = static_cast<int>(cinfo.image_height);
    int n = 1;
    while (n < 8 && ((fullWidth * n + 7) / 8 < minWidth || (fullHeight * n + 7) / 8 < minHeight))
        ++n;
    cinfo.scale_num = static_cast<unsigned>(n);
    cinfo.scale_denom = 8;
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    Bitmap bmp = Bitmap::Uninitialized(static_cast<int>(cinfo.output_width),
                                       static_cast<int>(cinfo.output_height));
    while (cinfo.output_scanline < cinfo.output_height && !cancel.Cancelled()) {
        JSAMPROW row = bmp.Row(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (cancel.Cancelled())
        jpeg_abort_decompress(&cinfo);
    else
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    cancel.ThrowIfCancelled();
    return bmp;
}

PictureDecoders Decoders(bool scaled) {
    PictureDecoders decoders = DefaultPictureDecoders();
    if (scaled)
        decoders.decodeScaled = DecodeScaledForBench;
    return decoders;
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

void ShowTo(benchmark::State& state, bool full) {
    const std::string path = (Folder() / "a.jpg").string();
    const bool scaled = state.range(0) != 0;
    state.SetLabel(scaled ? "scaled" : "default");
    for (auto _ : state) {
        Stopwatch watch;
        PicturePipeline pipeline(Decoders(scaled), watch.Callback());
        watch.Start();
        pipeline.Show(path, kShownWidth, kShownHeight);
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
    ShowTo(state, false);
}
BENCHMARK(BM_ShowToScreenCopy24MP)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ShowToFullPicture24MP(benchmark::State& state) {
    ShowTo(state, true);
}
BENCHMARK(BM_ShowToFullPicture24MP)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The next picture after its neighbour was decoded ahead: the time to its screen copy.
void BM_ShowNeighbourDecodedAhead24MP(benchmark::State& state) {
    const std::string shown = (Folder() / "a.jpg").string();
    const std::string next = (Folder() / "b.jpg").string();
    const bool scaled = state.range(0) != 0;
    state.SetLabel(scaled ? "scaled" : "default");
    for (auto _ : state) {
        Stopwatch watch;
        PicturePipeline pipeline(Decoders(scaled), watch.Callback());
        pipeline.Show(shown, kShownWidth, kShownHeight);
        pipeline.Ahead({next}, kShownWidth, kShownHeight);
        pipeline.WaitUntilIdle();
        watch.Start();
        pipeline.Show(next, kShownWidth, kShownHeight);
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
    ->Arg(0)
    ->Arg(1)
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The baseline: the file read and decoded whole on the calling thread.
void BM_PlainDecode24MP(benchmark::State& state) {
    const auto path = Folder() / "a.jpg";
    for (auto _ : state) {
        const Bitmap bmp = DecodeJpeg(fixtures::ReadFile(path));
        benchmark::DoNotOptimize(bmp.Data());
    }
}
BENCHMARK(BM_PlainDecode24MP)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
