// What the thumbnail tests share: a temporary XDG_CACHE_HOME, photos of one colour with or
// without an EXIF thumbnail, and a look at a thumbnail's pixels.
#pragma once

#include "tests/support/JpegFixtures.h"

#include <QImage>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace tessaly::fixtures {

struct Rgb {
    int red = 0, green = 0, blue = 0;
};

// Points XDG_CACHE_HOME at a fresh folder for the object's life (and back after).
class TemporaryCacheHome {
public:
    TemporaryCacheHome();
    ~TemporaryCacheHome();
    TemporaryCacheHome(const TemporaryCacheHome&) = delete;
    TemporaryCacheHome& operator=(const TemporaryCacheHome&) = delete;
    std::filesystem::path Thumbnails() const { return dir_.path() / "thumbnails"; }

private:
    TempDir dir_{"tessaly-thumbnail-cache"};
    std::string old_;
    bool hadOld_ = false;
};

struct PhotoOptions {
    int width = 400;
    int height = 300;
    Rgb colour{220, 30, 30};
    int orientation = 0;    // the EXIF orientation code; 0: none
    int thumbnailWidth = 0; // an EXIF thumbnail of this size and thumbnailColour; 0: none
    int thumbnailHeight = 0;
    Rgb thumbnailColour{30, 30, 220};
    Bytes iccProfile;
};

Bytes PhotoBytes(const PhotoOptions& options);
void WritePhoto(const std::filesystem::path& path, const PhotoOptions& options = {});

// The pixel's colour; each channel within `tolerance` of the expected one.
bool Near(const QImage& image, int x, int y, Rgb expected, int tolerance = 24);

// Sets the file's modification time to `seconds` since the epoch.
void SetModified(const std::filesystem::path& path, std::time_t seconds);
std::time_t Modified(const std::filesystem::path& path);

} // namespace tessaly::fixtures
