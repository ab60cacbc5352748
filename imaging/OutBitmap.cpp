#include "imaging/OutBitmap.h"

#include "imaging/ImgEffect.h"
#include "imaging/nstretchf.h"
#include "imaging/sepiaf.h"

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

} // namespace tessaly
