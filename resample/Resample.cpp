#include "resample/Resample.h"

#include "base/Tick.h"
#include "picture/PictureLimit.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

namespace {

constexpr int kChannels = Bitmap::kBytesPerPixel;

// Enlarging: weights with 20 fraction bits, a bias of one half, bytes clamped.
constexpr std::int32_t kCubicScale = 1 << 20;
constexpr std::int32_t kCubicBias = 1 << 19;

// Reducing: a whole source pixel weighs 2^18, a sum starts at half of that, and the
// normaliser (about 2^22 x destination size / source size) brings sum x normaliser to
// the byte in bits 40 to 47.
constexpr std::uint32_t kWholePixel = 1u << 18;
constexpr std::uint32_t kReduceBias = 1u << 17;
constexpr int kWholeShift = 18;
constexpr int kNormaliserShift = 40;

// Destination columns of one strip of EnlargeH: the four weights of a column serve all
// rows of the strip before the next strip starts, so rows are walked in order while the
// columns are reported one by one as in a column-by-column pass.
constexpr int kEnlargeStrip = 512;

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

std::uint8_t CubicByte(std::int32_t sum) {
    // Below 0 gives 0, above 255 x 2^20 gives 255, otherwise the sum shifted right by 20.
    return static_cast<std::uint8_t>(std::clamp(sum >> 20, 0, 255));
}

// Where destination position d of dstSize falls among srcSize source positions: the first
// of the four taps (may lie before 0) and their weights.
struct CubicPlacement {
    std::int64_t base;
    CubicWeightSet weights;
};

CubicPlacement PlaceCubic(int srcSize, int dstSize, int d) {
    const Extended t = static_cast<Extended>(static_cast<std::int64_t>(srcSize - 1) * d) /
                       static_cast<Extended>(dstSize - 1);
    const std::int64_t whole = Trunc(t);
    const Extended fraction = t - static_cast<Extended>(whole);
    return {whole - 1, CubicWeights(1 + fraction, kCubicScale)};
}

int ClampIndex(std::int64_t i, int size) {
    return static_cast<int>(std::clamp<std::int64_t>(i, 0, size - 1));
}

// One destination column of EnlargeH: byte offsets of the four (edge-clamped) source
// pixels in a row and their weights.
struct ColumnTaps {
    std::array<std::int32_t, 4> offset;
    CubicWeightSet weight;
};

// Destination columns x0 to x1 - 1 of one row; taps[0] is column x0's.
void EnlargeRowSpan(const std::uint8_t* src, std::uint8_t* dst, const ColumnTaps* taps, int x0,
                    int x1) {
    for (int x = x0; x < x1; ++x) {
        const ColumnTaps& tap = taps[x - x0];
        const std::uint8_t* p0 = src + tap.offset[0];
        const std::uint8_t* p1 = src + tap.offset[1];
        const std::uint8_t* p2 = src + tap.offset[2];
        const std::uint8_t* p3 = src + tap.offset[3];
        const std::int32_t w0 = tap.weight[0], w1 = tap.weight[1], w2 = tap.weight[2],
                           w3 = tap.weight[3];
        std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(x) * kChannels;
        for (int c = 0; c < kChannels; ++c)
            out[c] = CubicByte(kCubicBias + w0 * p0[c] + w1 * p1[c] + w2 * p2[c] + w3 * p3[c]);
    }
}

void EnlargeBytes(const std::uint8_t* r0, const std::uint8_t* r1, const std::uint8_t* r2,
                  const std::uint8_t* r3, const CubicWeightSet& w, std::uint8_t* out,
                  std::size_t count) {
    const std::int32_t w0 = w[0], w1 = w[1], w2 = w[2], w3 = w[3];
    for (std::size_t i = 0; i < count; ++i)
        out[i] = CubicByte(kCubicBias + w0 * r0[i] + w1 * r1[i] + w2 * r2[i] + w3 * r3[i]);
}

// Where the destination boundaries of an area-averaging reduction fall in the source:
// boundary k (0 .. dstSize) lies at source position (srcSize x k) / dstSize, kept as its
// whole part and its fraction in units of 2^-18 (rounded half up, possibly a whole 2^18).
struct ReducePlan {
    int srcSize = 0;
    int dstSize = 0;
    std::uint32_t normaliser = 0;
    std::vector<std::int32_t> whole;
    std::vector<std::uint32_t> fraction;
    // True when no sum can exceed 32 bits; reductions of more than about 64 times need
    // wide sums and an exact division instead of the normaliser.
    bool narrow = true;
};

ReducePlan PlanReduction(int srcSize, int dstSize) {
    ReducePlan plan;
    plan.srcSize = srcSize;
    plan.dstSize = dstSize;
    const Extended factor = static_cast<Extended>(srcSize) / static_cast<Extended>(dstSize);
    plan.normaliser = static_cast<std::uint32_t>(Trunc(1 / factor * 4194304 + 0.5L));
    plan.whole.resize(static_cast<std::size_t>(dstSize) + 1);
    plan.fraction.resize(static_cast<std::size_t>(dstSize) + 1);
    for (int k = 0; k <= dstSize; ++k) {
        const Extended t = static_cast<Extended>(static_cast<std::int64_t>(srcSize) * k) /
                           static_cast<Extended>(dstSize);
        plan.whole[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(Trunc(t));
        plan.fraction[static_cast<std::size_t>(k)] =
            static_cast<std::uint32_t>(Trunc(Frac(t) * kWholePixel + 0.5L));
    }
    std::uint64_t heaviest = 0;
    for (std::size_t j = 0; j < static_cast<std::size_t>(dstSize); ++j) {
        const std::int64_t inside =
            std::max<std::int64_t>(0, std::int64_t{plan.whole[j + 1]} - plan.whole[j] - 1);
        const std::uint64_t weight = (kWholePixel - plan.fraction[j]) +
                                     static_cast<std::uint64_t>(inside) * kWholePixel +
                                     plan.fraction[j + 1];
        heaviest = std::max(heaviest, weight);
    }
    plan.narrow = kReduceBias + 255 * heaviest <= 0xFFFFFFFFu;
    return plan;
}

// Sums that fit 32 bits: the byte is bits 40 to 47 of sum x normaliser.
struct NarrowSums {
    using Sum = std::uint32_t;
    std::uint32_t normaliser;
    std::uint8_t Byte(Sum sum) const {
        return static_cast<std::uint8_t>((std::uint64_t{sum} * normaliser) >> kNormaliserShift);
    }
};

// Sums of reductions too strong for 32 bits: 64-bit sums, and the same biased mean taken
// by an exact division, sum x dstSize / (srcSize x 2^18), rounded down.
struct WideSums {
    using Sum = std::uint64_t;
    std::uint64_t dstSize;
    std::uint64_t divisor;
    std::uint8_t Byte(Sum sum) const {
        return static_cast<std::uint8_t>(std::min<std::uint64_t>(255, sum * dstSize / divisor));
    }
};

// Runs `reduce` with the sums the plan's reduction needs.
template <typename Reduce> void WithSums(const ReducePlan& plan, const Reduce& reduce) {
    if (plan.narrow)
        reduce(NarrowSums{plan.normaliser});
    else
        reduce(WideSums{static_cast<std::uint64_t>(plan.dstSize),
                        static_cast<std::uint64_t>(plan.srcSize) << kWholeShift});
}

template <typename Sums>
void ReduceRow(const std::uint8_t* src, std::uint8_t* dst, const ReducePlan& plan,
               const Sums& sums) {
    using Sum = typename Sums::Sum;
    std::int32_t first = 0;
    std::uint32_t carried = 0;
    for (int j = 0; j < plan.dstSize; ++j) {
        const std::uint32_t wFirst = kWholePixel - carried;
        const std::int32_t last = plan.whole[static_cast<std::size_t>(j) + 1];
        const std::uint32_t wLast = plan.fraction[static_cast<std::size_t>(j) + 1];
        Sum s0 = kReduceBias, s1 = kReduceBias, s2 = kReduceBias;
        if (wFirst != 0) {
            const std::uint8_t* p = src + static_cast<std::ptrdiff_t>(first) * kChannels;
            s0 += Sum{p[0]} * wFirst;
            s1 += Sum{p[1]} * wFirst;
            s2 += Sum{p[2]} * wFirst;
        }
        Sum m0 = 0, m1 = 0, m2 = 0;
        const std::uint8_t* p = src + static_cast<std::ptrdiff_t>(first + 1) * kChannels;
        for (std::int32_t i = first + 1; i < last; ++i, p += kChannels) {
            m0 += p[0];
            m1 += p[1];
            m2 += p[2];
        }
        s0 += m0 << kWholeShift;
        s1 += m1 << kWholeShift;
        s2 += m2 << kWholeShift;
        if (wLast != 0) {
            const std::uint8_t* q = src + static_cast<std::ptrdiff_t>(last) * kChannels;
            s0 += Sum{q[0]} * wLast;
            s1 += Sum{q[1]} * wLast;
            s2 += Sum{q[2]} * wLast;
        }
        std::uint8_t* out = dst + static_cast<std::ptrdiff_t>(j) * kChannels;
        out[0] = sums.Byte(s0);
        out[1] = sums.Byte(s1);
        out[2] = sums.Byte(s2);
        first = last;
        carried = wLast;
    }
}

template <typename Sums>
void ReduceRows(const Bitmap& src, Bitmap& dst, const ReducePlan& plan, const Sums& sums,
                StretchProgressThrottle& progress) {
    const int height = src.Height();
    for (int y = 0; y < height; ++y) {
        ReduceRow(src.Row(y), dst.Row(y), plan, sums);
        progress.Report(PassPercent(y, height, 0));
    }
}

template <typename Sum>
void AddWeightedRow(Sum* sums, const std::uint8_t* row, std::uint32_t weight, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        sums[i] += Sum{row[i]} * weight;
}

template <typename Sum> void AddWholeRow(Sum* sums, const std::uint8_t* row, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        sums[i] += Sum{row[i]} << kWholeShift;
}

template <typename Sums, typename Out>
void ReduceColumns(const Bitmap& src, Out& dst, const ReducePlan& plan, const Sums& sums,
                   StretchProgressThrottle& progress) {
    using Sum = typename Sums::Sum;
    const std::size_t n = static_cast<std::size_t>(src.Width()) * kChannels;
    std::vector<Sum> acc(n);
    const int dh = plan.dstSize;
    std::int32_t first = 0;
    std::uint32_t carried = 0;
    for (int y = 0; y < dh; ++y) {
        const std::uint32_t wFirst = kWholePixel - carried;
        const std::int32_t last = plan.whole[static_cast<std::size_t>(y) + 1];
        const std::uint32_t wLast = plan.fraction[static_cast<std::size_t>(y) + 1];
        std::fill(acc.begin(), acc.end(), Sum{kReduceBias});
        if (wFirst != 0)
            AddWeightedRow(acc.data(), src.Row(first), wFirst, n);
        for (std::int32_t i = first + 1; i < last; ++i)
            AddWholeRow(acc.data(), src.Row(i), n);
        if (wLast != 0)
            AddWeightedRow(acc.data(), src.Row(last), wLast, n);
        std::uint8_t* out = dst.Row(y);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = sums.Byte(acc[i]);
        dst.Done();
        first = last;
        carried = wLast;
        progress.Report(PassPercent(y, dh, 50));
    }
}

// The rows of a vertical pass's result written into a bitmap.
class BitmapRows {
public:
    explicit BitmapRows(Bitmap& bitmap) : bitmap_(bitmap) {}
    std::uint8_t* Row(int y) { return bitmap_.Row(y); }
    void Done() {}

private:
    Bitmap& bitmap_;
};

// The rows of a vertical pass's result handed to a sink in order, as many whole rows at a
// time as fit kSinkBatchBytes (at least one), so that narrow rows cost few calls.
constexpr std::size_t kSinkBatchBytes = 64 * 1024;

class SinkRows {
public:
    SinkRows(int width, const StretchRowSink& sink)
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
    const StretchRowSink& sink_;
};

template <typename Out>
void EnlargeRows(const Bitmap& src, int dh, Out& dst, StretchProgressThrottle& progress) {
    const int sh = src.Height();
    progress.Report(50);
    const std::size_t n = static_cast<std::size_t>(src.Width()) * kChannels;
    for (int y = 0; y < dh; ++y) {
        const CubicPlacement place = PlaceCubic(sh, dh, y);
        EnlargeBytes(src.Row(ClampIndex(place.base, sh)), src.Row(ClampIndex(place.base + 1, sh)),
                     src.Row(ClampIndex(place.base + 2, sh)),
                     src.Row(ClampIndex(place.base + 3, sh)), place.weights, dst.Row(y), n);
        dst.Done();
        progress.Report(PassPercent(y, dh, 50));
    }
}

template <typename Out>
void ReduceRowsV(const Bitmap& src, int dh, Out& dst, StretchProgressThrottle& progress) {
    const int sh = src.Height();
    progress.Report(0);
    const ReducePlan plan = PlanReduction(sh, dh);
    WithSums(plan, [&](const auto& sums) { ReduceColumns(src, dst, plan, sums, progress); });
}

// Every size of a resampling to width x height, checked before any work.
void CheckStretch(const Bitmap& bitmap, int width, int height) {
    if (width < 1 || height < 1)
        throw std::invalid_argument("StretchBitmap: the target size " + std::to_string(width) +
                                    " x " + std::to_string(height) + " must be at least 1 x 1");
    if (ExceedsPictureLimit(width, height))
        throw std::invalid_argument("StretchBitmap: the target size " + std::to_string(width) +
                                    " x " + std::to_string(height) + " is above " +
                                    std::to_string(kMaxDecodePixels) + " pixels");
    if (!WidthPassFits(bitmap.Width(), bitmap.Height(), width))
        throw std::invalid_argument(
            "StretchBitmap: the width pass would make " + std::to_string(width) + " x " +
            std::to_string(bitmap.Height()) + " pixels, above " + std::to_string(kMaxDecodePixels));
}

// The width pass: `bitmap` at the new width and its own height.
Bitmap StretchWidth(const Bitmap& bitmap, int width, StretchProgressThrottle& progress) {
    Bitmap widened = Bitmap::Uninitialized(width, bitmap.Height());
    if (width > bitmap.Width())
        EnlargeH(bitmap, widened, progress);
    else
        ReduceH(bitmap, widened, progress);
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

void StretchProgressThrottle::Report(std::int32_t percent) {
    if (progress_ == nullptr)
        return;
    if (percent == 0) {
        lastTick_ = TickCountMs();
        return;
    }
    if (static_cast<std::uint32_t>(TickCountMs() - lastTick_) < 50)
        return;
    progress_(percent);
    lastTick_ = TickCountMs();
}

void EnlargeH(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress) {
    const int sw = src.Width(), dw = dst.Width(), h = src.Height();
    Require(sw >= 1 && dw > sw && dst.Height() == h, "EnlargeH", src, dst);
    progress.Report(0);
    // The taps of one strip at a time, so that the table stays small whatever the width.
    std::vector<ColumnTaps> taps(static_cast<std::size_t>(std::min(dw, kEnlargeStrip)));
    for (int x0 = 0; x0 < dw; x0 += kEnlargeStrip) {
        const int x1 = std::min(dw, x0 + kEnlargeStrip);
        for (int x = x0; x < x1; ++x) {
            const CubicPlacement place = PlaceCubic(sw, dw, x);
            ColumnTaps& tap = taps[static_cast<std::size_t>(x - x0)];
            for (int i = 0; i < 4; ++i)
                tap.offset[static_cast<std::size_t>(i)] =
                    ClampIndex(place.base + i, sw) * kChannels;
            tap.weight = place.weights;
        }
        for (int y = 0; y < h; ++y)
            EnlargeRowSpan(src.Row(y), dst.Row(y), taps.data(), x0, x1);
        for (int x = x0; x < x1; ++x)
            progress.Report(PassPercent(x, dw, 0));
    }
}

void EnlargeV(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress) {
    Require(src.Height() >= 1 && dst.Height() > src.Height() && dst.Width() == src.Width(),
            "EnlargeV", src, dst);
    BitmapRows rows(dst);
    EnlargeRows(src, dst.Height(), rows, progress);
}

void ReduceH(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress) {
    const int sw = src.Width(), dw = dst.Width();
    Require(dw >= 1 && dw < sw && dst.Height() == src.Height(), "ReduceH", src, dst);
    progress.Report(0);
    const ReducePlan plan = PlanReduction(sw, dw);
    WithSums(plan, [&](const auto& sums) { ReduceRows(src, dst, plan, sums, progress); });
}

void ReduceV(const Bitmap& src, Bitmap& dst, StretchProgressThrottle& progress) {
    Require(dst.Height() >= 1 && dst.Height() < src.Height() && dst.Width() == src.Width(),
            "ReduceV", src, dst);
    BitmapRows rows(dst);
    ReduceRowsV(src, dst.Height(), rows, progress);
}

bool WidthPassFits(int fromWidth, int fromHeight, int newWidth) {
    return newWidth == fromWidth || !ExceedsPictureLimit(newWidth, fromHeight);
}

void StretchBitmapEx(Bitmap& bitmap, int width, int height, StretchProgressThrottle& progress) {
    if (bitmap.Empty())
        return;
    CheckStretch(bitmap, width, height);
    if (width != bitmap.Width())
        bitmap = StretchWidth(bitmap, width, progress);
    if (height != bitmap.Height()) {
        Bitmap scratch = Bitmap::Uninitialized(bitmap.Width(), height);
        if (height > bitmap.Height())
            EnlargeV(bitmap, scratch, progress);
        else
            ReduceV(bitmap, scratch, progress);
        bitmap = std::move(scratch);
    }
}

void StretchBitmapRows(const Bitmap& bitmap, int width, int height, const StretchRowSink& sink,
                       StretchProgressThrottle& progress) {
    if (bitmap.Empty())
        return;
    CheckStretch(bitmap, width, height);
    Bitmap widened;
    if (width != bitmap.Width())
        widened = StretchWidth(bitmap, width, progress);
    const Bitmap& rows = width != bitmap.Width() ? widened : bitmap;
    SinkRows out(width, sink);
    if (height > rows.Height()) {
        EnlargeRows(rows, height, out, progress);
    } else if (height < rows.Height()) {
        ReduceRowsV(rows, height, out, progress);
    } else {
        for (int y = 0; y < height; ++y) {
            std::copy_n(rows.Row(y), static_cast<std::size_t>(width) * kChannels, out.Row(y));
            out.Done();
        }
    }
    out.Flush();
}

void StretchBitmapEx(Bitmap& bitmap, int width, int height, TStretchProgress progress) {
    StretchProgressThrottle throttle(progress);
    StretchBitmapEx(bitmap, width, height, throttle);
}

void StretchBitmap(Bitmap& bitmap, int width, int height) {
    StretchBitmapEx(bitmap, width, height, nullptr);
}

} // namespace tessaly
