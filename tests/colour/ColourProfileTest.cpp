#include "colour/ColourProfile.h"

#include "colour/ColourTransform.h"
#include "tests/support/IccFixtures.h"

#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <memory>
#include <optional>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// The bytes of a profile with a 32-bit big-endian field replaced.
Bytes WithField(Bytes profile, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        profile[at + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return profile;
}

std::string BrokenReason(const Bytes& bytes) {
    try {
        ColourProfile::FromIcc(bytes);
    } catch (const BrokenProfile& e) {
        return e.what();
    }
    return "(opened)";
}

// Every pixel converted by a transform made here with lcms directly, one pixel at a time.
Bitmap ReferenceConversion(const Bitmap& in, const Bytes& from) {
    cmsHPROFILE source =
        cmsOpenProfileFromMem(from.data(), static_cast<cmsUInt32Number>(from.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM t =
        cmsCreateTransform(source, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    Bitmap out = in;
    for (int y = 0; y < in.Height(); ++y)
        for (int x = 0; x < in.Width(); ++x)
            cmsDoTransform(t, in.Row(y) + 3 * x, out.Row(y) + 3 * x, 1);
    cmsDeleteTransform(t);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    return out;
}

} // namespace

TEST(ColourProfile, OpensProfilesAndTellsTheirColourSpace) {
    EXPECT_EQ(ColourProfile::Srgb().ColourSpace(), ColourProfile::Space::Rgb);
    EXPECT_TRUE(ColourProfile::Srgb().IsBuiltInSrgb());
    const ColourProfile adobe = ColourProfile::FromIcc(AdobeRgbProfile());
    EXPECT_EQ(adobe.ColourSpace(), ColourProfile::Space::Rgb);
    EXPECT_EQ(adobe.Bytes(), AdobeRgbProfile());
    EXPECT_EQ(ColourProfile::FromIcc(GreyProfile()).ColourSpace(), ColourProfile::Space::Grey);
}

// Cut off, sizes that do not match, tags beyond the end, not a profile: refused with a reason
// instead of opened with tags missing.
TEST(ColourProfile, ABrokenProfileIsRefusedWithTheReason) {
    const Bytes good = AdobeRgbProfile();
    EXPECT_NE(BrokenReason(Bytes(good.begin(), good.begin() + 100)).find("cut off"),
              std::string::npos);
    EXPECT_NE(BrokenReason(Bytes(good.begin(), good.end() - 10)).find("cut off"),
              std::string::npos);
    EXPECT_NE(BrokenReason(WithField(good, 0, 64)).find("less than its header"), std::string::npos);
    EXPECT_NE(BrokenReason(WithField(good, 128, 100000)).find("tag table"), std::string::npos);
    // The first tag's size reaching one byte beyond the profile.
    const std::uint32_t firstOffset =
        cmsUInt32Number(good[136]) << 24 | good[137] << 16 | good[138] << 8 | good[139];
    EXPECT_NE(BrokenReason(WithField(good, 140, std::uint32_t(good.size()) - firstOffset + 1))
                  .find("tag 1 of"),
              std::string::npos);
    EXPECT_NE(BrokenReason(WithField(good, 36, 0x12345678)).find("cannot be read"),
              std::string::npos); // no 'acsp' signature: Little CMS's own reason follows
    EXPECT_NE(BrokenReason(WithField(good, 12, 0x6C696E6B)).find("device"), // a device link
              std::string::npos);
}

// Every pixel as Little CMS converts it one by one, also in a rectangle of a bitmap whose
// other pixels stay as they were.
TEST(ColourTransform, ConvertsRowsInPlaceAsLittleCmsDoes) {
    const Bitmap picture = GradientBitmap(67, 41, 3);
    const ColourTransform transform(ColourProfile::FromIcc(AdobeRgbProfile()),
                                    ColourProfile::Srgb());
    const Bitmap expected = ReferenceConversion(picture, AdobeRgbProfile());
    EXPECT_FALSE(expected.SamePixels(picture));
    Bitmap whole = picture;
    transform.Apply(whole);
    EXPECT_TRUE(whole.SamePixels(expected));

    Bitmap part = picture;
    transform.Apply(part, 10, 5, 30, 20);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const bool inside = x >= 10 && x < 40 && y >= 5 && y < 25;
            const Bitmap& want = inside ? expected : picture;
            ASSERT_EQ(std::memcmp(part.Row(y) + 3 * x, want.Row(y) + 3 * x, 3), 0) << x << "," << y;
        }
    EXPECT_THROW(transform.Apply(part, 60, 0, 10, 5), std::invalid_argument);
}

// The swapped profile's red is the display's green: blue, green and red arrive in their
// places through the transform.
TEST(ColourTransform, SwappedRedAndGreenExchangesThem) {
    Bitmap red = SolidBitmap(4, 2, 0, 0, 255);
    ColourTransform(ColourProfile::FromIcc(SwappedRedGreenProfile()), ColourProfile::Srgb())
        .Apply(red);
    const std::uint8_t* p = red.Row(1) + 3;
    EXPECT_LT(p[0], 60);  // blue
    EXPECT_GT(p[1], 200); // green
    EXPECT_LT(p[2], 120); // red
}

// A grey profile converts a grey picture (three equal bytes) to three equal bytes again.
TEST(ColourTransform, AGreyProfileReadsTheGreyOfEachPixel) {
    Bitmap grey = SolidBitmap(3, 3, 100, 100, 100);
    ColourTransform(ColourProfile::FromIcc(GreyProfile()), ColourProfile::Srgb()).Apply(grey);
    const std::uint8_t* p = grey.Row(2) + 6;
    EXPECT_NE(p[0], 100); // gamma 1.8 against sRGB's curve
    EXPECT_NEAR(p[0], p[1], 1);
    EXPECT_NEAR(p[1], p[2], 1);
    EXPECT_THROW(ColourTransform(ColourProfile::Srgb(), ColourProfile::FromIcc(GreyProfile())),
                 BrokenProfile);
}

// Real profiles, as colour settings and cameras write them (Debian's colord-data).
TEST(ColourProfile, RealRgbProfilesOpenAndConvert) {
    const std::filesystem::path folder = "/usr/share/color/icc/colord";
    if (!std::filesystem::is_directory(folder))
        GTEST_SKIP() << "colord-data is not installed";
    int opened = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".icc")
            continue;
        std::optional<ColourProfile> profile;
        try {
            profile = ColourProfile::FromIcc(ReadFile(entry.path()));
        } catch (const BrokenProfile&) {
            continue; // the named colours of x11-colors.icc and Crayons.icc
        }
        if (profile->ColourSpace() != ColourProfile::Space::Rgb)
            continue;
        Bitmap pixels = GradientBitmap(8, 8);
        EXPECT_NO_THROW(ColourTransform(*profile, ColourProfile::Srgb()).Apply(pixels))
            << entry.path();
        ++opened;
    }
    EXPECT_GE(opened, 20);
}
