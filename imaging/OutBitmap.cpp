#include "imaging/OutBitmap.h"

#include "imaging/ImgEffect.h"
#include "imaging/nstretchf.h"
#include "imaging/sepiaf.h"

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

} // namespace tessaly
