#include "thumbnails/ThumbnailMaker.h"

#include "base/RegularFile.h"
#include "colour/DisplayColours.h"
#include "jpeg/FilePreview.h"
#include "jpeg/JpegDecoder.h"
#include "jpegfile/FilePreviews.h"
#include "picture/Orientation.h"
#include "picture/UprightPixels.h"
#include "resample/DisplayScale.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <utility>

namespace tessaly {

namespace {

// libjpeg's fast scales (1/8, 1/4, 1/2, 1/1): the smallest power of two eighths that is at
// least the smallest scale reaching the size.
int FastEighths(const JpegInfo& info, int width, int height) {
    const int eighths = ScaleEighthsFor(info, width, height);
    int fast = 1;
    while (fast < eighths)
        fast *= 2;
    return fast;
}

} // namespace

void FitThumbnail(int width, int height, int edge, int& fitWidth, int& fitHeight) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    edge = std::max(edge, 1);
    if (width <= edge && height <= edge) {
        fitWidth = width;
        fitHeight = height;
    } else if (width >= height) {
        fitWidth = edge;
        fitHeight = static_cast<int>(
            std::max<std::int64_t>(1, (std::int64_t{height} * edge + width / 2) / width));
    } else {
        fitHeight = edge;
        fitWidth = static_cast<int>(
            std::max<std::int64_t>(1, (std::int64_t{width} * edge + height / 2) / height));
    }
}

MadeThumbnail MakeThumbnail(const std::string& path, int edge, DisplayColours& srgb,
                            const std::atomic<bool>* stop) {
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    const bool turned = SwapsSides(info.orientation);
    MadeThumbnail made;
    made.width = turned ? info.height : info.width;
    made.height = turned ? info.width : info.height;
    int uprightWidth = 0;
    int uprightHeight = 0;
    FitThumbnail(made.width, made.height, edge, uprightWidth, uprightHeight);
    // The thumbnail's size as the file stores the picture.
    const int storedWidth = turned ? uprightHeight : uprightWidth;
    const int storedHeight = turned ? uprightWidth : uprightHeight;

    Bitmap stored;
    std::optional<FilePreview> preview;
    if (const auto places = FindFilePreviews(file); !places.empty())
        preview = DecodeFilePreview(file, places, info, storedWidth, storedHeight, stop);
    if (preview && preview->width >= storedWidth && preview->height >= storedHeight) {
        stored = std::move(preview->pixels);
        made.fromPreview = true;
    } else {
        preview.reset();
        CheckDecodable(info);
        stored = DecodeJpegScaled(file, info, FastEighths(info, storedWidth, storedHeight), stop);
    }
    if (stored.Width() != storedWidth || stored.Height() != storedHeight)
        stored = ReduceForDisplay(stored, std::min(storedWidth, stored.Width()),
                                  std::min(storedHeight, stored.Height()));
    if (const ColourConversion colours = srgb.ForPicture(info); colours.Needed())
        colours.transform->Apply(stored);
    made.pixels = TurnUpright(std::move(stored), info.orientation);
    return made;
}

} // namespace tessaly
