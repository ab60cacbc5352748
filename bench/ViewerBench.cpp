// The viewer's speed and memory, measured side by side with their baselines:
//   - showing a 24-megapixel JPEG (load, decode, layout, first paint) against a plain
//     libjpeg full-size decode of the same file;
//   - repainting the 585 x 394 view at 400 % against at fit, and the peak memory at 400 %;
//   - moving the shown 24-megapixel picture to the Trash until the next one can be drawn;
//   - the next picture of six 24-megapixel photos, fitted and at 400 % (first change and
//     settled), and the peak memory while stepping;
//   - the slideshow through the same six photos: how late each change is against its time;
//   - building the list from a tree of 100,000 files against `find | sort -f`;
//   - the same picture stored on its side (orientation 6) with an Adobe RGB profile, shown
//     turned and converted.
// Run: build-bench/bench/bench_viewer (QT_QPA_PLATFORM=offscreen is set by the program).
#include "model/ImageList.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/IccFixtures.h"
#include "tests/support/JpegFixtures.h"
#include "viewer/ListOrder.h"
#include "viewer/MainWindow.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SearchFiles.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <memory>
#include <string>

using namespace tessaly;

namespace {

// One 6000 x 4000 picture (24 megapixels) written once for all benchmarks.
const std::string& BigJpeg() {
    static fixtures::TempDir dir("tessaly-bench");
    static const std::string path = [] {
        const std::string p = (dir / "big.jpg").string();
        fixtures::WriteFile(
            p, fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000), {.quality = 90}));
        return p;
    }();
    return path;
}

// The same picture stored on its side (shown a quarter turned clockwise) with an Adobe RGB
// profile: every drawn pixel is turned and converted.
const std::string& TurnedAdobeJpeg() {
    static fixtures::TempDir dir("tessaly-bench");
    static const std::string path = [] {
        const std::string p = (dir / "turned-adobe.jpg").string();
        std::vector<fixtures::Bytes> segments = fixtures::IccSegments(fixtures::AdobeRgbProfile());
        segments.insert(segments.begin(), fixtures::OrientationSegment(6));
        fixtures::WriteFile(p, fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000),
                                                    {.quality = 90, .segments = segments}));
        return p;
    }();
    return path;
}

// The baseline: read the file and decode it with libjpeg to 24-bit RGB at full size.
void PlainLibjpegDecode(const std::string& path) {
    const std::vector<std::uint8_t> data = fixtures::ReadFile(path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
    std::unique_ptr<std::uint8_t[]> pixels(new std::uint8_t[stride * cinfo.output_height]);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.get() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.get());
}

void BM_PlainLibjpegDecode24MP(benchmark::State& state) {
    const std::string& path = BigJpeg();
    for (auto _ : state)
        PlainLibjpegDecode(path);
}
BENCHMARK(BM_PlainLibjpegDecode24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Handles window events until `ready` holds.
template <typename Ready> void ProcessUntil(Ready ready) {
    while (!ready())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The main window created on the file and shown, until the first picture can be drawn (the
// screen copy) and, for `settled`, until the full-size pixels are drawn.
void ShowInViewer(benchmark::State& state, bool settled, const std::string& path = BigJpeg()) {
    for (auto _ : state) {
        MainWindow form({path});
        form.show();
        const LoadedPicture& picture = *form.Ui().picture->Picture();
        if (settled)
            ProcessUntil([&] { return picture.Settled(); });
        else
            ProcessUntil([&] { return picture.Drawable() != nullptr; });
        benchmark::DoNotOptimize(form.grab());
    }
}
void BM_ShowInViewer24MP(benchmark::State& state) {
    ShowInViewer(state, true);
}
void BM_FirstPictureInViewer24MP(benchmark::State& state) {
    ShowInViewer(state, false);
}
void BM_ShowInViewer24MPTurnedAdobe(benchmark::State& state) {
    ShowInViewer(state, true, TurnedAdobeJpeg());
}
void BM_FirstPictureInViewer24MPTurnedAdobe(benchmark::State& state) {
    ShowInViewer(state, false, TurnedAdobeJpeg());
}
// Delete on the shown 24-megapixel picture until the next one (decoded ahead meanwhile) can
// be drawn: the file moved to the Trash, the list's entry dropped and the next shown. Untimed
// between rounds: Ctrl+Z puts the file back and shows it, and the neighbour is decoded ahead
// again.
// With `trash` false, the same with Right (the first picture shown again between rounds): the
// step it is compared with.
void TrashOrNext(benchmark::State& state, bool trash) {
    const fixtures::TempDir dir("tessaly-bench-trash");
    const std::string folder = (dir / "pics").string();
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(BigJpeg(), folder + "/a.jpg");
    std::filesystem::copy_file(BigJpeg(), folder + "/b.jpg");
    const std::string dataHome = (dir / "data").string();
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
    MainWindow form({folder});
    form.show();
    const auto settleAndDecodeAhead = [&] {
        ProcessUntil([&] { return form.Ui().picture->Picture()->Settled(); });
        // The neighbour's screen copy is made off the GUI thread once the shown picture is
        // settled; four seconds of events give it time on a busy machine.
        QElapsedTimer ahead;
        ahead.start();
        while (ahead.elapsed() < 4000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    settleAndDecodeAhead();
    for (auto _ : state) {
        form.PressKey(trash ? Qt::Key_Delete : Qt::Key_Right);
        ProcessUntil([&] { return form.Ui().picture->Picture()->Drawable() != nullptr; });
        benchmark::DoNotOptimize(form.grab());
        state.PauseTiming();
        form.PressKey(trash ? static_cast<int>(Qt::ControlModifier) | Qt::Key_Z : Qt::Key_Up);
        settleAndDecodeAhead();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_ShowInViewer24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_FirstPictureInViewer24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_ShowInViewer24MPTurnedAdobe)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);
BENCHMARK(BM_FirstPictureInViewer24MPTurnedAdobe)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3);

// Peak resident memory since the last reset, in bytes.
long PeakRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6)) * 1024;
    return 0;
}
void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
long CurrentRss() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6)) * 1024;
    return 0;
}

void Repaint(benchmark::State& state, bool magnified, const std::string& path = BigJpeg()) {
    const long before = CurrentRss();
    ResetPeakRss();
    MainWindow form({path});
    form.show();
    ProcessUntil([&] { return form.Ui().picture->Picture()->Settled(); });
    benchmark::DoNotOptimize(form.grab());
    if (magnified) {
        for (int i = 0; i < 20; ++i)
            form.StepZoom(5); // up to the 400 % limit
        emit form.Ui().client->ScrollRequested(12000, 8000);
        benchmark::DoNotOptimize(form.grab());
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(form.grab());
    state.counters["zoom_percent"] = static_cast<double>(form.Snapshot().ratio * 100);
    state.counters["peak_MiB_above_start"] = static_cast<double>(PeakRss() - before) / (1 << 20);
    state.counters["decoded_MiB"] = 6000.0 * 4000 * 3 / (1 << 20);
    state.counters["kept_MiB"] =
        static_cast<double>(form.Ui().picture->Picture()->FullPixels()->SizeBytes()) / (1 << 20);
}
void BM_RepaintViewAtFit(benchmark::State& state) {
    Repaint(state, false);
}
void BM_RepaintViewAt400Percent(benchmark::State& state) {
    Repaint(state, true);
}
void BM_RepaintViewAtFitTurnedAdobe(benchmark::State& state) {
    Repaint(state, false, TurnedAdobeJpeg());
}
void BM_RepaintViewAt400PercentTurnedAdobe(benchmark::State& state) {
    Repaint(state, true, TurnedAdobeJpeg());
}
void BM_TrashAndNextInViewer24MP(benchmark::State& state) {
    TrashOrNext(state, true);
}
void BM_NextInViewer24MP(benchmark::State& state) {
    TrashOrNext(state, false);
}
BENCHMARK(BM_NextInViewer24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TrashAndNextInViewer24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RepaintViewAtFit)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RepaintViewAt400Percent)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RepaintViewAtFitTurnedAdobe)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_RepaintViewAt400PercentTurnedAdobe)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Six 6000 x 4000 photos in one folder, for stepping through them.
std::vector<std::string> SixPhotos() {
    static fixtures::TempDir dir("tessaly-bench-six");
    static const std::vector<std::string> paths = [] {
        const fixtures::Bytes data =
            fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(6000, 4000), {.quality = 90});
        std::vector<std::string> made;
        for (int i = 1; i <= 6; ++i) {
            made.push_back((dir / ("photo" + std::to_string(i) + ".jpg")).string());
            fixtures::WriteFile(made.back(), data);
        }
        return made;
    }();
    return paths;
}

// "次の画像" through six 24-megapixel photos, fitted or at 400 % (the zoom is kept), after the
// shown picture has settled and its neighbours had time to be decoded ahead. The iteration's
// time is the step until the full-size pixels are drawn (settled); the counter first_ms is
// the step until the new picture's first pixels can be drawn (its first change), and
// peak_MiB_above_start the peak resident memory while stepping.
void NextPicture(benchmark::State& state, bool magnified) {
    const std::vector<std::string> photos = SixPhotos();
    const long before = CurrentRss();
    ResetPeakRss();
    MainWindow form({std::filesystem::path(photos.front()).parent_path().string()});
    form.show();
    ProcessUntil([&] { return form.Ui().picture->Picture()->Settled(); });
    if (magnified) {
        for (int i = 0; i < 20; ++i)
            form.StepZoom(5); // up to the 400 % limit
        emit form.Ui().client->ScrollRequested(12000, 8000);
    }
    state.counters["photos"] = form.Model().List().Count();
    double firstTotal = 0;
    for (auto _ : state) {
        // The neighbours of the shown picture are decoded ahead meanwhile.
        const auto pause = std::chrono::steady_clock::now() + std::chrono::milliseconds(4000);
        while (std::chrono::steady_clock::now() < pause)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        const auto start = std::chrono::steady_clock::now();
        form.ShowNext();
        const LoadedPicture& picture = *form.Ui().picture->Picture();
        ProcessUntil([&] { return picture.Drawable() != nullptr; });
        const auto first = std::chrono::steady_clock::now();
        ProcessUntil([&] { return picture.Settled(); });
        benchmark::DoNotOptimize(form.grab());
        const auto settled = std::chrono::steady_clock::now();
        firstTotal += std::chrono::duration<double, std::milli>(first - start).count();
        state.SetIterationTime(std::chrono::duration<double>(settled - start).count());
    }
    state.counters["first_ms"] = benchmark::Counter(firstTotal, benchmark::Counter::kAvgIterations);
    state.counters["zoom_percent"] = static_cast<double>(form.Snapshot().ratio * 100);
    state.counters["peak_MiB_above_start"] = static_cast<double>(PeakRss() - before) / (1 << 20);
}
void BM_NextPictureAtFit(benchmark::State& state) {
    NextPicture(state, false);
}
void BM_NextPictureAt400Percent(benchmark::State& state) {
    NextPicture(state, true);
}
BENCHMARK(BM_NextPictureAtFit)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);
BENCHMARK(BM_NextPictureAt400Percent)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(6);

// The slideshow through six 24-megapixel photos at its 2-second interval, fitted: how late each
// change is against its due time. An iteration is one change; its time is from the step's due
// time until the new picture is painted (its first pixels), the counter settled_late_ms until
// its full-size pixels are, and worst_late_ms the latest change. Each change has the interval
// for its neighbour to be decoded ahead, as the slideshow gives it.
void BM_SlideshowChangeLateness24MP(benchmark::State& state) {
    const std::vector<std::string> photos = SixPhotos();
    MainWindow form({std::filesystem::path(photos.front()).parent_path().string()});
    form.show();
    ProcessUntil([&] { return form.Ui().picture->Picture()->Settled(); });
    form.SlideshowEvery<2>();
    form.ToggleSlideshow();
    double settledTotal = 0;
    double worst = 0;
    for (auto _ : state) {
        const int from = form.Model().List().Index();
        const auto now = std::chrono::steady_clock::now();
        const auto due = now + form.Model().Slides().UntilDue(now);
        ProcessUntil([&] { return form.Model().List().Index() != from; });
        const LoadedPicture& picture = *form.Ui().picture->Picture();
        ProcessUntil([&] { return picture.Drawable() != nullptr; });
        form.Ui().picture->repaint();
        const auto painted = std::chrono::steady_clock::now();
        ProcessUntil([&] { return picture.Settled(); });
        form.Ui().picture->repaint();
        const auto settled = std::chrono::steady_clock::now();
        const double late = std::chrono::duration<double, std::milli>(painted - due).count();
        worst = std::max(worst, late);
        settledTotal += std::chrono::duration<double, std::milli>(settled - due).count();
        state.SetIterationTime(std::max(late, 0.0) / 1000);
    }
    form.StopSlideshow();
    state.counters["settled_late_ms"] =
        benchmark::Counter(settledTotal, benchmark::Counter::kAvgIterations);
    state.counters["worst_late_ms"] = worst;
}
BENCHMARK(BM_SlideshowChangeLateness24MP)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(12);

// 100,000 files in 100 folders of 10 subfolders each, two thirds named .jpg/.JPG.
const std::string& BigTree() {
    static fixtures::TempDir dir("tessaly-bench-tree");
    static const std::string root = [] {
        const std::string r = (dir / "tree").string();
        int n = 0;
        for (int a = 0; a < 100; ++a)
            for (int b = 0; b < 10; ++b) {
                const std::string folder = r + "/d" + std::to_string(a) + "/e" + std::to_string(b);
                std::filesystem::create_directories(folder);
                for (int c = 0; c < 100; ++c, ++n) {
                    const char* ext = n % 3 == 0 ? ".JPG" : n % 3 == 1 ? ".jpg" : ".png";
                    std::ofstream(folder + "/Img" + std::to_string(n) + ext);
                }
            }
        return r;
    }();
    return root;
}

void BM_BuildListInViewer100k(benchmark::State& state) {
    const std::string& root = BigTree();
    for (auto _ : state) {
        FileListType list;
        bool aborted = false;
        SearchFiles(root, list, ".JPG", aborted);
        SortFileList(list);
        benchmark::DoNotOptimize(list.data());
        state.counters["files"] = static_cast<double>(list.size());
    }
}
BENCHMARK(BM_BuildListInViewer100k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_FindAndSort100k(benchmark::State& state) {
    const std::string command = "find '" + BigTree() + "' -iname '*.jpg' | sort -f > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("find | sort failed");
}
BENCHMARK(BM_FindAndSort100k)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
