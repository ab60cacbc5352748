// How the pick window's picture control draws its picture: reduced smoothly, at actual size
// pixel for pixel, enlarged by repeating pixels, and always from the current picture.
#include "pick/PickImage.h"

#include "PickTestSupport.h"
#include "resample/DisplayScale.h"

namespace tessaly::testing {
namespace {

QImage Drawn(PickImage& image) {
    return image.grab().toImage();
}

TEST(PickImage, DrawsTheBoxFilteredReductionWhenSmallerThanThePicture) {
    PickImage image;
    const Bitmap picture = fixtures::GradientBitmap(1000, 600, 2);
    image.SetPicture(picture);
    image.resize(296, 178);
    EXPECT_TRUE(SameImage(Drawn(image), ReduceForDisplay(picture, 296, 178)));
    // Reduced in one direction only.
    image.resize(1000, 300);
    EXPECT_TRUE(SameImage(Drawn(image), ReduceForDisplay(picture, 1000, 300)));
    // A control above the size of a whole reduced copy is reduced part by part: the same
    // pixels, also where the parts meet.
    const Bitmap large = fixtures::GradientBitmap(2600, 1800, 5);
    image.SetPicture(large);
    image.resize(2500, 1700);
    EXPECT_TRUE(SameImage(Drawn(image), ReduceForDisplay(large, 2500, 1700)));
    QImage parts(2500, 1700, QImage::Format_RGB32);
    image.render(&parts, QPoint(0, 0), QRegion(0, 0, 1250, 1700));
    image.render(&parts, QPoint(1250, 0), QRegion(1250, 0, 1250, 1700));
    EXPECT_TRUE(SameImage(parts, ReduceForDisplay(large, 2500, 1700)));
}

TEST(PickImage, DrawsThePicturePixelForPixelAtActualSize) {
    PickImage image;
    const Bitmap picture = fixtures::GradientBitmap(123, 77, 4);
    image.SetPicture(picture);
    image.resize(123, 77);
    EXPECT_TRUE(SameImage(Drawn(image), picture));
}

TEST(PickImage, EnlargedPictureRepeatsEachPixel) {
    Bitmap picture(2, 1);
    picture.Row(0)[0] = 255;     // blue pixel on the left
    picture.Row(0)[3 + 2] = 255; // red pixel on the right
    PickImage image;
    image.SetPicture(picture);
    image.resize(4, 2);
    Bitmap expected(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            expected.Row(y)[3 * x + (x < 2 ? 0 : 2)] = 255;
    EXPECT_TRUE(SameImage(Drawn(image), expected));
}

TEST(PickImage, NewPictureReplacesTheReducedCopyOfTheOldOne) {
    PickImage image;
    image.resize(100, 50);
    image.SetPicture(fixtures::SolidBitmap(200, 100, 10, 20, 30));
    ASSERT_TRUE(SameImage(Drawn(image), fixtures::SolidBitmap(100, 50, 10, 20, 30)));
    image.SetPicture(fixtures::SolidBitmap(200, 100, 200, 100, 0));
    EXPECT_TRUE(SameImage(Drawn(image), fixtures::SolidBitmap(100, 50, 200, 100, 0)));
}

TEST(PickImage, EmptyPictureDrawsNothingAndDoesNotFail) {
    PickImage image;
    image.resize(10, 10);
    image.SetPicture(Bitmap());
    EXPECT_EQ(Drawn(image).size(), QSize(10, 10));
    EXPECT_TRUE(image.Picture().Empty());
}

} // namespace
} // namespace tessaly::testing
