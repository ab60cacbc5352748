// Pictures as they were taken: shown upright by their orientation and in their colour
// profile's colours converted to the display's; copies and picks upright, with the profile.
#include "MainWindowFixture.h"
#include "colour/DisplayColours.h"
#include "jpeg/JpegDecoder.h"
#include "pick/PickImage.h"
#include "pick/PickWindow.h"
#include "picture/AreaCut.h"
#include "picture/UprightPixels.h"
#include "resample/DisplayScale.h"
#include "tests/picture/UprightReference.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/IccFixtures.h"
#include "ui/BitmapView.h"

#include <QClipboard>
#include <QColorSpace>
#include <QGuiApplication>
#include <QScopeGuard>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <future>
#include <lcms2.h>

using namespace tessaly;
using namespace tessaly::testing;
using fixtures::Bytes;

namespace {

// What a control shows, as 24-bit pixels.
Bitmap Shown(QWidget& control) {
    const QImage image = control.grab().toImage().convertToFormat(QImage::Format_BGR888);
    Bitmap out = Bitmap::Uninitialized(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(out.Row(y), image.constScanLine(y), 3 * static_cast<std::size_t>(out.Width()));
    return out;
}

// The largest difference of two bitmaps of one size in any byte (256 when the sizes differ).
int LargestDifference(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 256;
    int largest = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < 3 * a.Width(); ++x)
            largest = std::max(largest, std::abs(a.Row(y)[x] - b.Row(y)[x]));
    return largest;
}

// Little CMS's own conversion of the pixels from one profile to another (empty: sRGB),
// perceptual.
Bitmap LcmsConverted(Bitmap pixels, const Bytes& from, const Bytes& to) {
    const auto open = [](const Bytes& profile) {
        return profile.empty() ? cmsCreate_sRGBProfile()
                               : cmsOpenProfileFromMem(
                                     profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    };
    cmsHPROFILE source = open(from);
    cmsHPROFILE target = open(to);
    cmsHTRANSFORM transform =
        cmsCreateTransform(source, TYPE_BGR_8, target, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    for (int y = 0; y < pixels.Height(); ++y)
        cmsDoTransform(transform, pixels.Row(y), pixels.Row(y),
                       static_cast<cmsUInt32Number>(pixels.Width()));
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(target);
    return pixels;
}

class UprightColourTest : public MainWindowTest {
protected:
    // Writes `name` with these marker segments and returns the path and the decoded pixels.
    std::string Write(const std::string& name, const Bitmap& picture, std::vector<Bytes> segments) {
        const Bytes jpeg =
            fixtures::EncodeJpeg(picture, {.quality = 95, .segments = std::move(segments)});
        stored_ = DecodeJpeg(jpeg);
        const auto path = dir_ / name;
        fixtures::WriteFile(path, jpeg);
        return path.string();
    }
    MainWindow& OpenWith(const std::string& path, ShowingOptions showing) {
        form_ = std::make_unique<MainWindow>(std::vector<std::string>{path}, nullptr,
                                             DefaultPictureDecoders(), std::move(showing));
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        WaitForPixels();
        return *form_;
    }
    Bitmap stored_;
};

} // namespace

TEST_F(UprightColourTest, EveryOrientationIsShownCopiedAndPickedUpright) {
    for (std::uint16_t code = 1; code <= 8; ++code) {
        SCOPED_TRACE(code);
        const std::string path =
            Write("o" + std::to_string(code) + ".jpg", fixtures::GradientBitmap(60, 40, code),
                  {fixtures::OrientationSegment(code)});
        const Bitmap upright = ReferenceUpright(stored_, OrientationFromCode(code));
        MainWindow& f = Open({path});
        // Smaller than the client area: shown at its natural size, upright.
        ASSERT_EQ(ImageBounds().size(), QSize(upright.Width(), upright.Height()));
        EXPECT_TRUE(Shown(*f.Ui().picture).SamePixels(upright));
        // Copied and picked in upright coordinates, white beyond the upright picture.
        f.ToggleSelection();
        PlaceSelection(f, QRect(ImageBounds().x() + 30, ImageBounds().y() + 7, 20, 30));
        const Bitmap expected = CutArea(upright, 30, 7, 20, 30);
        f.Ui().copyAreaItem->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888),
                  BitmapCopy(expected));
        f.Ui().pickAreaItem->trigger();
        ASSERT_TRUE(f.CurrentPickWindow());
        EXPECT_TRUE(f.CurrentPickWindow()->picture->Picture().SamePixels(expected));
    }
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(UprightColourTest, TurnedPicturesAreReducedAsStoredAndMagnifiedUpright) {
    // Fitted: the stored pixels reduced to the stored shape of the control, then turned.
    const std::string large = Write("large.jpg", fixtures::GradientBitmap(1200, 900, 5),
                                    {fixtures::OrientationSegment(8)});
    MainWindow& f = Open({large});
    const QSize control = ImageBounds().size();
    ASSERT_LT(control.width(), 900);
    const DecodedPicture& full = *f.Ui().picture->Picture()->FullPixels();
    EXPECT_TRUE(
        Shown(*f.Ui().picture)
            .SamePixels(TurnUpright(ReduceForDisplay(full, control.height(), control.width()),
                                    Orientation::QuarterAnticlockwise)));
    // Magnified: each upright pixel covers a block of the control.
    const std::string small =
        Write("small.jpg", fixtures::GradientBitmap(30, 20, 6), {fixtures::OrientationSegment(7)});
    const Bitmap upright = ReferenceUpright(stored_, Orientation::Transversed);
    MainWindow& g = Open({small});
    for (int step = 0; step < 20 && ImageBounds().width() < 3 * upright.Width(); ++step)
        g.ZoomIn5();
    const QSize zoomed = ImageBounds().size();
    ASSERT_GE(zoomed.width(), 3 * upright.Width());
    const Bitmap shown = Shown(*form_->Ui().picture);
    for (int j = 0; j < upright.Height(); ++j)
        for (int i = 0; i < upright.Width(); ++i) {
            const int x = (2 * i + 1) * zoomed.width() / (2 * upright.Width());
            const int y = (2 * j + 1) * zoomed.height() / (2 * upright.Height());
            ASSERT_EQ(std::memcmp(shown.Row(y) + 3 * x, upright.Row(j) + 3 * i, 3), 0)
                << i << ", " << j;
        }
}

TEST_F(UprightColourTest, ProfilesAreShownInTheDisplaysColours) {
    const Bitmap picture = fixtures::GradientBitmap(60, 40, 9);
    const Bytes swapped = fixtures::SwappedRedGreenProfile();
    const Bytes adobe = fixtures::AdobeRgbProfile();
    const std::string tagged = Write("swapped.jpg", picture, fixtures::IccSegments(swapped));
    const Bitmap decoded = stored_;
    const std::string plain = Write("plain.jpg", picture, {});
    // No display profile: a picture without one is shown as decoded, byte for byte.
    EXPECT_TRUE(Shown(*Open({plain}).Ui().picture).SamePixels(decoded));
    EXPECT_LE(
        LargestDifference(Shown(*Open({tagged}).Ui().picture), LcmsConverted(decoded, swapped, {})),
        2);
    // The display's profile: every picture is converted to it.
    DisplayColours display(adobe);
    // The window listens to the display's colours: it goes first.
    const auto windowFirst = qScopeGuard([this] { form_.reset(); });
    EXPECT_LE(LargestDifference(Shown(*OpenWith(plain, {&display}).Ui().picture),
                                LcmsConverted(decoded, {}, adobe)),
              2);
    MainWindow& f = OpenWith(tagged, {&display});
    EXPECT_LE(LargestDifference(Shown(*f.Ui().picture), LcmsConverted(decoded, swapped, adobe)), 2);
    // Copies keep the decoded pixels with the profile; a pick draws them converted and saves
    // them with it.
    f.ToggleSelection();
    PlaceSelection(f, QRect(ImageBounds().x(), ImageBounds().y(), 60, 40));
    f.Ui().copyAreaItem->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    QImage expected = BitmapCopy(decoded);
    expected.setColorSpace(copied.colorSpace());
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB888), expected);
    EXPECT_EQ(copied.colorSpace().iccProfile(),
              QByteArray(reinterpret_cast<const char*>(swapped.data()),
                         static_cast<qsizetype>(swapped.size())));
    f.Ui().pickAreaItem->trigger();
    PickWindow& pick = *f.CurrentPickWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pick));
    EXPECT_LE(LargestDifference(Shown(*pick.picture), LcmsConverted(decoded, swapped, adobe)), 2);
    const auto saved = dir_ / "saved.jpg";
    pick.Output(QString::fromStdString(saved.string()), PickWindow::OutputSize::Actual, false);
    const JpegInfo header = ReadJpegHeader(fixtures::ReadFile(saved));
    EXPECT_EQ(header.iccProfile, swapped);
    EXPECT_EQ(header.orientation, Orientation::AsStored);
    EXPECT_TRUE(boxes_.boxes().empty());
}

// A pick taken while the picture's conversion is still being linked is drawn as decoded until
// the conversion comes, then in its colours; when the link is given up instead (a bound of
// no CPU time), the pick stays as decoded and its saves leave without the profile.
TEST_F(UprightColourTest, APickTakenBeforeTheColoursTakesThemWhenTheyCome) {
    const Bytes swapped = fixtures::SwappedRedGreenProfile();
    const std::string path =
        Write("swapped.jpg", fixtures::GradientBitmap(60, 40, 9), fixtures::IccSegments(swapped));
    const Bitmap decoded = stored_;
    for (const bool givenUp : {false, true}) {
        SCOPED_TRACE(givenUp);
        DisplayColours display({}, givenUp ? std::chrono::milliseconds(0)
                                           : std::chrono::milliseconds(std::chrono::minutes(1)));
        // The colours' worker held until the pick is taken: every link waits behind it.
        std::promise<void> gate;
        std::shared_future<void> opened = gate.get_future().share();
        display.SetDisplayProfileSoon({}, [opened](const std::string&) { opened.wait(); });
        bool released = false;
        const auto release = [&] {
            if (!released)
                gate.set_value();
            released = true;
        };
        // The window listens to the display's colours: it goes first, after the worker is let go.
        const auto windowFirst = qScopeGuard([&] {
            release();
            form_.reset();
        });
        form_ = std::make_unique<MainWindow>(std::vector<std::string>{path}, nullptr,
                                             DefaultPictureDecoders(), ShowingOptions{&display});
        MainWindow& f = *form_;
        f.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
        const PictureControl& control = *f.Ui().picture;
        QDeadlineTimer cap(std::chrono::seconds(60));
        while (!(control.HasPicture() && control.Picture()->Settled()) && !cap.hasExpired())
            QTest::qWait(5);
        ASSERT_TRUE(control.Picture()->Settled()) << "the pixels did not come";
        ASSERT_TRUE(control.ColoursPending());

        f.ToggleSelection();
        PlaceSelection(f, QRect(ImageBounds().x(), ImageBounds().y(), 60, 40));
        f.Ui().pickAreaItem->trigger();
        PickWindow& pick = *f.CurrentPickWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pick));
        EXPECT_TRUE(Shown(*pick.picture).SamePixels(decoded));

        release();
        cap = QDeadlineTimer(std::chrono::seconds(60));
        while (control.ColoursPending() && !cap.hasExpired())
            QTest::qWait(5);
        ASSERT_FALSE(control.ColoursPending()) << "the colours did not come";
        const Bitmap expected = givenUp ? decoded : LcmsConverted(decoded, swapped, {});
        const auto arrived = [&] {
            return givenUp ? pick.Profile().empty()
                           : LargestDifference(Shown(*pick.picture), expected) <= 2;
        };
        while (!arrived() && !cap.hasExpired())
            QTest::qWait(5);
        ASSERT_TRUE(arrived()) << "the pick's colours did not come";
        EXPECT_LE(LargestDifference(Shown(*pick.picture), expected), 2);
        const auto saved = dir_ / "saved.jpg";
        pick.Output(QString::fromStdString(saved.string()), PickWindow::OutputSize::Actual, false);
        EXPECT_EQ(ReadJpegHeader(fixtures::ReadFile(saved)).iccProfile,
                  givenUp ? Bytes() : swapped);
    }
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(UprightColourTest, ABrokenProfileIsShownUnconvertedAndReportedOnce) {
    Bytes cut = fixtures::AdobeRgbProfile();
    cut.resize(cut.size() / 2);
    const std::string path =
        Write("cut.jpg", fixtures::GradientBitmap(60, 40, 2), fixtures::IccSegments(cut));
    ::testing::internal::CaptureStderr();
    MainWindow& f = Open({path});
    f.ShowEntry(1);
    WaitForPixels();
    const std::string reported = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Shown(*f.Ui().picture).SamePixels(stored_));
    const std::size_t first = reported.find("cut.jpg");
    ASSERT_NE(first, std::string::npos) << reported;
    EXPECT_EQ(reported.find("cut.jpg", first + 1), std::string::npos) << reported;
    EXPECT_TRUE(boxes_.boxes().empty());
}
