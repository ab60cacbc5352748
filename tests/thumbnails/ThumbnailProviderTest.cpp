// One file's thumbnail in the shared cache: which cached one is used, what is made and how it
// is written, and what is never thumbnailed.
#include "thumbnails/ThumbnailProvider.h"

#include "tests/support/ExifBuilder.h"
#include "tests/support/IccFixtures.h"
#include "tests/thumbnails/ThumbnailTestFiles.h"
#include "thumbnails/FileUri.h"
#include "thumbnails/ThumbnailPng.h"

#include <QImageReader>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

const Rgb kRed{220, 30, 30};
const Rgb kGreen{30, 200, 40};
const Rgb kBlue{30, 30, 220};

unsigned Mode(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class ThumbnailProviderTest : public ::testing::Test {
protected:
    std::filesystem::path Photo(const std::string& name, const PhotoOptions& options = {}) {
        const auto path = photos_ / name;
        WritePhoto(path, options);
        return path;
    }
    std::string Hash(const std::filesystem::path& path) const {
        return UriHash(FileUri(path.string()));
    }

    // A thumbnail as another program writes it: `colour` all over, keys for the file as it is.
    void WriteForeign(const std::filesystem::path& photo, ThumbnailSize size, Rgb colour, int width,
                      int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(colour.red, colour.green, colour.blue));
        image.setText("Thumb::URI", QString::fromStdString(FileUri(photo.string())));
        image.setText("Thumb::MTime", QString::number(Modified(photo)));
        image.setText("Software", "another program");
        std::filesystem::create_directories(cache_.Folder(size));
        ASSERT_TRUE(
            image.save(QString::fromStdString(cache_.PathFor(size, Hash(photo)).string()), "png"));
    }

    TemporaryCacheHome home_;
    TempDir photosDir_{"tessaly-thumbnail-photos"};
    std::filesystem::path photos_ = photosDir_.path();
    ThumbnailCache cache_ = ThumbnailCache::FromEnvironment();
    ThumbnailProvider provider_{cache_};
};

TEST(FileUri, EscapesWhatRfc2396PathsDoNotAllowAndHashesAsTheCacheNamesFiles) {
    EXPECT_EQ(FileUri("/home/jens/photos/me.png"), "file:///home/jens/photos/me.png");
    // The standard's own example of a thumbnail's name.
    EXPECT_EQ(UriHash("file:///home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697");
    EXPECT_EQ(FileUri("/a b/c;d#e%f?g[h]i{j}k^l`m|n\"o<p>q\\r"),
              "file:///a%20b/c%3Bd%23e%25f%3Fg%5Bh%5Di%7Bj%7Dk%5El%60m%7Cn%22o%3Cp%3Eq%5Cr");
    EXPECT_EQ(FileUri("/-_.!~*'():@&=+$,/x"), "file:///-_.!~*'():@&=+$,/x");
    EXPECT_EQ(FileUri("/写真/é\t"), "file:///%E5%86%99%E7%9C%9F/%C3%A9%09");
    EXPECT_THROW(FileUri("relative.jpg"), std::invalid_argument);
}

TEST(ThumbnailCacheLayout, RootFromTheEnvironmentAndSizesFromTheCellsDevicePixels) {
    {
        TemporaryCacheHome home;
        EXPECT_EQ(ThumbnailCache::FromEnvironment().Root(), home.Thumbnails());
        ::setenv("XDG_CACHE_HOME", "relative/cache", 1); // ignored: not absolute
        EXPECT_EQ(ThumbnailCache::FromEnvironment().Root(),
                  std::filesystem::path(std::getenv("HOME")) / ".cache/thumbnails");
    }
    EXPECT_EQ(SizeForCell(128, 1.0), ThumbnailSize::Normal);
    EXPECT_EQ(SizeForCell(128, 1.5), ThumbnailSize::Large);
    EXPECT_EQ(SizeForCell(128, 2.0), ThumbnailSize::Large);
    EXPECT_EQ(SizeForCell(128, 3.0), ThumbnailSize::XLarge);
    EXPECT_EQ(SizeForCell(128, 16.0), ThumbnailSize::XXLarge);
}

TEST_F(ThumbnailProviderTest, ForeignThumbnailIsUsedUntilTheFilesTimeNoLongerMatches) {
    const auto photo = Photo("a.jpg");
    WriteForeign(photo, ThumbnailSize::Normal, kGreen, 96, 72);
    const auto cached = cache_.PathFor(ThumbnailSize::Normal, Hash(photo));
    const Bytes before = ReadFile(cached);

    ThumbnailOutcome outcome = provider_.Provide(photo.string(), ThumbnailSize::Normal, true);
    EXPECT_EQ(outcome.source, ThumbnailSource::Cached);
    EXPECT_EQ(outcome.file, cached);
    EXPECT_TRUE(Near(outcome.image, 10, 10, kGreen, 2));
    EXPECT_EQ(ReadFile(cached), before); // not remade

    SetModified(photo, Modified(photo) - 100);
    outcome = provider_.Provide(photo.string(), ThumbnailSize::Normal, true);
    EXPECT_EQ(outcome.source, ThumbnailSource::Made);
    EXPECT_TRUE(Near(outcome.image, 10, 10, kRed));
    EXPECT_TRUE(Near(ReadThumbnailImage(cached), 10, 10, kRed));
}

TEST_F(ThumbnailProviderTest, LargerValidThumbnailIsReducedInsteadOfDecodingThePhoto) {
    const auto photo = Photo("b.jpg");
    WriteForeign(photo, ThumbnailSize::Large, kGreen, 256, 192);
    const ThumbnailOutcome outcome = provider_.Provide(photo.string(), ThumbnailSize::Normal, true);
    EXPECT_EQ(outcome.source, ThumbnailSource::Reduced);
    EXPECT_EQ(outcome.image.size(), QSize(128, 96));
    EXPECT_TRUE(Near(outcome.image, 64, 48, kGreen, 2));
    // Written at its own size, valid for the file.
    EXPECT_EQ(provider_.Provide(photo.string(), ThumbnailSize::Normal, true).source,
              ThumbnailSource::Cached);
}

TEST_F(ThumbnailProviderTest, WrittenThumbnailCarriesEveryKeyWithPrivateModes) {
    ::umask(022);
    const auto photo = Photo("c d;e.jpg", {.width = 1000, .height = 600});
    const ThumbnailOutcome outcome = provider_.Provide(photo.string(), ThumbnailSize::Large, true);
    ASSERT_EQ(outcome.source, ThumbnailSource::Made) << outcome.error;
    ASSERT_EQ(outcome.file, cache_.PathFor(ThumbnailSize::Large, Hash(photo)));
    EXPECT_EQ(outcome.file.filename().string().size(), 32u + 4u);

    QImageReader reader(QString::fromStdString(outcome.file.string()), "png");
    const QImage png = reader.read();
    EXPECT_EQ(png.size(), QSize(256, 154)); // the longer side the size's, aspect kept
    EXPECT_EQ(png.text("Thumb::URI").toStdString(),
              "file://" + photosDir_.path().string() + "/c%20d%3Be.jpg");
    EXPECT_EQ(png.text("Thumb::MTime").toLongLong(), Modified(photo));
    EXPECT_EQ(png.text("Thumb::Size").toULongLong(), std::filesystem::file_size(photo));
    EXPECT_EQ(png.text("Thumb::Image::Width"), "1000");
    EXPECT_EQ(png.text("Thumb::Image::Height"), "600");
    EXPECT_EQ(png.text("Thumb::Mimetype"), "image/jpeg");
    EXPECT_TRUE(png.text("Software").startsWith("Tessaly "));

    EXPECT_EQ(Mode(outcome.file), 0600u);
    EXPECT_EQ(Mode(cache_.Folder(ThumbnailSize::Large)), 0700u);
    EXPECT_EQ(Mode(cache_.Root()), 0700u);
    // Nothing but the thumbnail: the temporary file was renamed.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(cache_.Folder(ThumbnailSize::Large)),
                      std::filesystem::directory_iterator()),
        1);
    // A picture smaller than the size is not enlarged.
    const auto small = Photo("small.jpg", {.width = 90, .height = 60});
    EXPECT_EQ(provider_.Provide(small.string(), ThumbnailSize::Normal, true).image.size(),
              QSize(90, 60));
}

TEST_F(ThumbnailProviderTest, ThumbnailIsUprightAndInSrgb) {
    // Stored 200 x 100, left half red and right half blue, shown turned a quarter clockwise:
    // upright 100 x 200 with red at the top.
    Bitmap halves = SolidBitmap(200, 100, 220, 30, 30);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            std::uint8_t* p = halves.Row(y) + x * 3;
            p[0] = 30, p[1] = 30, p[2] = 220;
        }
    JpegOptions options;
    options.segments.push_back(OrientationSegment(6));
    WriteFile(photos_ / "turned.jpg", EncodeJpeg(halves, options));
    const ThumbnailOutcome turned =
        provider_.Provide((photos_ / "turned.jpg").string(), ThumbnailSize::Normal, true);
    ASSERT_EQ(turned.image.size(), QSize(64, 128));
    EXPECT_TRUE(Near(turned.image, 32, 10, kRed));
    EXPECT_TRUE(Near(turned.image, 32, 117, kBlue));

    // A profile that exchanges red and green: the red stored pixels are green in sRGB.
    const auto swapped = Photo("swapped.jpg", {.iccProfile = SwappedRedGreenProfile()});
    const ThumbnailOutcome converted =
        provider_.Provide(swapped.string(), ThumbnailSize::Normal, true);
    const QColor c = converted.image.pixelColor(20, 20);
    EXPECT_GT(c.green(), 150);
    EXPECT_LT(c.red(), 80);
}

TEST_F(ThumbnailProviderTest, ExifThumbnailStandsInOnlyWhenLargeEnoughAndOfThePicturesShape) {
    // 1600 x 1200 red with a blue 160 x 120 thumbnail: enough for normal (128 x 96).
    const auto fits = Photo(
        "fits.jpg", {.width = 1600, .height = 1200, .thumbnailWidth = 160, .thumbnailHeight = 120});
    EXPECT_TRUE(
        Near(provider_.Provide(fits.string(), ThumbnailSize::Normal, true).image, 60, 40, kBlue));
    // Not for large (256 x 192): the picture is decoded.
    EXPECT_TRUE(
        Near(provider_.Provide(fits.string(), ThumbnailSize::Large, true).image, 60, 40, kRed));
    // 160 x 106: the aspect differs by more than 1 % (a letterboxed thumbnail).
    const auto other =
        Photo("other.jpg",
              {.width = 1600, .height = 1200, .thumbnailWidth = 160, .thumbnailHeight = 106});
    EXPECT_TRUE(
        Near(provider_.Provide(other.string(), ThumbnailSize::Normal, true).image, 60, 40, kRed));
}

TEST_F(ThumbnailProviderTest, FailureIsRememberedUntilTheFileChanges) {
    const Bytes good = PhotoBytes({});
    Bytes broken = good;
    broken[0] = 0; // no start of image
    const auto path = photos_ / "broken.jpg";
    WriteFile(path, broken);
    const std::time_t when = Modified(path);

    ThumbnailOutcome outcome = provider_.Provide(path.string(), ThumbnailSize::Normal, true);
    EXPECT_EQ(outcome.source, ThumbnailSource::Failed);
    const auto entry = cache_.FailPathFor(Hash(path));
    ASSERT_EQ(outcome.file, entry);
    EXPECT_EQ(entry.parent_path().filename().string().rfind("tessaly-", 0), 0u);
    const auto keys = ReadThumbnailKeys(entry);
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->uri, FileUri(path.string()));
    EXPECT_EQ(keys->mtime, when);
    EXPECT_EQ(Mode(entry), 0600u);
    EXPECT_FALSE(std::filesystem::exists(cache_.PathFor(ThumbnailSize::Normal, Hash(path))));

    // The same size and time: the entry still answers, and the file is not tried again.
    WriteFile(path, good);
    SetModified(path, when);
    EXPECT_EQ(provider_.Provide(path.string(), ThumbnailSize::Normal, true).source,
              ThumbnailSource::Failed);
    SetModified(path, when + 5);
    EXPECT_EQ(provider_.Provide(path.string(), ThumbnailSize::Normal, true).source,
              ThumbnailSource::Made);
}

TEST_F(ThumbnailProviderTest, FilesInTheCacheItselfAreNeverThumbnailed) {
    const auto inside = cache_.Root() / "normal" / "x.jpg";
    WritePhoto(inside);
    std::filesystem::create_directory_symlink(cache_.Root(), photos_ / "link");
    for (const auto& path : {inside, photos_ / "link" / "normal" / "x.jpg"}) {
        const ThumbnailOutcome outcome =
            provider_.Provide(path.string(), ThumbnailSize::Normal, true);
        EXPECT_EQ(outcome.source, ThumbnailSource::Failed) << path;
        EXPECT_TRUE(outcome.file.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(cache_.FailFolder()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache_.Root() / "normal"),
                            std::filesystem::directory_iterator()),
              1);
}

} // namespace
