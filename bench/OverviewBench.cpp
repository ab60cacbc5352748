// The overview's speed on a folder of photos with EXIF thumbnails: the time from Return to
// the first screen of thumbnails with a cold and with a warm shared cache, to all thumbnails
// made (cold), the frame time while scrolling the grid a page at a time, and the process's
// peak resident memory.
//
// Run: build/bench/bench_overview [COUNT [WIDTH HEIGHT]]   (default 1000 photos of 4000 x 3000)
// With TESSALY_BENCH_FIRST_SCREEN_ONLY set, it ends after the cold first screen.
// One photo with a 160 x 120 EXIF thumbnail is written and hard-linked under COUNT names (one
// URI each); XDG_CACHE_HOME points at a fresh folder. QT_QPA_PLATFORM=offscreen is set here.
#include "overview/OverviewGrid.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"
#include "thumbnails/ThumbnailService.h"
#include "viewer/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace tessaly;

namespace {

long PeakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

std::filesystem::path MakeFolder(const fixtures::TempDir& dir, int count, int width, int height) {
    fixtures::ExifBuilder exif;
    exif.Ifd0().Ascii(271, "Maker");
    exif.Thumbnail(fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(160, 120), {.quality = 85}));
    const std::filesystem::path folder = dir.path() / "photos";
    std::filesystem::create_directories(folder);
    const std::filesystem::path first = folder / "p000000.jpg";
    fixtures::WriteFile(
        first,
        fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(width, height),
                             {.quality = 85, .segments = {fixtures::ExifSegment(exif.Build())}}));
    for (int i = 1; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%06d.jpg", i);
        std::filesystem::create_hard_link(first, folder / name);
    }
    return folder;
}

// The processor time the process has used, all its threads, in milliseconds.
double ProcessCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct FirstScreen {
    double ms = 0;    // from Return until every thumbnail of the screen is drawn
    double cpuMs = 0; // the processor time the process used meanwhile
};

// Return pressed in a new main window over `folder` (at once after it is shown, while its
// first picture is being decoded): until the grid's screen has every thumbnail drawn.
FirstScreen ReturnToFirstScreen(MainWindow& window) {
    QElapsedTimer clock;
    bool complete = false;
    const double cpu = ProcessCpuMs();
    clock.start();
    window.PressKey(Qt::Key_Return);
    OverviewGrid& grid = *window.Ui().overview;
    const auto connection =
        QObject::connect(&grid, &OverviewGrid::ScreenComplete, [&] { complete = true; });
    while (!complete)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QObject::disconnect(connection);
    return {clock.nsecsElapsed() / 1e6, ProcessCpuMs() - cpu};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int width = argc > 3 ? std::atoi(argv[2]) : 4000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 3000;
    fixtures::TempDir dir("tessaly-overview-bench");
    const std::filesystem::path folder = MakeFolder(dir, count, width, height);
    const std::filesystem::path cache = dir.path() / "cache";
    std::filesystem::create_directories(cache);
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.string()));
    QApplication app(argc, argv);

    std::printf("%d photos of %d x %d with a 160 x 120 EXIF thumbnail\n", count, width, height);
    {
        MainWindow window({folder.string()});
        window.show();
        const FirstScreen cold = ReturnToFirstScreen(window);
        std::printf("cold cache: first screen %.1f ms (processor %.1f ms)\n", cold.ms, cold.cpuMs);
        std::fflush(stdout);
        if (std::getenv("TESSALY_BENCH_FIRST_SCREEN_ONLY"))
            return 0;
        QElapsedTimer clock;
        clock.start();
        window.Ui().overview->Service().WaitUntilIdle();
        std::printf("cold cache: the rest of the list %.1f ms more\n", clock.nsecsElapsed() / 1e6);
    }
    {
        MainWindow window({folder.string()});
        window.show();
        const FirstScreen warm = ReturnToFirstScreen(window);
        std::printf("warm cache: first screen %.1f ms (processor %.1f ms)\n", warm.ms, warm.cpuMs);

        // A page at a time through the whole grid, each frame painted at once (placeholders
        // where a thumbnail is not there yet): the slowest and the median frame.
        OverviewGrid& grid = *window.Ui().overview;
        QScrollBar& bar = *grid.verticalScrollBar();
        std::vector<double> frames;
        for (int y = 0; y <= bar.maximum(); y += bar.pageStep()) {
            QElapsedTimer frame;
            frame.start();
            bar.setValue(y);
            grid.viewport()->repaint();
            frames.push_back(frame.nsecsElapsed() / 1e6);
        }
        std::sort(frames.begin(), frames.end());
        if (!frames.empty())
            std::printf("scrolling: %zu frames, median %.2f ms, slowest %.2f ms\n", frames.size(),
                        frames[frames.size() / 2], frames.back());
    }
    std::printf("peak resident memory of the process: %.1f MiB\n", PeakResidentKiB() / 1024.0);
    return 0;
}
