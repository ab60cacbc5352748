// A crop read from a band of the picture's rows (a file with restart markers) is byte for
// byte the crop read from the whole file, and a file the band cannot be read from is cut
// whole or refused, never written from a band that did not read cleanly.
#include "jpeg/JpegBand.h"

#include "jpeg/JpegHeader.h"
#include "jpeg/LosslessEdit.h"
#include "jpeg/LosslessTransform.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegTools.h"

#include <gtest/gtest.h>
#include <string>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// Neither side is a whole number of MCUs: partial blocks on the right and at the bottom.
constexpr int kWidth = 203;
constexpr int kHeight = 469;

struct Sampling {
    const char* name;
    int lumaH, lumaV;
    bool grey;
};

const Sampling kSamplings[] = {
    {"4:2:0", 2, 2, false}, {"4:2:2", 2, 1, false}, {"4:4:4", 1, 1, false}, {"grey", 1, 1, true}};

Bytes Encode(const Sampling& s, int restartRows, int restartMcus, bool progressive = false,
             std::vector<Bytes> segments = {}) {
    return EncodeJpeg(PhotoLikeBitmap(kWidth, kHeight), {.progressive = progressive,
                                                         .grayscale = s.grey,
                                                         .lumaH = s.lumaH,
                                                         .lumaV = s.lumaV,
                                                         .restartRows = restartRows,
                                                         .restartMcus = restartMcus,
                                                         .segments = std::move(segments)});
}

Bytes BytesOf(const TransformedJpeg& jpeg) {
    return {jpeg.Bytes().begin(), jpeg.Bytes().end()};
}

} // namespace

// Restart markers at every row, every third row and every few MCUs (inside rows: only some
// rows begin an interval); areas at the top, in the middle over few rows, and reaching the
// partial blocks of the right and bottom edges.
TEST(JpegBand, CutOfABandIsTheCutOfTheWholePicture) {
    const struct {
        const char* name;
        int rows, mcus;
    } spacings[] = {{"every row", 1, 0}, {"every 3 rows", 3, 0}, {"every 5 MCUs", 0, 5}};
    for (const Sampling& s : kSamplings)
        for (const auto& spacing : spacings) {
            SCOPED_TRACE(std::string(s.name) + ", restart " + spacing.name);
            const Bytes jpeg = Encode(s, spacing.rows, spacing.mcus);
            const BlockLayout layout = ReadBlockLayout(jpeg);
            const JpegInfo info = ReadJpegHeader(jpeg);
            const jpeg_detail::Input input(jpeg);
            const std::optional<jpeg_detail::RestartIndex> index =
                jpeg_detail::IndexRestarts(input, info);
            ASSERT_TRUE(index.has_value());
            const Rect areas[] = {{0, 0, 40, 30},
                                  {37, 201, 90, 3},
                                  {100, 150, 103, 170},
                                  {150, 400, 53, 69},
                                  {0, 455, 203, 14}};
            for (const Rect& area : areas) {
                const Rect crop = SnapToBlocks(layout, area);
                SCOPED_TRACE(std::to_string(crop.left) + "," + std::to_string(crop.top) + " " +
                             std::to_string(crop.width) + "x" + std::to_string(crop.height));
                const std::optional<jpeg_detail::JpegBand> band =
                    jpeg_detail::CutBand(input, *index, kHeight, crop.top, crop.top + crop.height);
                ASSERT_TRUE(band.has_value());
                EXPECT_LE(band->top, crop.top);
                EXPECT_GE(band->top + band->height, crop.top + crop.height);
                EXPECT_LT(band->bytes.size(), jpeg.size() * 3 / 4);
                const TransformedJpeg whole = TransformJpeg(jpeg, {.crop = crop});
                const TransformedJpeg part = TransformJpeg(
                    band->bytes,
                    {.crop = Rect{crop.left, crop.top - band->top, crop.width, crop.height}});
                EXPECT_EQ(BytesOf(part), BytesOf(whole));
            }
            // The whole picture is no band.
            EXPECT_FALSE(jpeg_detail::CutBand(input, *index, kHeight, 5, kHeight).has_value());
        }
}

// The saved file of every orientation, with its EXIF block, profile and comment, is the
// file the crop of the whole picture writes: that of the same picture without restart
// markers (the same coefficients), which is cut whole. A progressive file with restart
// markers is cut whole too.
TEST(JpegBand, CropToFileFromABandWritesTheFileTheWholePictureGives) {
    const TempDir dir;
    for (const Sampling& s : kSamplings)
        for (int code = 1; code <= 8; ++code)
            for (const bool progressive : {false, true}) {
                SCOPED_TRACE(std::string(s.name) + ", orientation " + std::to_string(code) +
                             (progressive ? ", progressive" : ""));
                ExifBuilder exif(ByteOrder::Motorola);
                exif.Ifd0().Short(274, static_cast<std::uint16_t>(code));
                exif.Exif().Long(0xA002, kWidth).Long(0xA003, kHeight);
                const std::vector<Bytes> segments = {
                    ExifSegment(exif.Build()), IccSegments(Bytes(300, 7))[0], CommentSegment(20)};
                WriteFile(dir / "restarts.jpg", Encode(s, 1, 0, progressive, segments));
                WriteFile(dir / "plain.jpg", Encode(s, 0, 0, progressive, segments));
                for (const char* name : {"restarts-cut.jpg", "plain-cut.jpg"})
                    std::filesystem::remove(dir / name);
                const Rect area{27, 61, 50, 40};
                const Rect saved = CropToFile((dir / "restarts.jpg").string(), area,
                                              (dir / "restarts-cut.jpg").string());
                EXPECT_EQ(CropToFile((dir / "plain.jpg").string(), area,
                                     (dir / "plain-cut.jpg").string()),
                          saved);
                EXPECT_EQ(ReadFile(dir / "restarts-cut.jpg"), ReadFile(dir / "plain-cut.jpg"));
            }
}

// Damage inside the band is refused with no file written (the whole picture does not read
// cleanly either); damage outside it is not read, and the area is cut as from the intact file.
TEST(JpegBand, DamageInsideTheBandIsRefusedAndOutsideItIsNotRead) {
    const TempDir dir;
    const Bytes good = Encode(kSamplings[0], 1, 0);
    const std::vector<std::size_t> markers = RestartMarkers(good);
    // 4:2:0: rows of iMCUs of 16 pixels; the interval after marker n is row n + 1.
    // The second half of an interval gone: libjpeg meets the marker after it early.
    Bytes damaged = good;
    std::size_t from = (markers[20] + markers[21]) / 2;
    while (damaged[from - 1] == 0xFF)
        ++from;
    damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(from),
                  damaged.begin() + static_cast<std::ptrdiff_t>(markers[21]));
    WriteFile(dir / "good.jpg", good);
    WriteFile(dir / "damaged.jpg", damaged);
    const std::string damagedPath = (dir / "damaged.jpg").string();
    // Row 21 (picture rows 336 to 351) is damaged.
    EXPECT_THROW(CropToFile(damagedPath, {10, 330, 40, 20}, (dir / "inside.jpg").string()),
                 LosslessError);
    EXPECT_FALSE(std::filesystem::exists(dir / "inside.jpg"));
    CropToFile(damagedPath, {10, 30, 40, 20}, (dir / "outside.jpg").string());
    CropToFile((dir / "good.jpg").string(), {10, 30, 40, 20}, (dir / "reference.jpg").string());
    EXPECT_EQ(ReadFile(dir / "outside.jpg"), ReadFile(dir / "reference.jpg"));
}
