#include "resample/OutputPicture.h"

#include "resample/Monochrome.h"
#include "resample/Resample.h"
#include "resample/Sepia.h"

#include <optional>
#include <utility>

namespace tessaly {

void MakeOutBitmap(const Bitmap& src, Bitmap& dst, int width, int height, PictureEffect effect) {
    MakeOutBitmap(Bitmap(src), dst, width, height, effect);
}

void MakeOutBitmap(Bitmap&& src, Bitmap& dst, int width, int height, PictureEffect effect) {
    Bitmap work = std::move(src);
    StretchBitmap(work, width, height);
    if (effect == PictureEffect::Sepia)
        SepiaBitmap(work);
    else if (effect == PictureEffect::Mono)
        work = GrayScaleHandle(std::move(work));
    dst = std::move(work);
}

void MakeOutRows(const Bitmap& src, int width, int height, PictureEffect effect,
                 const StretchRowSink& sink) {
    StretchProgressThrottle progress;
    if (effect == PictureEffect::None) {
        StretchBitmapRows(src, width, height, sink, progress);
        return;
    }
    std::optional<SepiaTint> tint;
    if (effect == PictureEffect::Sepia)
        tint.emplace();
    StretchBitmapRows(
        src, width, height,
        [&](std::span<std::uint8_t> rows) {
            if (tint)
                tint->Apply(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            if (effect == PictureEffect::Mono)
                GrayScalePixels(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            sink(rows);
        },
        progress);
}

} // namespace tessaly
