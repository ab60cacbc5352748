// nstretchf: resizing a bitmap in place. The width is changed first by a horizontal pass,
// then the height by a vertical pass. A dimension that grows is interpolated with a 4-tap
// cubic Lagrange polynomial, one that shrinks is averaged over the covered area, border
// pixels counting with the fraction they cover. Per-pixel work is integer fixed point;
// extended floats only place the filter, once per destination column or row. Besides the
// source and the result, a pass needs at most a few rows' worth of tables and sums.
#pragma once

#include "base/Rounding.h"
#include "picture/Bitmap.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace tessaly {

// Progress report: the percentage done, 0 to 100. A null callback reports nothing.
using TStretchProgress = void (*)(std::int32_t percent);

// The throttle of progress reports, owned by the caller of a resampling: it passes reports
// on to its callback at most once per 50 ms, measured from the millisecond tick of the last
// report (0 at start).
class StretchProgressThrottle {
public:
    explicit StretchProgressThrottle(TStretchProgress progress = nullptr,
                                     std::uint32_t lastTick = 0)
        : progress_(progress), lastTick_(lastTick) {}

    // Percent 0 restarts the 50 ms interval without calling; any other value calls the
    // callback when at least 50 ms have passed since the last report. Without a callback
    // nothing happens.
    void Report(std::int32_t percent);

    std::uint32_t LastTick() const { return lastTick_; }
    void SetLastTick(std::uint32_t tick) { lastTick_ = tick; }

private:
    TStretchProgress progress_;
    std::uint32_t lastTick_;
};

// The four weights of a cubic tap, 20 fraction bits (1.0 = 1,048,576); they may be negative.
using CubicWeightSet = std::array<std::int32_t, 4>;

// The Lagrange basis polynomials through the nodes 0, 1, 2, 3 evaluated at x (1 <= x < 2
// in use), each multiplied by scale and truncated after adding 0.5.
CubicWeightSet CubicWeights(Extended x, std::int32_t scale);

// The four passes. `dst` already has the target size: for the horizontal passes the source
// height and the new width, for the vertical passes the source width and the new height.
// Each pass reads `src` only and writes every pixel of `dst`. A size that does not fit the
// pass (e.g. a destination of width 0, or one not wider than the source for EnlargeH)
// throws std::invalid_argument.
void EnlargeH(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress);
void ReduceH(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress);
void EnlargeV(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress);
void ReduceV(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress);

// Resamples `bitmap` in place to width x height. An empty bitmap is left as it is. Every
// size is checked before any work: a target width or height below 1, a target above the
// picture limit (kMaxDecodePixels), or an intermediate of the width pass (the new width at
// the old height) above it throws std::invalid_argument. A pass that fails leaves the
// result of the passes completed before it.
void StretchBitmapEx(Bitmap& bitmap, int width, int height, StretchProgressThrottle& progress);
// Receives whole rows of a resampled picture, one or more at a time, one after the other,
// their pixels' blue, green and red bytes, to use or change; the memory is used again for
// the next rows.
using StretchRowSink = std::function<void(std::span<std::uint8_t> rows)>;
// Resamples `bitmap` to width x height as StretchBitmapEx does, byte for byte, but hands the
// rows of the result to `sink`, top to bottom, as they are made, instead of keeping them:
// besides `bitmap`, it holds the width pass's result (when the width changes) and 64 KiB of
// rows (or one row when a row is larger).
// The same checks and errors as StretchBitmapEx; an empty bitmap gives no rows.
void StretchBitmapRows(const Bitmap& bitmap, int width, int height, const StretchRowSink& sink,
                       StretchProgressThrottle& progress);
// Whether StretchBitmap's width pass from fromWidth x fromHeight to the new width stays within
// the picture limit: it makes newWidth x fromHeight, unless the width stays as it is.
bool WidthPassFits(int fromWidth, int fromHeight, int newWidth);
// The same with a throttle of its own for `progress`.
void StretchBitmapEx(Bitmap& bitmap, int width, int height, TStretchProgress progress);
void StretchBitmap(Bitmap& bitmap, int width, int height);

} // namespace tessaly
