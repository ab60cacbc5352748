#include "imaging/OutBitmap.h"

#include "imaging/ImgEffect.h"
#include "imaging/nstretchf.h"
#include "imaging/sepiaf.h"

#include <optional>
#include <utility>

namespace tessaly {

void MakeOutBitmap(const Bitmap& src, Bitmap& dst, int width, int height, bool mono, bool sepia) {
    MakeOutBitmap(Bitmap(src), dst, width, height, mono, sepia);
}

void MakeOutBitmap(Bitmap&& src, Bitmap& dst, int width, int height, bool mono, bool sepia) {
    Bitmap work = std::move(src);
    StretchBitmap(work, width, height);
    if (sepia)
        SepiaBitmap(work);
    if (mono)
        work = GrayScaleHandle(std::move(work));
    dst = std::move(work);
}

void MakeOutRows(const Bitmap& src, int width, int height, bool mono, bool sepia,
                 const StretchRowSink& sink) {
    StretchProgressThrottle progress;
    if (!mono && !sepia) {
        StretchBitmapRows(src, width, height, sink, progress);
        return;
    }
    std::optional<SepiaTint> tint;
    if (sepia)
        tint.emplace();
    StretchBitmapRows(
        src, width, height,
        [&](std::span<std::uint8_t> rows) {
            if (tint)
                tint->Apply(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            if (mono)
                GrayScalePixels(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            sink(rows);
        },
        progress);
}

} // namespace tessaly
