// Resampling a picture to another size. The width is changed first by a horizontal pass,
// then the height by a vertical pass. A dimension that grows is interpolated with a 4-tap
// cubic Lagrange polynomial, one that shrinks is averaged over the covered area, border
// pixels counting with the fraction they cover. Each filter builds a table of coefficients
// for its axis (which source pixels make each destination pixel, with what weights); the
// same horizontal and vertical passes then apply any table. Per-pixel work is integer fixed
// point; extended floats only place the filter, once per destination column or row. Besides
// the source and the result, a pass needs at most a few rows' worth of tables and sums.
#pragma once

#include "base/Rounding.h"
#include "picture/Bitmap.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace tessaly {

// Progress report: the percentage done, 0 to 100. A null callback reports nothing.
using ResampleProgressCallback = void (*)(std::int32_t percent);

// A millisecond tick that wraps at 32 bits (TickCountMs unless a test gives its own).
using TickSource = std::function<std::uint32_t()>;

// The progress of a resampling, owned by its caller: it passes reports on to its callback
// at most once per 50 ms, measured from the tick of the last report (0 at start).
class ResampleProgress {
public:
    explicit ResampleProgress(ResampleProgressCallback callback = nullptr,
                              std::uint32_t lastTick = 0, TickSource tick = {});

    // Percent 0 restarts the 50 ms interval without calling; any other value calls the
    // callback when at least 50 ms have passed since the last report. Without a callback
    // nothing happens.
    void Report(std::int32_t percent);

    std::uint32_t LastTick() const { return lastTick_; }
    void SetLastTick(std::uint32_t tick) { lastTick_ = tick; }

private:
    std::uint32_t Now() const;

    ResampleProgressCallback callback_;
    std::uint32_t lastTick_;
    TickSource tick_;
};

// The four weights of a cubic tap, 20 fraction bits (1.0 = 1,048,576); they may be negative.
using CubicWeightSet = std::array<std::int32_t, 4>;

// The Lagrange basis polynomials through the nodes 0, 1, 2, 3 evaluated at x (1 <= x < 2
// in use), each multiplied by scale and truncated after adding 0.5.
CubicWeightSet CubicWeights(Extended x, std::int32_t scale);

// The two passes, each enlarging or reducing as the sizes ask. `dst` already has the target
// size: for the width pass the source height and a new width, for the height pass the source
// width and a new height. Each pass reads `src` only and writes every pixel of `dst`. A size
// that does not fit the pass (a destination of width 0, the width unchanged, or another
// height for the width pass) throws std::invalid_argument.
void ResampleWidth(const Bitmap& src, Bitmap& dst, ResampleProgress& progress);
void ResampleHeight(const Bitmap& src, Bitmap& dst, ResampleProgress& progress);

// Resamples `bitmap` in place to width x height. An empty bitmap is left as it is. Every
// size is checked before any work: a target width or height below 1, a target above the
// picture limit (kMaxDecodePixels), or an intermediate of the width pass (the new width at
// the old height) above it throws std::invalid_argument. A pass that fails leaves the
// result of the passes completed before it.
void Resample(Bitmap& bitmap, int width, int height, ResampleProgress& progress);
// The same with progress reports to `callback`, throttled by a ResampleProgress of its own.
void Resample(Bitmap& bitmap, int width, int height, ResampleProgressCallback callback);
void Resample(Bitmap& bitmap, int width, int height);

// Receives whole rows of a resampled picture, one or more at a time, one after the other,
// their pixels' blue, green and red bytes, to use or change; the memory is used again for
// the next rows.
using ResampledRowSink = std::function<void(std::span<std::uint8_t> rows)>;
// Resamples `bitmap` to width x height as Resample does, byte for byte, but hands the rows
// of the result to `sink`, top to bottom, as they are made, instead of keeping them: besides
// `bitmap`, it holds the width pass's result (when the width changes) and 64 KiB of rows (or
// one row when a row is larger). The same checks and errors as Resample; an empty bitmap
// gives no rows.
void ResampleRows(const Bitmap& bitmap, int width, int height, const ResampledRowSink& sink,
                  ResampleProgress& progress);

// Whether Resample's width pass from fromWidth x fromHeight to the new width stays within
// the picture limit: it makes newWidth x fromHeight, unless the width stays as it is.
bool WidthPassFits(int fromWidth, int fromHeight, int newWidth);

} // namespace tessaly
