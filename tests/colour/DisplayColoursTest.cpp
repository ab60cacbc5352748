#include "colour/DisplayColours.h"

#include "tests/support/IccFixtures.h"

#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <thread>

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

// A profile whose table chains more elements than are converted with is refused when it is
// opened, before anything links it (a display's the same), and never leaves with a copy.
TEST(DisplayColours, AProfileTooCostlyToLinkIsRefusedBeforeLinking) {
    const Bytes costly = ChainedMatricesProfile(2000);
    DisplayColours colours;
    const ColourConversion conversion = colours.ForPicture(costly, PixelKind::Rgb);
    EXPECT_FALSE(conversion.Needed());
    EXPECT_NE(conversion.problem.find("2000 elements"), std::string::npos) << conversion.problem;
    const DisplayColours onCostly(costly);
    EXPECT_NE(onCostly.DisplayProblem().find("2000 elements"), std::string::npos);
    // A short chain is an ordinary profile.
    EXPECT_TRUE(colours.ForPicture(ChainedMatricesProfile(3), PixelKind::Rgb).Needed());
}

// A link that takes the bound of CPU time or more gives its profile up for the rest of the
// run: the picture is shown as decoded with the reason, and every later ask is answered at
// once with the same reason, without a link, whatever display follows. The display's check
// is bounded the same way.
TEST(DisplayColours, AProfileWhoseLinkReachesTheCpuBoundIsGivenUpForTheRun) {
    DisplayColours colours({}, std::chrono::milliseconds(0));
    JpegInfo header;
    header.iccProfile = AdobeRgbProfile();
    const ColourConversion first = colours.ForPicture(header);
    EXPECT_FALSE(first.Needed());
    EXPECT_NE(first.problem.find("processor time"), std::string::npos) << first.problem;
    const auto noLink = [](const ColourConversion&) { ADD_FAILURE() << "linked again"; };
    std::optional<ColourConversion> again = colours.ForPictureSoon(header, noLink);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->Needed());
    EXPECT_EQ(again->problem, first.problem);

    colours.SetDisplayProfile(SwappedRedGreenProfile());
    EXPECT_NE(colours.DisplayProblem().find("processor time"), std::string::npos)
        << colours.DisplayProblem();
    again = colours.ForPictureSoon(header, noLink);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->problem, first.problem);
    // A picture that needs no link is shown as it was.
    const ColourConversion plain = colours.ForPicture({}, PixelKind::Rgb);
    EXPECT_FALSE(plain.Needed());
    EXPECT_TRUE(plain.problem.empty());
}

// A conversion not kept is made on the worker and handed over there; a kept one at once.
TEST(DisplayColours, ALinkIsMadeOnTheWorkerAndThenKnown) {
    DisplayColours colours;
    JpegInfo header;
    header.iccProfile = AdobeRgbProfile();
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<ColourConversion> made;
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id maker;
    EXPECT_FALSE(colours.ForPictureSoon(header, [&](const ColourConversion& c) {
        const std::lock_guard lock(mutex);
        made = c;
        maker = std::this_thread::get_id();
        arrived.notify_one();
    }));
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::minutes(1), [&] { return made.has_value(); }));
    EXPECT_TRUE(made->Needed());
    EXPECT_NE(maker, caller);
    const std::optional<ColourConversion> known =
        colours.ForPictureSoon(header, [](const ColourConversion&) { ADD_FAILURE(); });
    ASSERT_TRUE(known);
    EXPECT_EQ(known->transform, made->transform);
}

// Copies carry a picture's profile only when the picture is shown with it.
TEST(DisplayColours, CopiesCarryOnlyAcceptedProfiles) {
    Bytes cmykProfile = AdobeRgbProfile();
    cmykProfile[16] = 'C'; // the colour space field: 'CMYK'
    cmykProfile[17] = 'M';
    cmykProfile[18] = 'Y';
    cmykProfile[19] = 'K';
    Bytes cut = AdobeRgbProfile();
    cut.resize(300);
    JpegInfo header;
    for (const Bytes& refused : {GreyProfile(), cmykProfile, cut, ChainedMatricesProfile(100)}) {
        header.iccProfile = refused;
        EXPECT_TRUE(ProfileOfCopies(header).empty());
    }
    header.iccProfile = AdobeRgbProfile();
    EXPECT_EQ(ProfileOfCopies(header), AdobeRgbProfile());
    header.grayscale = true;
    EXPECT_TRUE(ProfileOfCopies(header).empty());
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
