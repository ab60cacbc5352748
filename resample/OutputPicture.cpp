#include "resample/OutputPicture.h"

#include "resample/Monochrome.h"
#include "resample/Resample.h"
#include "resample/Sepia.h"

#include <optional>
#include <utility>

namespace tessaly {

void MakeOutputPicture(const Bitmap& src, Bitmap& dst, int width, int height,
                       PictureEffect effect) {
    MakeOutputPicture(Bitmap(src), dst, width, height, effect);
}

void MakeOutputPicture(Bitmap&& src, Bitmap& dst, int width, int height, PictureEffect effect) {
    Bitmap work = std::move(src);
    Resample(work, width, height);
    if (effect == PictureEffect::Sepia)
        TintSepia(work);
    else if (effect == PictureEffect::Mono)
        work = ToMonochrome(std::move(work));
    dst = std::move(work);
}

void MakeOutputRows(const Bitmap& src, int width, int height, PictureEffect effect,
                    const ResampledRowSink& sink) {
    ResampleProgress progress;
    if (effect == PictureEffect::None) {
        ResampleRows(src, width, height, sink, progress);
        return;
    }
    std::optional<SepiaTint> tint;
    if (effect == PictureEffect::Sepia)
        tint.emplace();
    ResampleRows(
        src, width, height,
        [&](std::span<std::uint8_t> rows) {
            if (tint)
                tint->Apply(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            if (effect == PictureEffect::Mono)
                ToMonochrome(rows.data(), rows.size() / Bitmap::kBytesPerPixel);
            sink(rows);
        },
        progress);
}

} // namespace tessaly
