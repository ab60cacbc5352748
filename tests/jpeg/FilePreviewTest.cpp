// Decoding a file's preview to stand in for its picture: which place is taken, at which
// scale, and that every broken or ill-shaped preview gives none.
#include "jpeg/FilePreview.h"

#include "tests/support/JpegFixtures.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// A file of a 600 x 400 picture with the given pictures stored after it, and their places.
class PreviewFile {
public:
    explicit PreviewFile(const std::vector<Bytes>& previews) {
        Bytes bytes = EncodeJpeg(GradientBitmap(600, 400), {.quality = 70});
        for (const Bytes& preview : previews) {
            places_.push_back({bytes.size(), preview.size()});
            bytes.insert(bytes.end(), preview.begin(), preview.end());
        }
        WriteFile(dir_ / "photo.jpg", bytes);
        file_.emplace((dir_ / "photo.jpg").string());
        picture_ = ReadJpegHeader(*file_);
    }

    const std::vector<FilePart>& Places() const { return places_; }

    std::optional<FilePreview> Decode(int width, int height,
                                      const std::atomic<bool>* stop = nullptr) const {
        return Decode(places_, width, height, stop);
    }
    std::optional<FilePreview> Decode(std::span<const FilePart> places, int width, int height,
                                      const std::atomic<bool>* stop = nullptr) const {
        return DecodeFilePreview(*file_, places, picture_, width, height, stop);
    }

private:
    TempDir dir_{"tessaly-preview-test"};
    std::vector<FilePart> places_;
    std::optional<RegularFile> file_;
    JpegInfo picture_;
};

Bytes Jpeg(int width, int height, unsigned seed = 0) {
    return EncodeJpeg(GradientBitmap(width, height, seed), {.quality = 80});
}

// The preview's pixels as a plain scaled decode of its own file gives them.
Bitmap DecodedAlone(const Bytes& jpeg, int eighths) {
    const TempDir dir;
    WriteFile(dir / "alone.jpg", jpeg);
    const RegularFile file((dir / "alone.jpg").string());
    return DecodeJpegScaled(file, ReadJpegHeader(file), eighths);
}

} // namespace

TEST(FilePreview, AspectsWithinOnePercentOfThePicturesMatch) {
    EXPECT_TRUE(SameAspect(1920, 1280, 6000, 4000));
    EXPECT_TRUE(SameAspect(160, 107, 6000, 4000));  // 0.3 % wide
    EXPECT_FALSE(SameAspect(160, 120, 6000, 4000)); // letterboxed by the camera
    EXPECT_TRUE(SameAspect(120, 160, 3000, 4000));
    EXPECT_FALSE(SameAspect(160, 120, 3000, 4000)); // the other way round
    // The bounds: 1 % of the picture's aspect either way.
    EXPECT_TRUE(SameAspect(101, 100, 1000, 1000));
    EXPECT_TRUE(SameAspect(99, 100, 1000, 1000));
    EXPECT_FALSE(SameAspect(1011, 1000, 100, 100));
    EXPECT_FALSE(SameAspect(989, 1000, 100, 100));
    EXPECT_FALSE(SameAspect(0, 0, 100, 100));
    EXPECT_FALSE(SameAspect(100, 100, 0, 0));
}

TEST(FilePreview, SmallestPreviewReachingTheAskedSizeIsDecodedAtTheSmallestScaleReachingIt) {
    const Bytes thumbnail = Jpeg(120, 80, 1);
    const Bytes large = Jpeg(480, 320, 2);
    const Bytes medium = Jpeg(240, 160, 3);
    const PreviewFile file({thumbnail, large, medium});
    struct Case {
        int width, height;
        const Bytes* expected;
        int eighths;
        int expectedWidth;
    };
    for (const Case& c : {Case{100, 60, &thumbnail, 7, 120}, Case{120, 80, &thumbnail, 8, 120},
                          Case{121, 70, &medium, 5, 240}, Case{200, 130, &medium, 7, 240},
                          Case{241, 100, &large, 5, 480}, Case{585, 390, &large, 8, 480}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::optional<FilePreview> preview = file.Decode(c.width, c.height);
        ASSERT_TRUE(preview);
        EXPECT_EQ(preview->width, c.expectedWidth);
        EXPECT_EQ(preview->height, c.expectedWidth * 2 / 3);
        EXPECT_TRUE(preview->pixels.SamePixels(DecodedAlone(*c.expected, c.eighths)));
    }
}

TEST(FilePreview, PreviewsOfAnotherShapeOrNotSmallerThanThePictureAreNotUsed) {
    for (const Bytes& preview :
         {Jpeg(160, 120), Jpeg(120, 160), Jpeg(600, 400), Jpeg(900, 600), Jpeg(600, 300)}) {
        const PreviewFile file({preview});
        EXPECT_FALSE(file.Decode(60, 40));
    }
}

TEST(FilePreview, BrokenPreviewsGiveNoneAndTheNextBestIsTaken) {
    const Bytes good = Jpeg(120, 80, 1);
    const Bytes larger = Jpeg(480, 320, 2);
    Bytes corrupt = larger;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() - 2; ++i)
        corrupt[i] = static_cast<std::uint8_t>(i * 37);
    const std::vector<std::pair<const char*, Bytes>> broken = {
        {"not a JPEG", Bytes(4000, 0x55)},
        {"cut in its scan", Bytes(larger.begin(), larger.begin() + larger.size() / 2)},
        {"corrupt scan", corrupt},
        {"header only", Bytes(larger.begin(), larger.begin() + 700)},
    };
    for (const auto& [name, bytes] : broken) {
        SCOPED_TRACE(name);
        const PreviewFile file({bytes, good});
        EXPECT_FALSE(file.Decode(std::span(file.Places()).first(1), 300, 200));
        const std::optional<FilePreview> preview = file.Decode(300, 200);
        ASSERT_TRUE(preview);
        EXPECT_EQ(preview->width, 120);
    }
    // Places beyond the file's end, of no bytes, or of more than a preview may take.
    const PreviewFile file({larger, good});
    const std::uint64_t end = file.Places()[1].offset + file.Places()[1].size;
    for (const FilePart place :
         {FilePart{end - 10, 20}, FilePart{end + 100, 20}, FilePart{~0ull - 5, 10},
          FilePart{file.Places()[0].offset, 0}, FilePart{0, kMaxPreviewBytes + 1}}) {
        const std::vector<FilePart> places = {place, file.Places()[1]};
        EXPECT_FALSE(file.Decode(std::span(places).first(1), 300, 200));
        EXPECT_EQ(file.Decode(places, 300, 200)->width, 120);
    }
}

TEST(FilePreview, RaisedStopFlagEndsTheDecodeWithoutAPreview) {
    const PreviewFile file({Jpeg(120, 80)});
    std::atomic<bool> stop{true};
    EXPECT_THROW(file.Decode(60, 40, &stop), JpegDecodeStopped);
    stop = false;
    EXPECT_TRUE(file.Decode(60, 40, &stop));
}
