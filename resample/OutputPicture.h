// The output picture of a copy or a save: the picture resampled to the requested size, then
// tinted sepia or turned grey, as asked.
#pragma once

#include "picture/Bitmap.h"
#include "resample/Resample.h"

namespace tessaly {

// What a copy or a save does to the picture's colours.
enum class PictureEffect {
    None,
    Sepia, // TintSepia
    Mono,  // ToMonochrome
};

// dst receives src resampled to width x height (Resample), then given the effect. src
// is left unchanged. An empty src gives an empty dst; otherwise a width or height below 1
// throws std::invalid_argument.
void MakeOutputPicture(const Bitmap& src, Bitmap& dst, int width, int height, PictureEffect effect);
// The same, working on `src` itself instead of a copy of it.
void MakeOutputPicture(Bitmap&& src, Bitmap& dst, int width, int height, PictureEffect effect);
// The rows of the same picture handed to `sink` top to bottom as they are made (several at
// a time when they are narrow), equal byte for byte to the rows of MakeOutputPicture's result,
// without ever holding the whole of it.
void MakeOutputRows(const Bitmap& src, int width, int height, PictureEffect effect,
                    const ResampledRowSink& sink);

} // namespace tessaly
