// What lossless turns and crops do to the user's file: the tag turn's bytes, the markers a
// bake and a crop keep or change, and the file left as it was on every failure.
#include "jpeg/LosslessEdit.h"

#include "base/FileReplace.h"
#include "jpeg/JpegDecoder.h"
#include "jpegfile/ExifEdit.h"
#include "jpegfile/ExifOrientation.h"
#include "jpegfile/JpegSegments.h"
#include "jpegfile/QuantTables.h"
#include "picture/UprightPixels.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegTools.h"
#include "tests/support/MpfBuilder.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

struct Segments {
    std::vector<std::uint8_t> markers;
    std::vector<Bytes> data;
};

Segments SegmentsOf(const std::filesystem::path& path) {
    const RegularFile file(path.string());
    Segments segments;
    for (const JpegSegment& segment : ListJpegSegments(file)) {
        segments.markers.push_back(segment.marker);
        segments.data.push_back(ReadSegmentData(file, segment));
    }
    return segments;
}

Bytes ExifOf(const std::filesystem::path& path) {
    const Segments segments = SegmentsOf(path);
    for (std::size_t i = 0; i < segments.markers.size(); ++i)
        if (segments.markers[i] == 0xE1 && IsExifData(segments.data[i]))
            return segments.data[i];
    return {};
}

Bytes Tail(const Bytes& jpeg) {
    return Bytes(jpeg.begin() + static_cast<long>(FirstScanData(jpeg)), jpeg.end());
}

class LosslessEdit : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const Bytes& bytes) {
        WriteFile(dir_ / name, bytes);
        return (dir_ / name).string();
    }

    TempDir dir_;
};

Bytes Xmp() {
    return AppSegment(0xE1, std::string("http://ns.adobe.com/xap/1.0/") + '\0',
                      Bytes{'<', 'x', '/', '>'});
}

// A photo of 64 x 48 (4:2:0) with orientation 6, pixel sizes, a make with its value beyond
// the directory, a 32 x 16 thumbnail, an ICC profile, XMP and a comment.
Bytes RichPhoto(ByteOrder order, Bytes* thumbnail = nullptr) {
    const Bytes thumb = EncodeJpeg(GradientBitmap(32, 16, 7), {.jfif = false});
    if (thumbnail)
        *thumbnail = thumb;
    ExifBuilder exif(order);
    exif.Ifd0().Ascii(271, "Maker of cameras").Short(274, 6);
    exif.Exif().Long(0xA002, 64).Long(0xA003, 48);
    exif.Ifd1().Short(259, 6);
    exif.Thumbnail(thumb);
    JpegOptions options;
    options.segments = {ExifSegment(exif.Build()), Xmp(), IccSegments(Bytes(300, 7))[0],
                        CommentSegment(20)};
    return EncodeJpeg(GradientBitmap(64, 48, 2), options);
}

TEST_F(LosslessEdit, TagTurnWritesTheTwoBytesOnlyAndTurnsBackToTheSameFile) {
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        const Bytes original = RichPhoto(order);
        const std::string path = Write("photo.jpg", original);
        struct stat before {};
        ::stat(path.c_str(), &before);
        EXPECT_EQ(TurnByTag(path, Turn::Right), Orientation::HalfTurn);
        const Bytes turned = ReadFile(path);
        ASSERT_EQ(turned.size(), original.size());
        std::size_t differing = 0;
        for (std::size_t i = 0; i < turned.size(); ++i)
            differing += turned[i] != original[i];
        EXPECT_EQ(differing, 1u); // 6 -> 3: one byte of the SHORT changes
        EXPECT_EQ(ExifPayloadOrientationCode(ExifOf(path)), 3u);
        struct stat after {};
        ::stat(path.c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(TurnByTag(path, Turn::Left), Orientation::QuarterClockwise);
        EXPECT_EQ(ReadFile(path), original);
    }
}

TEST_F(LosslessEdit, TagTurnWithoutExifAddsOneAndLeavesTheImageData) {
    const Bytes original = EncodeJpeg(GradientBitmap(40, 24, 1));
    const std::string path = Write("plain.jpg", original);
    ::chmod(path.c_str(), 0640);
    EXPECT_EQ(TurnByTag(path, Turn::Left), Orientation::QuarterAnticlockwise);
    const Bytes turned = ReadFile(path);
    EXPECT_EQ(Tail(turned), Tail(original));
    EXPECT_EQ(ExifPayloadOrientationCode(ExifOf(path)), 8u);
    EXPECT_EQ(SegmentsOf(path).markers.front(), 0xE0); // JFIF stays first
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(LosslessEdit, TagTurnAddsTheTagToAnExifBlockWithoutIt) {
    ExifBuilder exif(ByteOrder::Motorola);
    exif.Ifd0().Ascii(271, "Maker of cameras").Ascii(0x0131, "Software of cameras");
    exif.Exif().Long(0xA002, 40);
    const Bytes original =
        EncodeJpeg(GradientBitmap(40, 24, 1), {.segments = {ExifSegment(exif.Build())}});
    const std::string path = Write("noTag.jpg", original);
    EXPECT_EQ(TurnByTag(path, Turn::Half), Orientation::HalfTurn);
    const Bytes data = ExifOf(path);
    EXPECT_EQ(ExifPayloadOrientationCode(data), 3u);
    EXPECT_EQ(Tail(ReadFile(path)), Tail(original));
    // Both text values (beyond their directory) and the Exif directory still read.
    const std::string text(data.begin(), data.end());
    EXPECT_NE(text.find("Maker of cameras"), std::string::npos);
    EXPECT_EQ(ReadPixelDimensions(data), std::nullopt); // only one of the two sizes
}

TEST_F(LosslessEdit, BakeKeepsTheMarkersAndTurnsSizesAndThumbnail) {
    Bytes thumbnail;
    const std::string path = Write("rich.jpg", RichPhoto(ByteOrder::Motorola, &thumbnail));
    const Segments before = SegmentsOf(path);
    ::chmod(path.c_str(), 0604);
    const BakeResult result = Bake(path, Turn::None, TrimPolicy::Refuse);
    ASSERT_TRUE(result.written);
    EXPECT_TRUE(result.trims.empty());
    EXPECT_EQ(result.size, (Size{48, 64}));
    const Segments after = SegmentsOf(path);
    const Bytes exif = ExifOf(path);
    EXPECT_EQ(ExifPayloadOrientationCode(exif), 1u);
    EXPECT_EQ(ReadPixelDimensions(exif), (PixelDimensions{48, 64}));
    // The thumbnail is turned as jpegtran turns it.
    WriteFile(dir_ / "thumb.jpg", thumbnail);
    Jpegtran("-rotate 90 -trim", dir_ / "thumb.jpg", dir_ / "thumb90.jpg");
    const auto turnedThumbnail = ExifThumbnailBytes(exif);
    ASSERT_TRUE(turnedThumbnail);
    WriteFile(dir_ / "ours.jpg", Bytes(turnedThumbnail->begin(), turnedThumbnail->end()));
    EXPECT_EQ(Djpeg(dir_ / "ours.jpg"), Djpeg(dir_ / "thumb90.jpg"));
    // Every other application segment and comment as it was, in its order (the tables are
    // the encoder's: a quarter turn transposes the quantisation tables).
    EXPECT_EQ(after.markers, before.markers);
    for (std::size_t i = 0; i < before.markers.size(); ++i) {
        const std::uint8_t marker = before.markers[i];
        if ((marker >= 0xE0 && marker <= 0xEF && !IsExifData(before.data[i])) || marker == 0xFE) {
            EXPECT_EQ(after.data[i], before.data[i]) << i;
        }
    }
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
}

TEST_F(LosslessEdit, BakeThatNeedsATrimWritesNothingUnlessAllowed) {
    // 45 x 29 in 4:2:0 with orientation 6: the stored bottom strip of 13 rows would become the
    // upright left edge.
    const Bytes original =
        EncodeJpeg(GradientBitmap(45, 29, 4), {.segments = {OrientationSegment(6)}});
    const std::string path = Write("partial.jpg", original);
    const BakeResult refused = Bake(path, Turn::None, TrimPolicy::Refuse);
    EXPECT_FALSE(refused.written);
    ASSERT_EQ(refused.trims.size(), 1u);
    EXPECT_EQ(refused.trims[0], (EdgeTrim{EdgeTrim::Edge::Left, 13}));
    EXPECT_EQ(ReadFile(path), original);
    const BakeResult trimmed = Bake(path, Turn::None, TrimPolicy::Trim);
    EXPECT_TRUE(trimmed.written);
    EXPECT_EQ(trimmed.size, (Size{16, 45}));
}

// The mean difference of the two pictures' bytes; the largest when their sizes differ.
double MeanDifference(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width() * 3; ++x)
            sum += std::abs(a.Data()[a.Stride() * y + x] - b.Data()[b.Stride() * y + x]);
    return sum / (a.Width() * 3.0 * a.Height());
}

QuantTable LuminanceOf(const std::filesystem::path& path) {
    const Segments segments = SegmentsOf(path);
    for (std::size_t i = 0; i < segments.markers.size(); ++i)
        if (segments.markers[i] == 0xDB)
            if (const std::optional<QuantTable> table = QuantTableIn(segments.data[i], 0))
                return *table;
    return {};
}

// Instead of a trim, the picture encoded anew as it shows: its quality, sampling (turned), grey
// or colour, progressive or not, and every marker as a bake keeps them; an RGB file's Adobe
// segment, which would make its new YCbCr be read as RGB, goes.
TEST_F(LosslessEdit, BakeThatWouldTrimReencodesAtTheFilesQualityInstead) {
    // 45 x 29 with orientation 6: the lossless bake would trim the upright left edge.
    Bytes thumbnail;
    ExifBuilder exif(ByteOrder::Intel);
    exif.Ifd0().Short(274, 6);
    exif.Exif().Long(0xA002, 45).Long(0xA003, 29);
    exif.Ifd1().Short(259, 6);
    thumbnail = EncodeJpeg(GradientBitmap(32, 16, 7), {.jfif = false});
    exif.Thumbnail(thumbnail);
    const std::vector<Bytes> markers = {ExifSegment(exif.Build()), Xmp(),
                                        IccSegments(Bytes(300, 7))[0], CommentSegment(20)};
    const struct {
        const char* name;
        JpegOptions options;
        JpegInfo::Sampling sampling; // the luminance's, turned
    } cases[] = {
        {"4:2:2 progressive", {.quality = 83, .progressive = true, .lumaH = 2, .lumaV = 1}, {1, 2}},
        {"grey", {.quality = 64, .grayscale = true}, {1, 1}},
        {"RGB", {.quality = 95, .rgbComponents = true}, {1, 1}},
    };
    for (const auto& [name, options, sampling] : cases) {
        SCOPED_TRACE(name);
        JpegOptions withMarkers = options;
        withMarkers.segments = markers;
        const Bytes original = EncodeJpeg(GradientBitmap(45, 29, 4), withMarkers);
        const std::string path = Write("partial.jpg", original);
        const Segments before = SegmentsOf(path);
        const BakeResult result = Bake(path, Turn::None, TrimPolicy::Reencode);
        ASSERT_TRUE(result.written);
        EXPECT_TRUE(result.trims.empty());
        EXPECT_EQ(result.size, (Size{29, 45}));
        EXPECT_EQ(result.quality, options.quality);
        EXPECT_EQ(LuminanceOf(path), ScaledLuminanceTable(options.quality));
        const JpegInfo info = ReadJpegHeader(RegularFile(path));
        EXPECT_EQ(info.grayscale, options.grayscale);
        EXPECT_EQ(info.progressive, options.progressive);
        EXPECT_EQ(info.sampling[0], sampling);
        // A second generation's loss (this picture's pattern loses about 2.5 in the first).
        EXPECT_LT(MeanDifference(DecodeJpegFile(path),
                                 TurnUpright(DecodeJpeg(original), Orientation::QuarterClockwise)),
                  4.0);
        const Bytes data = ExifOf(path);
        EXPECT_EQ(ExifPayloadOrientationCode(data), 1u);
        EXPECT_EQ(ReadPixelDimensions(data), (PixelDimensions{29, 45}));
        const auto turnedThumbnail = ExifThumbnailBytes(data);
        ASSERT_TRUE(turnedThumbnail);
        EXPECT_EQ(ReadBlockLayout(*turnedThumbnail).size, (Size{16, 32}));
        const Segments after = SegmentsOf(path);
        for (std::size_t i = 0; i < before.markers.size(); ++i) {
            const std::uint8_t marker = before.markers[i];
            if (marker == 0xE2 || marker == 0xFE ||
                (marker == 0xE1 && !IsExifData(before.data[i]))) {
                EXPECT_NE(std::find(after.data.begin(), after.data.end(), before.data[i]),
                          after.data.end())
                    << i;
            }
            if (marker == 0xEE) {
                EXPECT_EQ(std::find(after.markers.begin(), after.markers.end(), 0xEE),
                          after.markers.end());
            }
        }
    }
}

TEST_F(LosslessEdit, MultiPictureFileIsRefusedForBakeAndCropButTurnsByTag) {
    Bytes primary =
        EncodeJpeg(GradientBitmap(48, 32, 1), {.segments = {OrientationSegment(6), MpfSegment(1)}});
    const Bytes original = AddMpfPictures(std::move(primary),
                                          {{kMpfUndefined, EncodeJpeg(GradientBitmap(16, 16, 2))}});
    const std::string path = Write("gainmap.jpg", original);
    EXPECT_THROW(Bake(path, Turn::None, TrimPolicy::Trim), LosslessError);
    EXPECT_THROW(CropToFile(path, {0, 0, 16, 16}, (dir_ / "cut.jpg").string()), LosslessError);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "cut.jpg"));
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(TurnByTag(path, Turn::Left), Orientation::AsStored);
}

TEST_F(LosslessEdit, FileChangedMeanwhileIsLeftAsChanged) {
    const std::string path = Write("photo.jpg", RichPhoto(ByteOrder::Intel));
    const Bytes changed = EncodeJpeg(GradientBitmap(16, 16, 9));
    EXPECT_THROW(Bake(path, Turn::None, TrimPolicy::Trim, [&] { WriteFile(path, changed); }),
                 LosslessError);
    EXPECT_EQ(ReadFile(path), changed);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        ++entries;
    EXPECT_EQ(entries, 1u); // no temporary file left
}

TEST_F(LosslessEdit, FullDiskLeavesTheFileAsItWas) {
    const auto mountPoint = dir_ / "small";
    std::filesystem::create_directory(mountPoint);
    if (::mount("tessaly-test", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "no permission to mount a small tmpfs";
    struct Unmount {
        std::filesystem::path at;
        ~Unmount() { ::umount(at.c_str()); }
    } unmount{mountPoint};
    const Bytes original =
        EncodeJpeg(PhotoLikeBitmap(160, 120), {.segments = {OrientationSegment(8)}});
    const std::string path = (mountPoint / "photo.jpg").string();
    WriteFile(path, original);
    // Room for less than half the file more: the baked copy does not fit beside it.
    struct statvfs fs {};
    ASSERT_EQ(::statvfs(mountPoint.c_str(), &fs), 0);
    const std::uint64_t free = std::uint64_t{fs.f_bavail} * fs.f_frsize;
    ASSERT_GT(free, original.size() / 2);
    WriteFile(mountPoint / "filler", Bytes(free - original.size() / 2, 1));
    EXPECT_THROW(Bake(path, Turn::None, TrimPolicy::Trim), FileCreateError);
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mountPoint),
                            std::filesystem::directory_iterator()),
              2);
    // The tag's two bytes need no room.
    EXPECT_EQ(TurnByTag(path, Turn::Right), Orientation::AsStored);
}

TEST_F(LosslessEdit, CropKeepsTheTagDropsTheThumbnailAndNeverReplacesTheSource) {
    const std::string path = Write("rich.jpg", RichPhoto(ByteOrder::Intel));
    const std::string out = (dir_ / "cut.jpg").string();
    EXPECT_THROW(CropToFile(path, {0, 0, 10, 10}, path), LosslessError);
    EXPECT_THROW(CropToFile(path, {0, 0, 10, 10}, (dir_ / "." / "rich.jpg").string()),
                 LosslessError);
    // Upright 48 x 64; the area 10,20 20x30 is stored 20,18 30x20, snapped to 16,16 34x22,
    // which is upright 10,16 22x34: the stored top edge is the upright right edge.
    const Rect saved = CropToFile(path, {10, 20, 20, 30}, out);
    EXPECT_EQ(saved, (Rect{10, 16, 22, 34}));
    const Bytes exif = ExifOf(out);
    EXPECT_EQ(ExifPayloadOrientationCode(exif), 6u);
    EXPECT_EQ(ReadPixelDimensions(exif), (PixelDimensions{34, 22}));
    EXPECT_FALSE(ExifThumbnailBytes(exif));
    const Bytes first = ReadFile(out);
    EXPECT_THROW(CropToFile(path, {0, 0, 10, 10}, out), LosslessError);
    EXPECT_EQ(ReadFile(out), first);
    CropToFile(path, {0, 0, 10, 10}, out, true);
    EXPECT_NE(ReadFile(out), first);
    EXPECT_THROW(CropToFile(path, {48, 0, 10, 10}, (dir_ / "outside.jpg").string()), LosslessError);
}

// The tag's two bytes are written in place, past the file replace: both writes go to the
// link's target, and the check that the file is the one read looks at the target too.
TEST_F(LosslessEdit, APhotoReachedThroughALinkIsChangedAtItsTargetAndTheLinkStays) {
    namespace fs = std::filesystem;
    fs::create_directory(dir_ / "photos");
    const std::string target = Write("photos/rich.jpg", RichPhoto(ByteOrder::Intel));
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("photos/rich.jpg", dir_ / "link.jpg");
    const std::string link = (dir_ / "link.jpg").string();
    EXPECT_EQ(TurnByTag(link, Turn::Right), Orientation::HalfTurn);
    EXPECT_EQ(ExifPayloadOrientationCode(ExifOf(target)), 3u);
    EXPECT_TRUE(Bake(link, Turn::None, TrimPolicy::Refuse).written);
    EXPECT_EQ(ExifPayloadOrientationCode(ExifOf(target)), 1u);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "photos"), fs::directory_iterator()), 1);
}

} // namespace
