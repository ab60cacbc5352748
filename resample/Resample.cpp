#include "resample/Resample.h"

#include "base/Tick.h"
#include "picture/PictureLimit.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

namespace tessaly {

namespace {

constexpr int kChannels = Bitmap::kBytesPerPixel;

// ---- Coefficient tables ----------------------------------------------------------------

// The coefficients of destination positions [from, from + count) along one axis: position
// d is made of the `taps` source positions from first[d - from] on, weighed by
// weights[(d - from) x taps + k]. Every position has the same number of taps (zero weights
// where a source position does not count), all of them inside the source, so that the
// passes' loops have no edges.
struct Coefficients {
    int taps = 0;
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> weights;

    void Resize(int count) {
        first.resize(static_cast<std::size_t>(count));
        weights.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(taps), 0);
    }
    std::int32_t* WeightsOf(int i) {
        return weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(taps);
    }
};

// The first tap of a window of `taps` source positions that holds source position `wanted`
// and stays inside a source of `size` positions.
std::int32_t WindowStart(std::int64_t wanted, int taps, int size) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(wanted, 0, size - taps));
}

// How the weighed sums of a filter become bytes.

// The cubic enlarger's: weights with 20 fraction bits, a bias of one half, bytes clamped.
struct CubicSums {
    using Sum = std::int32_t;
    static constexpr Sum kBias = 1 << 19;
    std::uint8_t Byte(Sum sum) const {
        // Below 0 gives 0, above 255 x 2^20 gives 255, otherwise the sum shifted right by 20.
        return static_cast<std::uint8_t>(std::clamp(sum >> 20, 0, 255));
    }
};

// The area-averaging reducer's: a whole source pixel weighs 2^18, a sum starts at half of
// that, and the normaliser (about 2^22 x destination size / source size) brings
// sum x normaliser to the byte in bits 40 to 47.
constexpr std::int32_t kWholePixel = 1 << 18;
constexpr std::uint32_t kReduceBias = 1u << 17;
constexpr int kWholeShift = 18;
constexpr int kNormaliserShift = 40;

// Sums that fit 32 bits: the byte is bits 40 to 47 of sum x normaliser.
struct NarrowSums {
    using Sum = std::uint32_t;
    static constexpr Sum kBias = kReduceBias;
    std::uint32_t normaliser;
    std::uint8_t Byte(Sum sum) const {
        return static_cast<std::uint8_t>((std::uint64_t{sum} * normaliser) >> kNormaliserShift);
    }
};

// Sums of reductions too strong for 32 bits: 64-bit sums, and the same biased mean taken
// by an exact division, sum x dstSize / (srcSize x 2^18), rounded down.
struct WideSums {
    using Sum = std::uint64_t;
    static constexpr Sum kBias = kReduceBias;
    std::uint64_t dstSize;
    std::uint64_t divisor;
    std::uint8_t Byte(Sum sum) const {
        return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, sum * dstSize / divisor));
    }
};

// A filter gives its axis's coefficients (Taps, Build), the sums they need (WithSums) and
// how the passes walk and report:
// - kStrip: the destination columns of one table of the width pass, so that the table of a
//   wide picture stays small; all rows of a strip are made before the next strip's table;
// - kReportsRows: whether the width pass reports progress per row (after each row of the
//   last strip) or per destination column (after each strip);
// - kHeightOpening: the report that opens the height pass.

// Enlarging: the 4-tap cubic Lagrange polynomial through the source pixels around the
// destination's place, the edge pixels repeated beyond the ends.
class CubicEnlarger {
public:
    static constexpr int kStrip = 512;
    static constexpr bool kReportsRows = false;
    static constexpr std::int32_t kHeightOpening = 50;

    CubicEnlarger(int srcSize, int dstSize) : srcSize_(srcSize), dstSize_(dstSize) {}

    int Taps() const { return std::min(4, srcSize_); }

    void Build(int from, int count, Coefficients& table) const {
        table.taps = Taps();
        table.Resize(count);
        for (int i = 0; i < count; ++i) {
            const int d = from + i;
            // Destination d lies at source position t; the taps are the pixels from
            // trunc(t) - 1 to trunc(t) + 2, clamped to the source.
            const Extended t = static_cast<Extended>(static_cast<std::int64_t>(srcSize_ - 1) * d) /
                               static_cast<Extended>(dstSize_ - 1);
            const std::int64_t base = Trunc(t) - 1;
            const Extended fraction = t - static_cast<Extended>(base + 1);
            const CubicWeightSet w = CubicWeights(1 + fraction, 1 << 20);
            const std::int32_t start = WindowStart(base, table.taps, srcSize_);
            table.first[static_cast<std::size_t>(i)] = start;
            std::int32_t* weights = table.WeightsOf(i);
            for (int k = 0; k < 4; ++k) {
                const std::int64_t at = std::clamp<std::int64_t>(base + k, 0, srcSize_ - 1);
                weights[at - start] += w[static_cast<std::size_t>(k)];
            }
        }
    }

    template <typename Run> void WithSums(const Run& run) const { run(CubicSums{}); }

private:
    int srcSize_;
    int dstSize_;
};

// Reducing: each destination pixel the mean of the source area it covers. Boundary k
// (0 .. dstSize) between destination pixels lies at source position (srcSize x k) /
// dstSize, kept as its whole part and its fraction in units of 2^-18 (rounded half up,
// possibly a whole 2^18); the source pixels a boundary cuts count with their covered part.
class AreaReducer {
public:
    static constexpr int kStrip = 1 << 16; // one table for the width of any photo
    static constexpr bool kReportsRows = true;
    static constexpr std::int32_t kHeightOpening = 0;

    AreaReducer(int srcSize, int dstSize) : srcSize_(srcSize), dstSize_(dstSize) {
        const Extended factor = static_cast<Extended>(srcSize) / static_cast<Extended>(dstSize);
        normaliser_ = static_cast<std::uint32_t>(Trunc(1 / factor * 4194304 + 0.5L));
        std::uint64_t heaviest = 0;
        Boundary start = BoundaryAt(0);
        for (int j = 0; j < dstSize; ++j) {
            const Boundary end = BoundaryAt(j + 1);
            const Span span = SpanBetween(start, end);
            taps_ = std::max(taps_, span.last - span.first + 1);
            const std::int64_t inside = std::max<std::int64_t>(0, end.whole - start.whole - 1);
            const std::uint64_t weight = static_cast<std::uint64_t>(kWholePixel - start.fraction) +
                                         static_cast<std::uint64_t>(inside) * kWholePixel +
                                         static_cast<std::uint64_t>(end.fraction);
            heaviest = std::max(heaviest, weight);
            start = end;
        }
        // Reductions of more than about 64 times need wide sums and an exact division
        // instead of the normaliser.
        narrow_ = kReduceBias + 255 * heaviest <= 0xFFFFFFFFu;
    }

    int Taps() const { return taps_; }

    void Build(int from, int count, Coefficients& table) const {
        table.taps = taps_;
        table.Resize(count);
        Boundary start = BoundaryAt(from);
        for (int i = 0; i < count; ++i) {
            const Boundary end = BoundaryAt(from + i + 1);
            const Span span = SpanBetween(start, end);
            const std::int32_t window = WindowStart(span.first, taps_, srcSize_);
            table.first[static_cast<std::size_t>(i)] = window;
            std::int32_t* weights = table.WeightsOf(i);
            if (start.fraction != kWholePixel)
                weights[start.whole - window] = kWholePixel - start.fraction;
            for (std::int32_t s = start.whole + 1; s < end.whole; ++s)
                weights[s - window] = kWholePixel;
            if (end.fraction != 0)
                weights[end.whole - window] = end.fraction;
            start = end;
        }
    }

    template <typename Run> void WithSums(const Run& run) const {
        if (narrow_)
            run(NarrowSums{normaliser_});
        else
            run(WideSums{static_cast<std::uint64_t>(dstSize_), static_cast<std::uint64_t>(srcSize_)
                                                                   << kWholeShift});
    }

private:
    struct Boundary {
        std::int32_t whole;
        std::int32_t fraction;
    };
    // The source pixels from first to last (inclusive) that a destination pixel covers.
    struct Span {
        std::int32_t first;
        std::int32_t last;
    };

    Boundary BoundaryAt(int k) const {
        const Extended t = static_cast<Extended>(static_cast<std::int64_t>(srcSize_) * k) /
                           static_cast<Extended>(dstSize_);
        return {static_cast<std::int32_t>(Trunc(t)),
                static_cast<std::int32_t>(Trunc(Frac(t) * kWholePixel + 0.5L))};
    }

    // A pixel a boundary leaves wholly to the other side does not count.
    static Span SpanBetween(const Boundary& start, const Boundary& end) {
        return {start.fraction == kWholePixel ? start.whole + 1 : start.whole,
                end.fraction == 0 ? end.whole - 1 : end.whole};
    }

    int srcSize_;
    int dstSize_;
    std::uint32_t normaliser_ = 0;
    int taps_ = 1;
    bool narrow_ = true;
};

// ---- The passes --------------------------------------------------------------------------

void Require(bool condition, const char* pass, const Bitmap& src, const Bitmap& dst) {
    if (!condition)
        throw std::invalid_argument(
            std::string(pass) + ": cannot resample " + std::to_string(src.Width()) + " x " +
            std::to_string(src.Height()) + " to " + std::to_string(dst.Width()) + " x " +
            std::to_string(dst.Height()));
}

// The percentage after outer step `step` of `count`: step x 100 div (2 x count - 2), plus
// `offset`. A single step (divisor 0) reports the end of its half.
std::int32_t PassPercent(std::int64_t step, std::int64_t count, std::int32_t offset) {
    const std::int64_t divisor = 2 * count - 2;
    if (divisor == 0)
        return offset + 50;
    return static_cast<std::int32_t>(step * 100 / divisor) + offset;
}

// Destination pixels 0 to count - 1 of one row span from the table's first `count`
// positions. kTaps is the table's number of taps when known when compiling, 0 otherwise.
template <int kTaps, typename Sums>
void WidenSpan(const std::uint8_t* src, std::uint8_t* dst, const Coefficients& table, int count,
               const Sums& sums) {
    using Sum = typename Sums::Sum;
    const int taps = kTaps != 0 ? kTaps : table.taps;
    const std::int32_t* weights = table.weights.data();
    for (int i = 0; i < count; ++i, weights += taps, dst += kChannels) {
        const std::uint8_t* p =
            src + static_cast<std::ptrdiff_t>(table.first[static_cast<std::size_t>(i)]) * kChannels;
        Sum s0 = Sums::kBias, s1 = Sums::kBias, s2 = Sums::kBias;
        for (int k = 0; k < taps; ++k, p += kChannels) {
            const Sum w = static_cast<Sum>(weights[k]);
            s0 += Sum{p[0]} * w;
            s1 += Sum{p[1]} * w;
            s2 += Sum{p[2]} * w;
        }
        dst[0] = sums.Byte(s0);
        dst[1] = sums.Byte(s1);
        dst[2] = sums.Byte(s2);
    }
}

// One destination row of the height pass from the table's position i: `n` bytes, each the
// weighed sum of the same byte of the taps' rows.
template <int kTaps, typename Sums>
void CombineRows(const Bitmap& src, const Coefficients& table, int i, std::uint8_t* out,
                 std::size_t n, const Sums& sums) {
    using Sum = typename Sums::Sum;
    const std::int32_t first = table.first[static_cast<std::size_t>(i)];
    const std::int32_t* w =
        table.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(table.taps);
    if constexpr (kTaps == 4) {
        const std::uint8_t* r0 = src.Row(first);
        const std::uint8_t* r1 = src.Row(first + 1);
        const std::uint8_t* r2 = src.Row(first + 2);
        const std::uint8_t* r3 = src.Row(first + 3);
        const Sum w0 = static_cast<Sum>(w[0]), w1 = static_cast<Sum>(w[1]),
                  w2 = static_cast<Sum>(w[2]), w3 = static_cast<Sum>(w[3]);
        for (std::size_t b = 0; b < n; ++b)
            out[b] = sums.Byte(Sums::kBias + Sum{r0[b]} * w0 + Sum{r1[b]} * w1 + Sum{r2[b]} * w2 +
                               Sum{r3[b]} * w3);
    } else {
        // Any number of taps: the sums of a piece of the row at a time, kept in the cache.
        constexpr std::size_t kPiece = 2048;
        Sum acc[kPiece];
        for (std::size_t at = 0; at < n; at += kPiece) {
            const std::size_t m = std::min(kPiece, n - at);
            std::fill_n(acc, m, Sums::kBias);
            for (int k = 0; k < table.taps; ++k) {
                if (w[k] == 0)
                    continue;
                const Sum weight = static_cast<Sum>(w[k]);
                const std::uint8_t* row = src.Row(first + k) + at;
                for (std::size_t b = 0; b < m; ++b)
                    acc[b] += Sum{row[b]} * weight;
            }
            for (std::size_t b = 0; b < m; ++b)
                out[at + b] = sums.Byte(acc[b]);
        }
    }
}

// Calls run with kTaps 4 when the table has four taps (the cubic enlarger's, and a
// reduction by four), otherwise with 0, so that the common case runs unrolled.
template <typename Run> void WithTaps(int taps, const Run& run) {
    if (taps == 4)
        run(std::integral_constant<int, 4>{});
    else
        run(std::integral_constant<int, 0>{});
}

// The width pass of any filter: `dst` has the new width and the source's height.
template <typename Filter>
void WidthPass(const Filter& filter, const Bitmap& src, Bitmap& dst, ResampleProgress& progress) {
    const int dw = dst.Width(), h = src.Height();
    progress.Report(0);
    Coefficients table;
    filter.WithSums([&](const auto& sums) {
        WithTaps(filter.Taps(), [&](auto taps) {
            for (int x0 = 0; x0 < dw; x0 += std::min(dw - x0, Filter::kStrip)) {
                const int count = std::min(dw - x0, Filter::kStrip);
                filter.Build(x0, count, table);
                for (int y = 0; y < h; ++y) {
                    WidenSpan<decltype(taps)::value>(
                        src.Row(y), dst.Row(y) + static_cast<std::ptrdiff_t>(x0) * kChannels, table,
                        count, sums);
                    if constexpr (Filter::kReportsRows)
                        if (x0 + count == dw)
                            progress.Report(PassPercent(y, h, 0));
                }
                if constexpr (!Filter::kReportsRows)
                    for (int x = x0; x < x0 + count; ++x)
                        progress.Report(PassPercent(x, dw, 0));
            }
        });
    });
}

// Destination rows of one table of the height pass.
constexpr int kRowsPerTable = 256;

// The height pass of any filter: `dh` rows of the source's width handed to `out`.
template <typename Filter, typename Out>
void HeightPass(const Filter& filter, const Bitmap& src, int dh, Out& out,
                ResampleProgress& progress) {
    progress.Report(Filter::kHeightOpening);
    const std::size_t n = static_cast<std::size_t>(src.Width()) * kChannels;
    Coefficients table;
    filter.WithSums([&](const auto& sums) {
        WithTaps(filter.Taps(), [&](auto taps) {
            for (int y0 = 0; y0 < dh; y0 += kRowsPerTable) {
                const int count = std::min(dh - y0, kRowsPerTable);
                filter.Build(y0, count, table);
                for (int i = 0; i < count; ++i) {
                    CombineRows<decltype(taps)::value>(src, table, i, out.Row(y0 + i), n, sums);
                    out.Done();
                    progress.Report(PassPercent(y0 + i, dh, 50));
                }
            }
        });
    });
}

// The rows of a height pass's result written into a bitmap.
class BitmapRows {
public:
    explicit BitmapRows(Bitmap& bitmap) : bitmap_(bitmap) {}
    std::uint8_t* Row(int y) { return bitmap_.Row(y); }
    void Done() {}

private:
    Bitmap& bitmap_;
};

// The rows of a height pass's result handed to a sink in order, as many whole rows at a
// time as fit kSinkBatchBytes (at least one), so that narrow rows cost few calls.
constexpr std::size_t kSinkBatchBytes = 64 * 1024;

class SinkRows {
public:
    SinkRows(int width, const ResampledRowSink& sink)
        : rowBytes_(static_cast<std::size_t>(width) * kChannels),
          batch_(rowBytes_ * std::max<std::size_t>(1, kSinkBatchBytes / rowBytes_)), sink_(sink) {}
    std::uint8_t* Row(int) { return batch_.data() + filled_; }
    void Done() {
        filled_ += rowBytes_;
        if (filled_ == batch_.size())
            Flush();
    }
    // Hands on the rows made since the last batch.
    void Flush() {
        if (filled_ > 0)
            sink_(std::span(batch_).first(filled_));
        filled_ = 0;
    }

private:
    std::size_t rowBytes_;
    std::vector<std::uint8_t> batch_;
    std::size_t filled_ = 0;
    const ResampledRowSink& sink_;
};

// The height pass from src's height to dh (which differ), into `out`.
template <typename Out>
void ChangeHeight(const Bitmap& src, int dh, Out& out, ResampleProgress& progress) {
    if (dh > src.Height())
        HeightPass(CubicEnlarger(src.Height(), dh), src, dh, out, progress);
    else
        HeightPass(AreaReducer(src.Height(), dh), src, dh, out, progress);
}

// Every size of a resampling to width x height, checked before any work.
void CheckResample(const Bitmap& bitmap, int width, int height) {
    if (width < 1 || height < 1)
        throw std::invalid_argument("Resample: the target size " + std::to_string(width) + " x " +
                                    std::to_string(height) + " must be at least 1 x 1");
    if (ExceedsPictureLimit(width, height))
        throw std::invalid_argument("Resample: the target size " + std::to_string(width) + " x " +
                                    std::to_string(height) + " is above " +
                                    std::to_string(kMaxDecodePixels) + " pixels");
    if (!WidthPassFits(bitmap.Width(), bitmap.Height(), width))
        throw std::invalid_argument("Resample: the width pass would make " + std::to_string(width) +
                                    " x " + std::to_string(bitmap.Height()) + " pixels, above " +
                                    std::to_string(kMaxDecodePixels));
}

// The width pass: `bitmap` at the new width and its own height.
Bitmap ChangeWidth(const Bitmap& bitmap, int width, ResampleProgress& progress) {
    Bitmap widened = Bitmap::Uninitialized(width, bitmap.Height());
    ResampleWidth(bitmap, widened, progress);
    return widened;
}

} // namespace

CubicWeightSet CubicWeights(Extended x, std::int32_t scale) {
    const Extended s = scale;
    const Extended v0 = (x - 1) * (x - 2) * (x - 3) * (-1.0L / 6);
    const Extended v1 = x * (x - 2) * (x - 3) * (1.0L / 2);
    const Extended v2 = x * (x - 1) * (x - 3) * (-1.0L / 2);
    const Extended v3 = x * (x - 1) * (x - 2) * (1.0L / 6);
    return {static_cast<std::int32_t>(Trunc(v0 * s + 0.5L)),
            static_cast<std::int32_t>(Trunc(v1 * s + 0.5L)),
            static_cast<std::int32_t>(Trunc(v2 * s + 0.5L)),
            static_cast<std::int32_t>(Trunc(v3 * s + 0.5L))};
}

ResampleProgress::ResampleProgress(ResampleProgressCallback callback, std::uint32_t lastTick,
                                   TickSource tick)
    : callback_(callback), lastTick_(lastTick), tick_(std::move(tick)) {}

std::uint32_t ResampleProgress::Now() const {
    return tick_ ? tick_() : TickCountMs();
}

void ResampleProgress::Report(std::int32_t percent) {
    if (callback_ == nullptr)
        return;
    if (percent == 0) {
        lastTick_ = Now();
        return;
    }
    if (static_cast<std::uint32_t>(Now() - lastTick_) < 50)
        return;
    callback_(percent);
    lastTick_ = Now();
}

void ResampleWidth(const Bitmap& src, Bitmap& dst, ResampleProgress& progress) {
    const int sw = src.Width(), dw = dst.Width();
    Require(sw >= 1 && dw >= 1 && dw != sw && dst.Height() == src.Height(), "ResampleWidth", src,
            dst);
    if (dw > sw)
        WidthPass(CubicEnlarger(sw, dw), src, dst, progress);
    else
        WidthPass(AreaReducer(sw, dw), src, dst, progress);
}

void ResampleHeight(const Bitmap& src, Bitmap& dst, ResampleProgress& progress) {
    const int sh = src.Height(), dh = dst.Height();
    Require(sh >= 1 && dh >= 1 && dh != sh && dst.Width() == src.Width(), "ResampleHeight", src,
            dst);
    BitmapRows rows(dst);
    ChangeHeight(src, dh, rows, progress);
}

bool WidthPassFits(int fromWidth, int fromHeight, int newWidth) {
    return newWidth == fromWidth || !ExceedsPictureLimit(newWidth, fromHeight);
}

void Resample(Bitmap& bitmap, int width, int height, ResampleProgress& progress) {
    if (bitmap.Empty())
        return;
    CheckResample(bitmap, width, height);
    if (width != bitmap.Width())
        bitmap = ChangeWidth(bitmap, width, progress);
    if (height != bitmap.Height()) {
        Bitmap scratch = Bitmap::Uninitialized(bitmap.Width(), height);
        ResampleHeight(bitmap, scratch, progress);
        bitmap = std::move(scratch);
    }
}

void Resample(Bitmap& bitmap, int width, int height, ResampleProgressCallback callback) {
    ResampleProgress progress(callback);
    Resample(bitmap, width, height, progress);
}

void Resample(Bitmap& bitmap, int width, int height) {
    Resample(bitmap, width, height, nullptr);
}

void ResampleRows(const Bitmap& bitmap, int width, int height, const ResampledRowSink& sink,
                  ResampleProgress& progress) {
    if (bitmap.Empty())
        return;
    CheckResample(bitmap, width, height);
    Bitmap widened;
    if (width != bitmap.Width())
        widened = ChangeWidth(bitmap, width, progress);
    const Bitmap& rows = width != bitmap.Width() ? widened : bitmap;
    SinkRows out(width, sink);
    if (height != rows.Height()) {
        ChangeHeight(rows, height, out, progress);
    } else {
        for (int y = 0; y < height; ++y) {
            std::copy_n(rows.Row(y), static_cast<std::size_t>(width) * kChannels, out.Row(y));
            out.Done();
        }
    }
    out.Flush();
}

} // namespace tessaly
