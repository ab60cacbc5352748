// The per-pixel loops of sepia and monochrome over runs of 3-byte pixels (blue, green,
// red). Each has a plain loop and, on x86-64 processors with AVX2, a vector loop chosen at
// run time; both give the same bytes.
#pragma once

#include "resample/Sepia.h"

#include <cstddef>
#include <cstdint>

namespace tessaly::kernels {

// True when the vector loops are used on this processor.
bool VectorLoopsAvailable();

// Every pixel takes the tone tones[SepiaIndex(pixel)], packed blue | green << 8 | red << 16
// (`tones` has 65,537 entries); the vector loop computes the same tones from `offsets`.
void SepiaPixels(std::uint8_t* pixels, std::size_t count, const std::uint32_t* tones,
                 const SepiaToneOffsets& offsets);
void SepiaPixelsPlain(std::uint8_t* pixels, std::size_t count, const std::uint32_t* tones);

// Every pixel becomes (v, v, v) with v = MonochromeLevel(pixel).
void MonochromePixels(std::uint8_t* pixels, std::size_t count);
void MonochromePixelsPlain(std::uint8_t* pixels, std::size_t count);

} // namespace tessaly::kernels
