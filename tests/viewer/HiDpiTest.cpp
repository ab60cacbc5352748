// Pictures on a screen with two device pixels to each logical pixel (a display scale of 2):
// the windows keep their sizes in logical pixels, and a picture shown reduced keeps the
// detail of the screen's device pixels instead of being enlarged from a copy at the logical
// size. This program sets the scale itself before the application starts, so that no other
// test runs scaled.
#include "MainWindowFixture.h"
#include "pick/PickImage.h"
#include "resample/DisplayScale.h"
#include "tests/pick/PickTestSupport.h"

#include <QApplication>
#include <cstdlib>

using namespace tessaly;
using namespace tessaly::testing;

namespace {

// A grey picture of squares `cell` pixels wide, alternately black and white.
Bitmap Checkerboard(int width, int height, int cell) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.Row(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t v = (x / cell + y / cell) % 2 != 0 ? 255 : 0;
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
        }
    }
    return picture;
}

// The pixels of a grey image that do not stand out from their right or lower neighbour by
// at least half the range: none in a sharp 1-pixel checkerboard, nearly all in a blurred one.
int SoftPixels(const QImage& shot) {
    const QImage grey = shot.convertToFormat(QImage::Format_Grayscale8);
    int soft = 0;
    for (int y = 0; y + 1 < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        const uchar* below = grey.constScanLine(y + 1);
        for (int x = 0; x + 1 < grey.width(); ++x)
            if (std::abs(row[x] - row[x + 1]) < 128 || std::abs(row[x] - below[x]) < 128)
                ++soft;
    }
    return soft;
}

} // namespace

TEST_F(MainWindowTest, FittedPictureShowsTheDetailOfTheDevicePixels) {
    // 2340 x 1576 fits the 585 x 394 panel at a quarter: 1170 x 788 device pixels, each the
    // mean of one 2 x 2 square of the picture, a checkerboard of single device pixels.
    const std::string path = (dir_ / "checks.JPG").string();
    fixtures::WriteFile(path, fixtures::EncodeJpeg(Checkerboard(2340, 1576, 2),
                                                   {.quality = 100, .grayscale = true}));
    MainWindow& f = Open({path});
    ASSERT_EQ(f.devicePixelRatio(), 2.0);
    EXPECT_EQ(f.size(), QSize(585, 394)); // the program's numbers stay logical pixels
    EXPECT_EQ(ImageBounds(), QRect(0, 0, 585, 394));
    EXPECT_EQ(Caption(), QStringLiteral("Tess %1 [25.0%](1/1 files)").arg(Q(path)));
    const QImage shot = f.Ui().picture->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1170, 788));
    EXPECT_EQ(SoftPixels(shot), 0);
}

TEST(PickImageAtScaleTwo, DrawsTheReducedCopyMadeAtTheDeviceSize) {
    PickImage image;
    const Bitmap picture = fixtures::GradientBitmap(1000, 600, 2);
    image.SetPicture(picture);
    image.resize(296, 178);
    ASSERT_EQ(image.devicePixelRatio(), 2.0);
    EXPECT_TRUE(SameImage(image.grab().toImage(), ReduceForDisplay(picture, 592, 356)));
    // At half its size the picture's own pixels land one to a device pixel.
    const Bitmap checks = Checkerboard(300, 200, 1);
    image.SetPicture(checks);
    image.resize(150, 100);
    EXPECT_TRUE(SameImage(image.grab().toImage(), checks));
}

int main(int argc, char** argv) {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
