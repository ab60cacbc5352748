// The shown picture's state: moved on only by the picture pipeline's results, and never back.
#include "pictures/LoadedPicture.h"

#include <gtest/gtest.h>
#include <memory>

using namespace tessaly;

namespace {

PictureResult Delivered(PictureKind kind, int width, int height) {
    PictureResult result;
    result.kind = kind;
    result.pixels = std::make_shared<const DecodedPicture>(Bitmap(width, height));
    return result;
}

PictureResult DecodeFailed() {
    PictureResult result;
    result.errorText = "broken";
    return result;
}

} // namespace

TEST(LoadedPicture, FullPictureOrFailureIsFinalAndAFailedPictureDrawsNothing) {
    const PictureResult copy = Delivered(PictureKind::ScreenCopy, 40, 30);
    const PictureResult full = Delivered(PictureKind::Full, 400, 300);

    LoadedPicture shown(400, 300);
    EXPECT_TRUE(std::holds_alternative<LoadedPicture::Waiting>(shown.Current()));
    EXPECT_EQ(shown.Drawable(), nullptr);
    shown.Deliver(copy);
    EXPECT_FALSE(shown.Settled());
    EXPECT_EQ(shown.Drawable(), copy.pixels.get());
    EXPECT_EQ(shown.FullPixels(), nullptr);
    shown.Deliver(full);
    shown.Deliver(copy);
    shown.Deliver(DecodeFailed());
    EXPECT_TRUE(shown.Settled());
    EXPECT_EQ(shown.Drawable(), full.pixels.get());
    EXPECT_EQ(shown.FullPixels(), full.pixels.get());
    EXPECT_EQ(shown.Error(), "");

    LoadedPicture broken(400, 300);
    broken.Deliver(copy);
    broken.Deliver(DecodeFailed());
    broken.Deliver(full);
    EXPECT_TRUE(broken.Settled());
    EXPECT_EQ(broken.Drawable(), nullptr) << "the screen copy is dropped with the failure";
    EXPECT_EQ(broken.FullPixels(), nullptr);
    EXPECT_EQ(broken.Error(), "broken");
}

TEST(LoadedPicture, StandInIsDrawnOnlyUntilThePicturesOwnPixelsComeAndNeverFailsThePicture) {
    const PictureResult standIn = Delivered(PictureKind::StandIn, 16, 12);
    const PictureResult copy = Delivered(PictureKind::ScreenCopy, 40, 30);
    PictureResult noPreview = DecodeFailed();
    noPreview.kind = PictureKind::StandIn;

    LoadedPicture shown(400, 300);
    shown.Deliver(noPreview);
    EXPECT_TRUE(std::holds_alternative<LoadedPicture::Waiting>(shown.Current()));
    shown.Deliver(standIn);
    EXPECT_TRUE(shown.ShowsStandIn());
    EXPECT_FALSE(shown.Settled());
    EXPECT_EQ(shown.Drawable(), standIn.pixels.get());
    EXPECT_EQ(shown.FullPixels(), nullptr);
    EXPECT_EQ(shown.Width(), 400) << "the header's size, not the preview's";
    shown.Deliver(copy);
    shown.Deliver(standIn);
    EXPECT_FALSE(shown.ShowsStandIn());
    EXPECT_EQ(shown.Drawable(), copy.pixels.get());

    const PictureResult full = Delivered(PictureKind::Full, 400, 300);
    LoadedPicture settled(400, 300);
    settled.Deliver(full);
    settled.Deliver(standIn);
    EXPECT_EQ(settled.Drawable(), full.pixels.get());
}
