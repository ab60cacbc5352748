// The neighbours decoded ahead by the main window: each at the size it will be shown at, so
// that its copy answers its first decode when it is shown; and the first picture, decoded from
// the program's start before the window exists.
#include "resample/DisplayScale.h"
#include "tests/support/ExifBuilder.h"
#include "tests/viewer/MainWindowFixture.h"

#include <QApplication>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// The default decoders, counting their calls: the path and the size asked for (0 x 0 for a
// full-size decode), and how many of each path's decodes have returned.
class CountingDecoders {
public:
    struct Call {
        std::string path;
        int width = 0;
        int height = 0;
        bool operator==(const Call&) const = default;
    };

    PictureDecoders Make() {
        PictureDecoders decoders = DefaultPictureDecoders();
        decoders.decodeScaled = [this, scaled = decoders.decodeScaled](
                                    const std::string& path, int width, int height,
                                    const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
            const Counted counted(*this, {path, width, height});
            return scaled(path, width, height, cancel, fullWidth, fullHeight);
        };
        decoders.decodeDisplay =
            [this, display = decoders.decodeDisplay](const std::string& path, int width, int height,
                                                     const CancelFlag& cancel, int& fullWidth,
                                                     int& fullHeight, bool& exact) {
                const Counted counted(*this, {path, width, height});
                return display(path, width, height, cancel, fullWidth, fullHeight, exact);
            };
        decoders.decodeFull = [this, full = decoders.decodeFull](const std::string& path,
                                                                 const CancelFlag& cancel) {
            const Counted counted(*this, {path, 0, 0});
            return full(path, cancel);
        };
        return decoders;
    }
    std::vector<Call> Calls(const std::string& path) const {
        const std::lock_guard lock(mutex_);
        std::vector<Call> calls;
        for (const Call& c : calls_)
            if (c.path == path)
                calls.push_back(c);
        return calls;
    }
    // Every decode of `path` asked for so far has returned.
    bool Done(const std::string& path) const {
        const std::lock_guard lock(mutex_);
        const auto asked = std::count_if(calls_.begin(), calls_.end(),
                                         [&](const Call& c) { return c.path == path; });
        const auto at = returned_.find(path);
        return asked > 0 && at != returned_.end() && at->second == asked;
    }

private:
    struct Counted {
        Counted(CountingDecoders& d, Call call) : decoders(d), path(call.path) {
            const std::lock_guard lock(decoders.mutex_);
            decoders.calls_.push_back(std::move(call));
        }
        ~Counted() {
            const std::lock_guard lock(decoders.mutex_);
            ++decoders.returned_[path];
        }
        CountingDecoders& decoders;
        std::string path;
    };
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::map<std::string, long> returned_;
};

class NeighbourTest : public MainWindowTest {
protected:
    // The window and its pipeline go before the counting decoders they call.
    ~NeighbourTest() override { form_.reset(); }
    MainWindow& OpenCounting(std::vector<std::string> paths, bool asStored = false) {
        form_ = std::make_unique<MainWindow>(std::move(paths), nullptr, counting_.Make(),
                                             ShowingOptions{nullptr, asStored});
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        WaitForPixels();
        return *form_;
    }
    std::string WriteTurned(const std::string& name, int width, int height) {
        const auto path = dir_ / name;
        fixtures::WriteFile(
            path,
            fixtures::EncodeJpeg(fixtures::SolidBitmap(width, height, 10, 20, 30),
                                 {.quality = 50, .segments = {fixtures::OrientationSegment(6)}}));
        return path.string();
    }
    // Until the neighbours' decodes have returned.
    void WaitForNeighbours(const std::vector<std::string>& paths) {
        for (const std::string& path : paths)
            EXPECT_TRUE(WaitUntil([&] { return counting_.Done(path); })) << path;
    }
    // Steps to the next picture, `next`, until it is settled: the decodes of its file made
    // meanwhile.
    std::vector<CountingDecoders::Call> StepTo(MainWindow& f, const std::string& next) {
        const std::size_t before = counting_.Calls(next).size();
        f.ShowNext();
        EXPECT_EQ(f.Model().List().Path(f.Model().List().Index()), next);
        WaitForPixels();
        std::vector<CountingDecoders::Call> calls = counting_.Calls(next);
        calls.erase(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(before));
        return calls;
    }
    using Calls = std::vector<CountingDecoders::Call>;
    CountingDecoders counting_;
};

} // namespace

// At fit, a landscape picture's neighbours are a portrait picture and one stored landscape but
// turned upright by its orientation tag: each is decoded ahead once, at its own fitted shape
// (as its pixels are stored), and shown from that copy: only the full-size decode follows.
TEST_F(NeighbourTest, AtFitEachNeighbourIsDecodedOnceAtItsOwnShape) {
    WriteJpeg(dir_, "a.jpg", 1200, 800);
    const std::string portrait = WriteJpeg(dir_, "b.jpg", 800, 1200);
    const std::string turned = WriteTurned("c.jpg", 1200, 800);
    MainWindow& f = OpenCounting({dir_.path().string()});
    ASSERT_EQ(f.Model().List().Count(), 3);
    WaitForNeighbours({portrait, turned});
    // In the area of 585 x 394, 800 x 1200 is shown at 262 x 394.
    EXPECT_EQ(counting_.Calls(portrait), (Calls{{portrait, 262, 394}}));
    EXPECT_EQ(counting_.Calls(turned), (Calls{{turned, 394, 262}}));
    EXPECT_EQ(StepTo(f, portrait), (Calls{{portrait, 0, 0}}));
    EXPECT_EQ(StepTo(f, turned), (Calls{{turned, 0, 0}}));
}

// Shown as stored (--as-stored), a file turned by its orientation tag is shown in its stored
// shape, and so is its neighbour's copy made.
TEST_F(NeighbourTest, AsStoredATurnedNeighbourKeepsItsStoredShape) {
    WriteJpeg(dir_, "a.jpg", 1200, 800);
    const std::string turned = WriteTurned("b.jpg", 1200, 800);
    MainWindow& f = OpenCounting({dir_.path().string()}, true);
    WaitForNeighbours({turned});
    EXPECT_EQ(counting_.Calls(turned), (Calls{{turned, 585, 390}}));
    EXPECT_EQ(StepTo(f, turned), (Calls{{turned, 0, 0}}));
}

// Zoomed in to 400 % (the zoom is kept from picture to picture), the next picture is shown at
// four times its size: its neighbour's decode is the picture at full size, which answers its
// first decode and its full one.
TEST_F(NeighbourTest, ZoomedInTheNextPictureIsAnsweredByItsNeighboursDecode) {
    WriteJpeg(dir_, "a.jpg", 1200, 800);
    const std::string next = WriteJpeg(dir_, "b.jpg", 1200, 800);
    WriteJpeg(dir_, "c.jpg", 1200, 800);
    MainWindow& f = OpenCounting({dir_.path().string()});
    WaitForNeighbours({next});
    for (int i = 0; i < 20; ++i)
        f.StepZoom(5); // up to the 400 % limit
    ASSERT_EQ(f.Model().Mode(), ViewMode::Zoomed);
    // Zooming decodes no neighbour again by itself; showing a picture does.
    f.ShowPrevious();
    WaitForPixels();
    // b: its copy at fit, then at full size as a neighbour of the picture shown at 400 %.
    ASSERT_TRUE(
        WaitUntil([&] { return counting_.Calls(next).size() == 2 && counting_.Done(next); }));
    EXPECT_EQ(counting_.Calls(next), (Calls{{next, 585, 390}, {next, 0, 0}}));
    f.ShowNext(); // back to a, whose neighbours are b (ahead) and c, each at full size
    WaitForPixels();
    EXPECT_EQ(StepTo(f, next), Calls{});
    EXPECT_NEAR(static_cast<double>(f.Snapshot().ratio), 4.0, 0.01);
}

namespace {

Bitmap Grabbed(QWidget& control) {
    const QImage image = control.grab().toImage().convertToFormat(QImage::Format_BGR888);
    Bitmap out = Bitmap::Uninitialized(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.Row(y), image.constScanLine(y), 3 * static_cast<std::size_t>(out.Width()));
    return out;
}

} // namespace

// The first picture decoded as the program starts, aimed before the window exists, is the
// window's first decode (not decoded again), and what the window drew from it stays drawn at
// fit once the full picture has come (which the test holds back until the copy is drawn): the
// picture at fit changes once, however the full picture's reduction differs.
TEST_F(NeighbourTest, FirstPictureDecodedAtStartIsAdoptedAndStaysDrawnAtFit) {
    const std::string path = (dir_ / "a.jpg").string();
    fixtures::WriteFile(path, fixtures::EncodeJpeg(fixtures::PhotoLikeBitmap(1200, 800)));
    std::mutex mutex;
    std::condition_variable changed;
    bool fullMayGo = false;
    PictureDecoders decoders = counting_.Make();
    decoders.decodeFull = [&, full = decoders.decodeFull](const std::string& file,
                                                          const CancelFlag& cancel) {
        std::unique_lock lock(mutex);
        while (!fullMayGo && !cancel.Cancelled())
            changed.wait_for(lock, std::chrono::milliseconds(1));
        lock.unlock();
        return full(file, cancel);
    };
    const FitSize aim = MainWindow::FirstShownSize(false, qApp->devicePixelRatio());
    ShowingOptions showing;
    showing.early = std::make_unique<EarlyDecode>(decoders, path);
    showing.early->Aim(aim);
    form_ = std::make_unique<MainWindow>(std::vector<std::string>{path}, nullptr, decoders,
                                         std::move(showing));
    form_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    PictureControl& control = *form_->Ui().picture;
    ASSERT_TRUE(WaitUntil([&] { return control.Picture()->Drawable() != nullptr; }));
    const Bitmap fromCopy = Grabbed(control);
    {
        const std::lock_guard lock(mutex);
        fullMayGo = true;
    }
    changed.notify_all();
    WaitForPixels();

    const Size asked = aim({1200, 800}, false);
    EXPECT_EQ(counting_.Calls(path), (Calls{{path, asked.width, asked.height}, {path, 0, 0}}));
    const Bitmap settled = Grabbed(control);
    EXPECT_TRUE(settled.SamePixels(fromCopy));
    const DecodedPicture full = DefaultPictureDecoders().decodeFull(path, CancelFlag());
    EXPECT_FALSE(settled.SamePixels(ReduceForDisplay(full, settled.Width(), settled.Height())));
}
