#include "colour/DisplayColours.h"

#include "tests/support/IccFixtures.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

Bitmap Converted(const ColourConversion& conversion) {
    Bitmap pixels = GradientBitmap(16, 16, 2);
    if (conversion.Needed())
        conversion.transform->Apply(pixels);
    return pixels;
}

} // namespace

// No profile on a display without one: nothing to do, and the pixels stay as decoded.
TEST(DisplayColours, NoProfilesNeedNoConversion) {
    DisplayColours colours;
    const ColourConversion none = colours.ForPicture({}, PixelKind::Rgb);
    EXPECT_FALSE(none.Needed());
    EXPECT_TRUE(none.problem.empty());
    EXPECT_TRUE(colours.DisplayProblem().empty());
    JpegInfo header;
    EXPECT_FALSE(colours.ForPicture(header).Needed());
}

// One transform per profile, handed out again for the next picture with the same bytes.
TEST(DisplayColours, APictureProfileIsConvertedOnceForManyPictures) {
    DisplayColours colours;
    const ColourConversion adobe = colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb);
    ASSERT_TRUE(adobe.Needed());
    EXPECT_TRUE(adobe.problem.empty());
    EXPECT_EQ(colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb).transform, adobe.transform);
    const ColourConversion swapped = colours.ForPicture(SwappedRedGreenProfile(), PixelKind::Rgb);
    ASSERT_TRUE(swapped.Needed());
    EXPECT_NE(swapped.transform, adobe.transform);
    EXPECT_FALSE(Converted(adobe).SamePixels(Converted(swapped)));
    EXPECT_EQ(colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb).transform, adobe.transform);
}

TEST(DisplayColours, OnlyTheLastPairsAreKept) {
    DisplayColours colours;
    const auto first = colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb).transform;
    for (std::size_t i = 0; i < DisplayColours::kCachedPairs; ++i) {
        Bytes other = AdobeRgbProfile();
        other[44] = static_cast<std::uint8_t>(i + 1); // the header's flags: another profile
        EXPECT_TRUE(colours.ForPicture(other, PixelKind::Rgb).Needed());
    }
    EXPECT_NE(colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb).transform, first);
}

// With a display profile, a picture without one is converted from sRGB to it, and one with
// the display's own profile is not converted.
TEST(DisplayColours, ADisplayProfileConvertsPicturesWithoutOne) {
    DisplayColours colours(AdobeRgbProfile());
    EXPECT_TRUE(colours.DisplayProblem().empty());
    const ColourConversion srgb = colours.ForPicture({}, PixelKind::Rgb);
    ASSERT_TRUE(srgb.Needed());
    Bitmap expected = GradientBitmap(16, 16, 2);
    ColourTransform(ColourProfile::Srgb(), ColourProfile::FromIcc(AdobeRgbProfile()))
        .Apply(expected);
    EXPECT_TRUE(Converted(srgb).SamePixels(expected));
    EXPECT_FALSE(colours.ForPicture(AdobeRgbProfile(), PixelKind::Rgb).Needed());

    colours.SetDisplayProfile({});
    EXPECT_FALSE(colours.ForPicture({}, PixelKind::Rgb).Needed());
}

// A display profile that cannot be used counts as sRGB, and says why.
TEST(DisplayColours, ABrokenDisplayProfileCountsAsSrgb) {
    const Bytes adobe = AdobeRgbProfile();
    for (const Bytes& display : {Bytes(adobe.begin(), adobe.begin() + 200), GreyProfile()}) {
        DisplayColours colours(display);
        EXPECT_NE(colours.DisplayProblem().find("display's colour profile is not used"),
                  std::string::npos);
        EXPECT_FALSE(colours.ForPicture({}, PixelKind::Rgb).Needed());
        EXPECT_TRUE(colours.ForPicture(adobe, PixelKind::Rgb).Needed());
    }
}

// A profile that cannot be used leaves the pixels as decoded and gives the reason, each time
// it is asked for; a CMYK picture's is not used either, and its pixels count as sRGB.
TEST(DisplayColours, AProfileThatDoesNotFitThePictureIsNotUsed) {
    DisplayColours colours(SwappedRedGreenProfile());
    const Bytes adobe = AdobeRgbProfile();
    Bytes cmyk = adobe;
    cmyk[16] = 'C', cmyk[17] = 'M', cmyk[18] = 'Y', cmyk[19] = 'K'; // the data colour space
    const struct {
        Bytes profile;
        PixelKind kind;
        const char* reason;
        bool convertedFromSrgb;
    } cases[] = {
        {Bytes(adobe.begin(), adobe.end() - 1), PixelKind::Rgb, "cut off", false},
        {GreyProfile(), PixelKind::Rgb, "grey colour profile on a colour picture", false},
        {cmyk, PixelKind::Rgb, "neither RGB nor grey", false},
        {adobe, PixelKind::Cmyk, "CMYK picture", true},
    };
    for (const auto& c : cases)
        for (int ask = 0; ask < 2; ++ask) {
            const ColourConversion conversion = colours.ForPicture(c.profile, c.kind);
            EXPECT_EQ(conversion.Needed(), c.convertedFromSrgb) << c.reason;
            EXPECT_NE(conversion.problem.find(c.reason), std::string::npos) << conversion.problem;
        }
    EXPECT_TRUE(Converted(colours.ForPicture(adobe, PixelKind::Cmyk))
                    .SamePixels(Converted(colours.ForPicture({}, PixelKind::Rgb))));
    EXPECT_TRUE(colours.ForPicture(GreyProfile(), PixelKind::Grey).Needed());
    EXPECT_TRUE(colours.ForPicture(adobe, PixelKind::Grey).Needed());
}

// The header's own reason for refusing a profile is passed on.
TEST(DisplayColours, AProfileTheHeaderReadRefusedIsNotUsed) {
    DisplayColours colours(AdobeRgbProfile());
    JpegInfo header;
    header.iccProblem = "the colour profile is larger than 4 MiB";
    const ColourConversion conversion = colours.ForPicture(header);
    EXPECT_FALSE(conversion.Needed());
    EXPECT_EQ(conversion.problem, header.iccProblem);
}
