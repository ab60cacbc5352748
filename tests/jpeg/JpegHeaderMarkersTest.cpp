// What the header read takes from the marker segments before the first scan: the EXIF
// orientation and the embedded colour profile.
#include "jpeg/JpegDecoder.h"
#include "jpegfile/ExifOrientation.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>
#include <numeric>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

const Bitmap& Picture() {
    static const Bitmap bmp = GradientBitmap(24, 16, 3);
    return bmp;
}

JpegInfo HeaderWith(std::vector<Bytes> segments) {
    const Bytes jpeg = EncodeJpeg(Picture(), {.segments = std::move(segments)});
    return ReadJpegHeader(jpeg);
}

Bytes ExifWithOrientation(ByteOrder order, std::uint16_t code) {
    ExifBuilder exif(order);
    exif.Ifd0().Ascii(271, "Maker").Short(274, code).Rational(282, 72, 1);
    exif.Ifd1().Short(274, 1); // the thumbnail's own orientation does not count
    return ExifSegment(exif.Build());
}

// Bytes that differ from place to place, standing in for a profile (the header read does
// not look inside it).
Bytes ProfileBytes(std::size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{7});
    return bytes;
}

} // namespace

TEST(HeaderOrientation, IsTheFirstDirectorysCodeInEitherByteOrder) {
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola})
        for (std::uint16_t code = 1; code <= 8; ++code)
            EXPECT_EQ(HeaderWith({ExifWithOrientation(order, code)}).orientation,
                      static_cast<Orientation>(code))
                << code;
}

TEST(HeaderOrientation, WithoutAUsableCodeThePictureIsAsStored) {
    EXPECT_EQ(HeaderWith({}).orientation, Orientation::AsStored);
    EXPECT_EQ(HeaderWith({ExifWithOrientation(ByteOrder::Intel, 0)}).orientation,
              Orientation::AsStored);
    EXPECT_EQ(HeaderWith({ExifWithOrientation(ByteOrder::Intel, 9)}).orientation,
              Orientation::AsStored);
    ExifBuilder onlyThumbnail;
    onlyThumbnail.Ifd0().Ascii(271, "Maker");
    onlyThumbnail.Ifd1().Short(274, 6);
    EXPECT_EQ(HeaderWith({ExifSegment(onlyThumbnail.Build())}).orientation, Orientation::AsStored);
    ExifBuilder text;
    text.Ifd0().Ascii(274, "6");
    EXPECT_EQ(HeaderWith({ExifSegment(text.Build())}).orientation, Orientation::AsStored);
}

// Behind the JFIF header and a comment, as cameras write it; a second EXIF segment (an
// editor's copy) does not count.
TEST(HeaderOrientation, ComesFromTheFirstExifSegment) {
    EXPECT_EQ(HeaderWith({CommentSegment(300), ExifWithOrientation(ByteOrder::Motorola, 8),
                          ExifWithOrientation(ByteOrder::Intel, 3)})
                  .orientation,
              Orientation::QuarterAnticlockwise);
}

// A LONG is taken as well as a SHORT; a directory that is cut off, or lies beyond the
// block, gives no code.
TEST(ExifOrientationCode, ReadsOnlyWhatTheBlockHolds) {
    ExifBuilder asLong(ByteOrder::Motorola);
    asLong.Ifd0().Long(274, 6);
    const Bytes tiff = asLong.Build();
    EXPECT_EQ(ExifOrientationCode(tiff), 6u);
    // The TIFF header, the entry count and the one entry: 22 bytes.
    for (std::size_t cut = 0; cut < tiff.size(); ++cut)
        EXPECT_EQ(ExifOrientationCode(std::span(tiff).first(cut)), cut < 22 ? 0u : 6u) << cut;

    ExifBuilder far;
    far.Ifd0().Short(274, 6);
    Bytes farTiff = far.Build();
    farTiff[4] = 0xF0; // IFD0 at offset 0xFFFFFFF0 (Intel order)
    farTiff[5] = farTiff[6] = farTiff[7] = 0xFF;
    EXPECT_EQ(HeaderWith({ExifSegment(farTiff)}).orientation, Orientation::AsStored);
}

TEST(HeaderProfile, AFileWithoutOneHasNoneAndNoProblem) {
    const JpegInfo info = HeaderWith({ExifWithOrientation(ByteOrder::Intel, 6)});
    EXPECT_TRUE(info.iccProfile.empty());
    EXPECT_TRUE(info.iccProblem.empty());
}

// Split over several segments (in a file, so that they cross the 64 KiB pieces libjpeg is
// handed), between other APP2 segments, and joined whole.
TEST(HeaderProfile, IsJoinedFromItsSegments) {
    const Bytes profile = ProfileBytes(200'000);
    std::vector<Bytes> segments = IccSegments(profile, 60'000);
    ASSERT_EQ(segments.size(), 4u);
    segments.insert(segments.begin() + 1, Bytes{0xFF, 0xE2, 0, 8, 'M', 'P', 'F', 0, 1, 2});
    segments.insert(segments.begin(), ExifWithOrientation(ByteOrder::Intel, 6));
    const TempDir dir;
    WriteFile(dir / "profile.jpg", EncodeJpeg(Picture(), {.segments = segments}));
    const JpegInfo info = ReadJpegHeader(RegularFile((dir / "profile.jpg").string()));
    EXPECT_EQ(info.iccProfile, profile);
    EXPECT_TRUE(info.iccProblem.empty());
    EXPECT_EQ(info.orientation, Orientation::QuarterClockwise);
    EXPECT_EQ(info.width, 24);
}

// A profile refused leaves the rest of the header as it is, so the picture still shows.
TEST(HeaderProfile, SegmentsThatDoNotFitTogetherAreRefusedWithTheReason) {
    std::vector<Bytes> gap = IccSegments(ProfileBytes(3000), 1000);
    gap.erase(gap.begin() + 1);
    std::vector<Bytes> twice = IccSegments(ProfileBytes(3000), 1000);
    twice.push_back(twice[0]);
    for (const auto& segments : {gap, twice}) {
        const JpegInfo info = HeaderWith(segments);
        EXPECT_TRUE(info.iccProfile.empty());
        EXPECT_NE(info.iccProblem.find("do not fit together"), std::string::npos)
            << info.iccProblem;
        EXPECT_EQ(info.width, 24);
        EXPECT_EQ(DecodeJpegToKeep(EncodeJpeg(Picture(), {.segments = segments}), info).Width(),
                  24);
    }
}

TEST(HeaderProfile, AnAbsurdProfileIsRefusedWithoutKeepingIt) {
    // 256 segments: more than one byte numbers.
    std::vector<Bytes> many;
    for (int i = 0; i < 256; ++i)
        many.push_back(IccSegments(ProfileBytes(10), 10)[0]);
    const JpegInfo tooMany = HeaderWith(many);
    EXPECT_TRUE(tooMany.iccProfile.empty());
    EXPECT_NE(tooMany.iccProblem.find("more than 255"), std::string::npos) << tooMany.iccProblem;

    // 65 full segments: over 4 MiB.
    const JpegInfo tooLarge = HeaderWith(IccSegments(ProfileBytes(65 * 65519)));
    EXPECT_TRUE(tooLarge.iccProfile.empty());
    EXPECT_NE(tooLarge.iccProblem.find("larger than 4 MiB"), std::string::npos)
        << tooLarge.iccProblem;
    EXPECT_EQ(HeaderWith(IccSegments(ProfileBytes(64 * 65519))).iccProfile.size(), 64u * 65519);
}
