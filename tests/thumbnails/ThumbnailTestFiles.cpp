#include "tests/thumbnails/ThumbnailTestFiles.h"

#include "tests/support/ExifBuilder.h"

#include <QColor>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace tessaly::fixtures {

namespace {

Bitmap Solid(int width, int height, Rgb c) {
    return SolidBitmap(width, height, static_cast<std::uint8_t>(c.blue),
                       static_cast<std::uint8_t>(c.green), static_cast<std::uint8_t>(c.red));
}

} // namespace

TemporaryCacheHome::TemporaryCacheHome() {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) {
        old_ = old;
        hadOld_ = true;
    }
    ::setenv("XDG_CACHE_HOME", dir_.path().c_str(), 1);
}

TemporaryCacheHome::~TemporaryCacheHome() {
    if (hadOld_)
        ::setenv("XDG_CACHE_HOME", old_.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}

Bytes PhotoBytes(const PhotoOptions& options) {
    JpegOptions jpeg;
    if (options.orientation > 0 || options.thumbnailWidth > 0) {
        ExifBuilder exif;
        if (options.orientation > 0)
            exif.Ifd0().Short(274, static_cast<std::uint16_t>(options.orientation));
        else
            exif.Ifd0().Ascii(271, "Maker");
        if (options.thumbnailWidth > 0)
            exif.Thumbnail(EncodeJpeg(
                Solid(options.thumbnailWidth, options.thumbnailHeight, options.thumbnailColour)));
        jpeg.segments.push_back(ExifSegment(exif.Build()));
    }
    if (!options.iccProfile.empty())
        for (Bytes& segment : IccSegments(options.iccProfile))
            jpeg.segments.push_back(std::move(segment));
    return EncodeJpeg(Solid(options.width, options.height, options.colour), jpeg);
}

void WritePhoto(const std::filesystem::path& path, const PhotoOptions& options) {
    WriteFile(path, PhotoBytes(options));
}

bool Near(const QImage& image, int x, int y, Rgb expected, int tolerance) {
    if (image.isNull() || x >= image.width() || y >= image.height())
        return false;
    const QColor c = image.pixelColor(x, y);
    return std::abs(c.red() - expected.red) <= tolerance &&
           std::abs(c.green() - expected.green) <= tolerance &&
           std::abs(c.blue() - expected.blue) <= tolerance;
}

void SetModified(const std::filesystem::path& path, std::time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        throw std::runtime_error("cannot set the time of " + path.string());
}

std::time_t Modified(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw std::runtime_error("cannot stat " + path.string());
    return st.st_mtim.tv_sec;
}

} // namespace tessaly::fixtures
