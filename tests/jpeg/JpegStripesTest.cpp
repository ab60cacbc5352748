#include "jpeg/JpegStripes.h"

#include "jpeg/JpegStripeDecode.h"
#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// How the test files store their colour: the first component's sampling (the others 1 x 1).
struct Sampling {
    const char* name;
    int lumaH;
    int lumaV;
    bool grey = false;
    bool rgb = false;
};

const Sampling kSamplings[] = {
    {"4:2:0", 2, 2},
    {"4:2:2", 2, 1},
    {"4:4:0", 1, 2},
    {"4:4:4", 1, 1},
    {"4:1:1", 4, 1},
    {"grey", 1, 1, true},
    {"grey 2x2", 2, 2, true}, // one component: an MCU of one block, two rows of blocks at once
    {"RGB", 1, 1, false, true},
};

// Where the restart markers are: every this many MCU rows, or every this many MCUs.
struct Spacing {
    const char* name;
    int rows;
    int mcus;
};

const Spacing kSpacings[] = {
    {"every MCU", 0, 1},
    {"every MCU row", 1, 0},
    {"every 3 MCU rows", 3, 0},
    // 203 pixels are 13 MCUs of 4:2:0, 26 blocks: only every fifth row begins an interval.
    {"every 5 MCUs", 0, 5},
};

// Neither the width nor the height is a whole number of MCUs.
constexpr int kWidth = 203;
constexpr int kHeight = 469;

Bytes Encode(const Sampling& s, int restartRows, int restartMcus, int width = kWidth,
             int height = kHeight) {
    return EncodeJpeg(PhotoLikeBitmap(width, height), {.grayscale = s.grey,
                                                       .lumaH = s.lumaH,
                                                       .lumaV = s.lumaV,
                                                       .rgbComponents = s.rgb,
                                                       .restartRows = restartRows,
                                                       .restartMcus = restartMcus});
}

// Bytes in the middle of a restart interval set to 0, the markers left as they are.
Bytes DamagedInsideAnInterval(Bytes jpeg) {
    const std::vector<std::size_t> markers = RestartMarkers(jpeg);
    const std::size_t from = markers[markers.size() / 2] + 10;
    for (std::size_t i = from; i < from + 40; ++i)
        if (jpeg[i] != 0xFF && jpeg[i - 1] != 0xFF && jpeg[i + 1] != 0xFF)
            jpeg[i] = 0;
    return jpeg;
}

// The file cut in the middle of its last restart interval.
Bytes CutInTheLastInterval(Bytes jpeg) {
    const std::size_t last = RestartMarkers(jpeg).back();
    jpeg.resize(last + (jpeg.size() - last) / 2);
    return jpeg;
}

// Every stripe of the plan decoded, last first, into a picture filled with a pattern before.
DecodedPicture DecodeStripes(const JpegStripes& plan) {
    if (plan.MakesPlanes()) {
        YccPlanes planes = plan.NewPlanes();
        for (int i = 0; i < planes.PlaneCount(); ++i)
            std::memset(planes.Row(i, 0), 0x5A,
                        planes.Stride(i) * static_cast<std::size_t>(planes.AllocatedRows(i)));
        for (int i = plan.Count(); i-- > 0;)
            plan.Decode(i, planes);
        return DecodedPicture(std::move(planes));
    }
    Bitmap bitmap = plan.NewBitmap();
    bitmap.Fill(1, 2, 3);
    for (int i = plan.Count(); i-- > 0;)
        plan.Decode(i, bitmap);
    return bitmap;
}

bool SamePlanes(const YccPlanes& a, const YccPlanes& b) {
    if (a.GetLayout() != b.GetLayout() || a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int i = 0; i < a.PlaneCount(); ++i)
        for (int y = 0; y < a.PlaneHeight(i); ++y)
            if (std::memcmp(a.Row(i, y), b.Row(i, y), static_cast<std::size_t>(a.PlaneWidth(i))))
                return false;
    return true;
}

// The same kind of picture with the same bytes.
bool Same(const DecodedPicture& a, const DecodedPicture& b) {
    if (a.Planes() != nullptr && b.Planes() != nullptr)
        return SamePlanes(*a.Planes(), *b.Planes());
    return a.Rgb() != nullptr && b.Rgb() != nullptr && a.Rgb()->SamePixels(*b.Rgb());
}

// Plans the file's decode at every scale and as kept, in `stripes` stripes, and checks that
// every plan exists and gives the one-piece decode byte for byte.
void ExpectStripesGiveTheOnePieceDecode(const Bytes& jpeg, int stripes) {
    const TempDir dir;
    WriteFile(dir / "a.jpg", jpeg);
    const RegularFile file((dir / "a.jpg").string());
    const JpegInfo info = ReadJpegHeader(file);
    for (int eighths = 1; eighths <= 8; ++eighths) {
        SCOPED_TRACE("scale " + std::to_string(eighths) + "/8");
        const std::optional<JpegStripes> plan = JpegStripes::Scaled(file, info, eighths, stripes);
        ASSERT_TRUE(plan.has_value());
        EXPECT_GE(plan->Count(), 2);
        EXPECT_TRUE(DecodeStripes(*plan).Rgb()->SamePixels(DecodeJpegScaled(file, info, eighths)));
    }
    SCOPED_TRACE("kept");
    const std::optional<JpegStripes> plan = JpegStripes::ToKeep(file, info, stripes);
    ASSERT_TRUE(plan.has_value());
    EXPECT_EQ(plan->MakesPlanes(), KeptAsPlanes(info));
    EXPECT_TRUE(Same(DecodeStripes(*plan), DecodeJpegToKeep(file, info)));
}

} // namespace

// Three stripes cut the picture where restart intervals begin near its thirds; sixty-four
// make every row of MCUs that begins an interval a stripe's first, so every boundary the
// file allows is crossed, with the rows the upsampling needs taken from both sides.
TEST(JpegStripes, EveryStripeGivesItsRowsOfTheOnePieceDecodeAtEveryScaleAndAsKept) {
    for (const Sampling& sampling : kSamplings)
        for (const Spacing& spacing : kSpacings) {
            SCOPED_TRACE(std::string(sampling.name) + ", restart " + spacing.name);
            const Bytes jpeg = Encode(sampling, spacing.rows, spacing.mcus);
            for (const int stripes : {3, 64}) {
                SCOPED_TRACE(std::to_string(stripes) + " stripes asked for");
                ExpectStripesGiveTheOnePieceDecode(jpeg, stripes);
            }
        }
}

// libjpeg starts each interval afresh, so damage inside one decodes in a stripe as in the
// whole file, and a file cut in its last interval comes out grey below the cut in both.
TEST(JpegStripes, DamageInsideARestartIntervalDecodesAsInOnePiece) {
    for (const Sampling& sampling : {kSamplings[0], kSamplings[2], kSamplings[3]}) {
        SCOPED_TRACE(sampling.name);
        const Bytes jpeg = Encode(sampling, 1, 0);
        ExpectStripesGiveTheOnePieceDecode(DamagedInsideAnInterval(jpeg), 64);
        ExpectStripesGiveTheOnePieceDecode(CutInTheLastInterval(jpeg), 3);
    }
}

TEST(JpegStripes, FilesAStripeCannotDecodeAsTheWholeFileGetNoPlan) {
    const Sampling& s420 = kSamplings[0];
    const Bytes good = Encode(s420, 1, 0);
    const std::vector<std::size_t> markers = RestartMarkers(good);
    ASSERT_GT(markers.size(), 10u);
    Bytes misnumbered = good;
    misnumbered[markers[5] + 1] = 0xD0 + 7; // RST7 where RST5 belongs
    Bytes missing = good;
    missing.erase(missing.begin() + static_cast<std::ptrdiff_t>(markers[5]),
                  missing.begin() + static_cast<std::ptrdiff_t>(markers[5]) + 2);
    Bytes truncated = good;
    truncated.resize(markers[markers.size() - 2]);
    const Bitmap photo = PhotoLikeBitmap(kWidth, kHeight);
    const struct {
        const char* name;
        Bytes jpeg;
    } files[] = {
        {"no restart markers", Encode(s420, 0, 0)},
        {"one restart interval for the whole picture", Encode(s420, 0, 60000)},
        {"a restart marker out of turn", misnumbered},
        {"a restart marker missing", missing},
        {"cut before the last restart marker", truncated},
        {"progressive", EncodeJpeg(photo, {.progressive = true, .restartRows = 1})},
        {"arithmetic-coded", EncodeJpeg(photo, {.arithmetic = true, .restartRows = 1})},
        {"CMYK", EncodeJpeg(photo, {.cmyk = true, .restartRows = 1})},
    };
    for (const auto& [name, jpeg] : files) {
        SCOPED_TRACE(name);
        const JpegInfo info = ReadJpegHeader(jpeg);
        EXPECT_FALSE(JpegStripes::Scaled(jpeg, info, 8, 4).has_value());
        EXPECT_FALSE(JpegStripes::ToKeep(jpeg, info, 4).has_value());
    }
}

// A stripe's data reach libjpeg in pieces, which may part a marker's 0xFF, its fill bytes
// and its code.
TEST(JpegStripes, RestartMarkersAreRenumberedWhereverThePiecesOfTheDataPart) {
    const Bytes data = {0xD2, 0xFF, 0x00, 0xFF, 0xD3, 0x34, 0xFF, 0xFF, 0xFF,
                        0xD0, 0xFF, 0x00, 0xD7, 0xFF, 0xD9, 0xFF, 0xD7, 0x56};
    Bytes expected = data; // taken 3 down: RST3 -> RST0, RST0 -> RST5, RST7 -> RST4
    expected[4] = 0xD0;
    expected[9] = 0xD5;
    expected[16] = 0xD4;
    for (std::size_t part = 0; part <= data.size(); ++part) {
        Bytes bytes = data;
        int afterFF = 0;
        jpeg_detail::RenumberRestarts(bytes.data(), part, 3, afterFF);
        jpeg_detail::RenumberRestarts(bytes.data() + part, bytes.size() - part, 3, afterFF);
        EXPECT_EQ(bytes, expected) << "parted after " << part << " bytes";
    }
}

TEST(JpegStripes, AStripeWhoseFileChangedSincePlanningFailsInsteadOfDecodingOtherPixels) {
    Bytes jpeg = Encode(kSamplings[0], 1, 0);
    const JpegInfo info = ReadJpegHeader(jpeg);
    const std::optional<JpegStripes> plan = JpegStripes::ToKeep(jpeg, info, 2);
    ASSERT_TRUE(plan.has_value());
    ASSERT_EQ(plan->Count(), 2);
    YccPlanes planes = plan->NewPlanes();
    std::atomic<bool> stop{true};
    EXPECT_THROW(plan->Decode(1, planes, &stop), JpegDecodeStopped);

    // The second stripe begins in the middle of the picture: 30 rows of MCUs, one restart
    // interval each.
    const std::vector<std::size_t> markers = RestartMarkers(jpeg);
    ASSERT_EQ(markers.size(), 29u);
    jpeg[markers[20] + 1] ^= 1; // within the second stripe
    EXPECT_THROW(plan->Decode(1, planes), JpegError);
    jpeg[markers[20] + 1] ^= 1;
    jpeg[markers[14] + 1] ^= 1; // the marker before the second stripe's first interval
    EXPECT_THROW(plan->Decode(1, planes), JpegError);
    jpeg[markers[14] + 1] ^= 1;
    plan->Decode(1, planes);
    plan->Decode(0, planes);
    EXPECT_TRUE(SamePlanes(planes, *DecodeJpegToKeep(jpeg, info).Planes()));
}

TEST(JpegStripes, ThreadsDecodingAPictureInStripesGiveTheOnePieceDecode) {
    const TempDir dir;
    // Just above the size from which pictures are decoded in stripes.
    const int side = 2048;
    ASSERT_GE(std::uint64_t{side} * side, kStripedDecodeMinPixels);
    for (const Sampling& sampling : {kSamplings[0], kSamplings[3]}) {
        SCOPED_TRACE(sampling.name);
        WriteFile(dir / "a.jpg", Encode(sampling, 1, 0, side, side));
        const RegularFile file((dir / "a.jpg").string());
        const JpegInfo info = ReadJpegHeader(file);
        ASSERT_TRUE(JpegStripes::ToKeep(file, info, 6).has_value());
        EXPECT_TRUE(DecodeJpegScaledInStripes(file, info, 1, 3)
                        .SamePixels(DecodeJpegScaled(file, info, 1)));
        EXPECT_TRUE(Same(DecodeJpegToKeepInStripes(file, info, 3), DecodeJpegToKeep(file, info)));
    }
}
