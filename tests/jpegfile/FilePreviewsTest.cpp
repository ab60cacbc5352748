// Finding a file's previews: the EXIF thumbnail and the large thumbnails of a multi-picture
// index, on files the tests build, and the bounds of the walk over the marker segments.
#include "jpegfile/FilePreviews.h"

#include "jpegfile/JpegSegments.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/MpfBuilder.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

class FilePreviews : public ::testing::Test {
protected:
    // The previews found in a file of these bytes, each as the bytes at its place.
    std::vector<Bytes> Found(const Bytes& bytes) {
        const auto path = dir_ / ("file" + std::to_string(next_++) + ".jpg");
        WriteFile(path, bytes);
        const RegularFile file(path.string());
        std::vector<Bytes> found;
        for (const FilePart& part : FindFilePreviews(file)) {
            Bytes at(part.size);
            at.resize(file.ReadAt(part.offset, at.data(), at.size()));
            found.push_back(at);
        }
        return found;
    }

    std::vector<std::uint8_t> Markers(const Bytes& bytes) {
        const auto path = dir_ / ("file" + std::to_string(next_++) + ".jpg");
        WriteFile(path, bytes);
        std::vector<std::uint8_t> markers;
        for (const JpegSegment& segment : ListJpegSegments(RegularFile(path.string())))
            markers.push_back(segment.marker);
        return markers;
    }

private:
    TempDir dir_{"tessaly-previews-test"};
    int next_ = 0;
};

const Bitmap& Picture() {
    static const Bitmap picture = GradientBitmap(96, 64);
    return picture;
}

Bytes Jpeg(int width, int height, unsigned seed) {
    return EncodeJpeg(GradientBitmap(width, height, seed), {.quality = 70});
}

Bytes ExifWithThumbnail(ByteOrder order, const Bytes& thumbnail) {
    ExifBuilder exif(order);
    exif.Ifd0().Ascii(271, "TESSALY");
    exif.Exif().Long(40962, 96);
    exif.Thumbnail(thumbnail);
    return ExifSegment(exif.Build());
}

} // namespace

TEST_F(FilePreviews, ExifThumbnailAndTheIndexsLargeThumbnailsAreFoundAndNothingElse) {
    const Bytes thumbnail = Jpeg(24, 16, 1);
    const Bytes fullHd = Jpeg(48, 32, 2);
    const Bytes vga = Jpeg(36, 24, 3);
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        SCOPED_TRACE(order == ByteOrder::Intel ? "Intel" : "Motorola");
        EXPECT_EQ(Found(EncodeJpeg(Picture(), {.segments = {ExifWithThumbnail(order, thumbnail)}})),
                  std::vector<Bytes>{thumbnail});
        // Every other kind of picture an index names is no preview, however it is shaped.
        const Bytes primary = EncodeJpeg(
            Picture(), {.segments = {ExifWithThumbnail(order, thumbnail), MpfSegment(5, order)}});
        const Bytes file = AddMpfPictures(primary,
                                          {{kMpfUndefined, Jpeg(48, 32, 4)},
                                           {kMpfLargeThumbnailFullHd, fullHd},
                                           {kMpfDisparity, Jpeg(48, 32, 5)},
                                           {kMpfPrimary, Jpeg(48, 32, 6)},
                                           {kMpfLargeThumbnail, vga}},
                                          order);
        EXPECT_EQ(Found(file), (std::vector<Bytes>{thumbnail, fullHd, vga}));
        // A large thumbnail stored in another format than JPEG (format bits 24-26).
        EXPECT_TRUE(Found(AddMpfPictures(EncodeJpeg(Picture(), {.segments = {MpfSegment(1)}}),
                                         {{kMpfLargeThumbnail | 1u << 24, vga}}))
                        .empty());
    }
}

TEST_F(FilePreviews, PlacesOutsideTheFileOrTheExifBlockAreLeftOut) {
    const Bytes preview = Jpeg(48, 32, 2);
    const auto withIndex = [&](MpfPicture picture) {
        return AddMpfPictures(EncodeJpeg(Picture(), {.segments = {MpfSegment(1)}}), {picture});
    };
    const Bytes good = withIndex({kMpfLargeThumbnail, preview});
    const auto size = static_cast<std::uint32_t>(preview.size());
    EXPECT_EQ(Found(good), std::vector<Bytes>{preview});
    EXPECT_TRUE(Found(withIndex({kMpfLargeThumbnail, preview, 0xFFFFFF00u})).empty());
    EXPECT_TRUE(Found(withIndex({kMpfLargeThumbnail, preview, {}, size + 1})).empty());
    EXPECT_TRUE(Found(withIndex({kMpfLargeThumbnail, preview, {}, 0xFFFFFFFFu})).empty());
    EXPECT_TRUE(Found(withIndex({kMpfLargeThumbnail, preview, {}, 0})).empty());
    // Offset 0 is the index itself, where the primary picture's entry points.
    EXPECT_TRUE(Found(withIndex({kMpfLargeThumbnail, preview, 0})).empty());
    // The file cut inside the preview.
    EXPECT_TRUE(Found(Bytes(good.begin(), good.end() - 1)).empty());

    // A thumbnail is inside its EXIF block or nowhere.
    const auto withThumbnailAt = [&](std::uint32_t offset, std::uint32_t length) {
        ExifBuilder exif;
        exif.Ifd0().Ascii(271, "TESSALY");
        exif.Ifd1().Long(513, offset).Long(514, length);
        const Bytes block = exif.Build();
        return EncodeJpeg(Picture(), {.segments = {ExifSegment(block)}});
    };
    EXPECT_EQ(Found(withThumbnailAt(8, 4)).size(), 1u);
    EXPECT_TRUE(Found(withThumbnailAt(8, 0)).empty());
    EXPECT_TRUE(Found(withThumbnailAt(8, 0xFFFFFFF9u)).empty());
    EXPECT_TRUE(Found(withThumbnailAt(0xFFFFFFF0u, 4)).empty());
    // Bytes past the block's end are the file's, not the thumbnail's.
    EXPECT_TRUE(Found(withThumbnailAt(8, 4000)).empty());
}

TEST_F(FilePreviews, WalkEndsAtTheFrameHeaderAndWithinItsBounds) {
    // SOI, JFIF, the segments, two DQT, then the frame header: the tables after it are not
    // listed.
    EXPECT_EQ(Markers(EncodeJpeg(Picture(), {.segments = {CommentSegment(10)}})),
              (std::vector<std::uint8_t>{0xE0, 0xFE, 0xDB, 0xDB}));
    // Fill bytes before a marker, and markers that stand alone, are stepped over.
    const Bytes thumbnail = Jpeg(24, 16, 1);
    Bytes filled = EncodeJpeg(
        Picture(), {.jfif = false, .segments = {ExifWithThumbnail(ByteOrder::Intel, thumbnail)}});
    filled.insert(filled.begin() + 2, {0xFF, 0xD0, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(Found(filled), std::vector<Bytes>{thumbnail});
    // However many: they are read in pieces beyond the first small read, and a code whose
    // length lies beyond that read is read with it.
    for (const std::size_t fill : {10, 11, 200'000}) { // APP1's code at byte 14, 15 of 16
        Bytes more = filled;
        more.insert(more.begin() + 4, fill, 0xFF);
        EXPECT_EQ(Found(more), std::vector<Bytes>{thumbnail}) << fill;
    }
    // The 64th segment is looked at, the 65th not.
    std::vector<Bytes> spacers(kMaxSegments - 1, CommentSegment(4));
    spacers.push_back(ExifWithThumbnail(ByteOrder::Intel, thumbnail));
    EXPECT_EQ(Found(EncodeJpeg(Picture(), {.jfif = false, .segments = spacers})).size(), 1u);
    spacers.insert(spacers.begin(), CommentSegment(4));
    EXPECT_TRUE(Found(EncodeJpeg(Picture(), {.jfif = false, .segments = spacers})).empty());
    // A length that does not count itself ends the walk; so does a file that is no JPEG.
    Bytes broken = EncodeJpeg(Picture(), {.jfif = false, .segments = {CommentSegment(4)}});
    broken[4] = broken[5] = 0;
    EXPECT_TRUE(Markers(broken).empty());
    EXPECT_TRUE(Markers({'G', 'I', 'F', '8', '9', 'a'}).empty());
}
