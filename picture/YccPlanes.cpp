#include "picture/YccPlanes.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace tessaly {

namespace {

// libjpeg decodes each component in blocks of 8 x 8 samples, and hands out a whole row of
// blocks of the picture's largest sampling (an "iMCU row": 16 luma rows for 4:2:0, 8
// otherwise) at a time.
constexpr int kBlock = 8;

// libjpeg's YCbCr to RGB conversion (jdcolor.c): fixed point with 16 fraction bits, each
// chroma term rounded to an integer before it is added to the luma, green's two terms
// summed before rounding. Arithmetic right shifts of negative values, as libjpeg's.
constexpr int kScaleBits = 16;
constexpr int kOneHalf = 1 << (kScaleBits - 1);
constexpr int Fix(double x) {
    return static_cast<int>(x * (1 << kScaleBits) + 0.5);
}
constexpr int kCrToRed = Fix(1.40200);
constexpr int kCbToBlue = Fix(1.77200);
constexpr int kCrToGreen = -Fix(0.71414);
constexpr int kCbToGreen = -Fix(0.34414);

// The row loops below are written once and compiled for the baseline processor and, on
// x86-64, once more each for processors with SSE4.1 and with AVX2 (chosen at run time),
// where the compiler turns them into vector loops: the baseline's SSE2 has neither the
// byte shuffles that spread the samples over 3-byte pixels nor 32-bit multiplies. All
// compute the same bytes.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSALY_VECTOR_ROWS 1
#endif
#define TESSALY_ROW_LOOP [[gnu::always_inline]] inline

TESSALY_ROW_LOOP std::uint8_t ClampSample(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// `count` pixels from luma and full-width chroma samples into blue, green, red.
TESSALY_ROW_LOOP void YccToBgr(const std::uint8_t* __restrict luma,
                               const std::uint8_t* __restrict cb, const std::uint8_t* __restrict cr,
                               std::uint8_t* __restrict out, int count) {
    for (int x = 0; x < count; ++x) {
        const int y = luma[x];
        const int b = cb[x] - 128;
        const int r = cr[x] - 128;
        out[3 * x + 0] = ClampSample(y + ((kCbToBlue * b + kOneHalf) >> kScaleBits));
        out[3 * x + 1] =
            ClampSample(y + ((kCbToGreen * b + kCrToGreen * r + kOneHalf) >> kScaleBits));
        out[3 * x + 2] = ClampSample(y + ((kCrToRed * r + kOneHalf) >> kScaleBits));
    }
}

TESSALY_ROW_LOOP void GreyToBgr(const std::uint8_t* __restrict grey, std::uint8_t* __restrict out,
                                int count) {
    for (int x = 0; x < count; ++x) {
        out[3 * x + 0] = grey[x];
        out[3 * x + 1] = grey[x];
        out[3 * x + 2] = grey[x];
    }
}

// libjpeg's "fancy" horizontal doubling (jdsample.c): each chroma column j gives two output
// samples, 3/4 of its own value and 1/4 of its left neighbour's, then of its right
// neighbour's. `sums` are the column values (already blended vertically for 4:2:0, scaled
// by 4 then) for columns -1 to count, the outer two copies of the edge column at the
// picture's edges, which gives exactly libjpeg's special first and last columns. The
// rounding biases differ between the two outputs, as libjpeg's do.
template <int Shift, int LeftBias, int RightBias>
TESSALY_ROW_LOOP void Interpolate(const std::int16_t* __restrict sums, std::uint8_t* __restrict out,
                                  int count) {
    for (int k = 0; k < count; ++k) {
        const int near = 3 * sums[k + 1];
        out[2 * k + 0] = static_cast<std::uint8_t>((near + sums[k] + LeftBias) >> Shift);
        out[2 * k + 1] = static_cast<std::uint8_t>((near + sums[k + 2] + RightBias) >> Shift);
    }
}

// libjpeg's "fancy" vertical doubling alone (4:4:0): 3/4 of the nearer chroma row, 1/4 of
// the other, rounded with its bias (1 for an upper output row, 2 for a lower one).
TESSALY_ROW_LOOP void BlendRowsRounded(const std::uint8_t* __restrict nearRow,
                                       const std::uint8_t* __restrict farRow, int bias,
                                       std::uint8_t* __restrict out, int count) {
    for (int j = 0; j < count; ++j)
        out[j] = static_cast<std::uint8_t>((3 * nearRow[j] + farRow[j] + bias) >> 2);
}

// The vertical blend of 4:2:0: 3/4 of the nearer chroma row, 1/4 of the other (x4).
TESSALY_ROW_LOOP void BlendRows(const std::uint8_t* __restrict nearRow,
                                const std::uint8_t* __restrict farRow,
                                std::int16_t* __restrict sums, int count) {
    for (int j = 0; j < count; ++j)
        sums[j] = static_cast<std::int16_t>(3 * nearRow[j] + farRow[j]);
}

TESSALY_ROW_LOOP void WidenRow(const std::uint8_t* __restrict row, std::int16_t* __restrict sums,
                               int count) {
    for (int j = 0; j < count; ++j)
        sums[j] = row[j];
}

// One plane as the row loops see it.
struct PlaneView {
    const std::uint8_t* samples;
    std::size_t stride;
    int width;
    int height;
    const std::uint8_t* Row(int y) const { return samples + stride * static_cast<std::size_t>(y); }
};

// A rectangle to convert, and the scratch rows for it.
struct RowJob {
    PlaneView planes[3];
    YccPlanes::Layout layout;
    int left;
    int top;
    int width;
    int height;
    std::uint8_t* out;
    std::size_t stride;
    // Chroma columns [first, first + count) cover the rectangle; the upsampled samples
    // start at picture column 2 * first, one before `left` when it is odd (for 4:4:0 the
    // chroma columns are the picture's).
    int first;
    int count;
    std::int16_t* sums; // count + 2 values
    std::uint8_t* cb;   // 2 * count samples each
    std::uint8_t* cr;
};

// The chroma of plane p for picture row y, as libjpeg upsamples it, into `out`.
TESSALY_ROW_LOOP void UpsampleChroma(const RowJob& job, const PlaneView& p, int y,
                                     std::uint8_t* out) {
    const int first = job.first;
    const int count = job.count;
    const bool quarter = job.layout == YccPlanes::Layout::Quarter;
    const bool halfHigh = job.layout == YccPlanes::Layout::HalfHigh;
    const int row = quarter || halfHigh ? y / 2 : y;
    const std::uint8_t* nearRow = p.Row(row);
    // The other row is the one above for an upper output row, the one below for a lower
    // one; at the plane's top and bottom edges the edge row stands in for it.
    const int other = y % 2 == 0 ? std::max(row - 1, 0) : std::min(row + 1, p.height - 1);
    if (halfHigh) {
        // Columns as the picture's: only the rows are blended, whatever the width.
        BlendRowsRounded(nearRow + first, p.Row(other) + first, y % 2 == 0 ? 1 : 2, out, count);
        return;
    }
    if (p.width <= 2) {
        // libjpeg doubles a plane this narrow without the filter: each sample twice, and
        // for 4:2:0 each row twice.
        for (int k = 0; k < count; ++k)
            out[2 * k] = out[2 * k + 1] = nearRow[first + k];
        return;
    }
    // Chroma columns [lo, hi] are read; sums[k] belongs to column first - 1 + k.
    std::int16_t* sums = job.sums;
    const int lo = std::max(first - 1, 0);
    const int hi = std::min(first + count, p.width - 1);
    std::int16_t* at = sums + (lo - (first - 1));
    if (quarter) {
        BlendRows(nearRow + lo, p.Row(other) + lo, at, hi - lo + 1);
    } else {
        WidenRow(nearRow + lo, at, hi - lo + 1);
    }
    if (first == 0)
        sums[0] = sums[1];
    if (first + count == p.width)
        sums[count + 1] = sums[count];
    if (quarter)
        Interpolate<4, 8, 7>(sums, out, count);
    else
        Interpolate<2, 1, 2>(sums, out, count);
}

TESSALY_ROW_LOOP void ConvertRows(const RowJob& job) {
    // Upsampled chroma starts at the chroma column under `left`, one pixel early when the
    // columns were doubled and `left` is odd.
    const int skip = job.layout == YccPlanes::Layout::HalfHigh ? 0 : job.left % 2;
    for (int y = job.top; y < job.top + job.height; ++y) {
        std::uint8_t* out = job.out + job.stride * static_cast<std::size_t>(y - job.top);
        const std::uint8_t* luma = job.planes[0].Row(y) + job.left;
        if (job.layout == YccPlanes::Layout::Grey) {
            GreyToBgr(luma, out, job.width);
            continue;
        }
        UpsampleChroma(job, job.planes[1], y, job.cb);
        UpsampleChroma(job, job.planes[2], y, job.cr);
        YccToBgr(luma, job.cb + skip, job.cr + skip, out, job.width);
    }
}

void ConvertRowsPlain(const RowJob& job) {
    ConvertRows(job);
}

#ifdef TESSALY_VECTOR_ROWS
__attribute__((target("avx2"))) void ConvertRowsAvx2(const RowJob& job) {
    ConvertRows(job);
}

__attribute__((target("sse4.1"))) void ConvertRowsSse41(const RowJob& job) {
    ConvertRows(job);
}

// The widest of the loops this processor runs.
void (*ChooseConvertRows())(const RowJob&) {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return ConvertRowsAvx2;
    if (__builtin_cpu_supports("sse4.1"))
        return ConvertRowsSse41;
    return ConvertRowsPlain;
}
#endif

} // namespace

namespace {

// A plane's shape: its rows whole blocks wide, with room for whole iMCU rows of its component,
// as jpeg_read_raw_data writes them.
struct PlaneShape {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int rows = 0;
};

// The shapes of the planes of a picture of width x height in `layout` (one for Grey).
std::array<PlaneShape, 3> PlaneShapes(YccPlanes::Layout layout, int width, int height) {
    const auto shape = [](int planeWidth, int planeHeight, int rowsAtOnce) {
        return PlaneShape{planeWidth, planeHeight,
                          static_cast<std::size_t>((planeWidth + kBlock - 1) / kBlock * kBlock),
                          (planeHeight + rowsAtOnce - 1) / rowsAtOnce * rowsAtOnce};
    };
    using Layout = YccPlanes::Layout;
    const bool halfHeight = layout == Layout::Quarter || layout == Layout::HalfHigh;
    std::array<PlaneShape, 3> shapes{};
    shapes[0] = shape(width, height, halfHeight ? 2 * kBlock : kBlock);
    if (layout == Layout::Grey)
        return shapes;
    const int chromaWidth = layout == Layout::HalfHigh ? width : (width + 1) / 2;
    const int chromaHeight = halfHeight ? (height + 1) / 2 : height;
    shapes[1] = shapes[2] = shape(chromaWidth, chromaHeight, kBlock);
    return shapes;
}

} // namespace

YccPlanes::YccPlanes(Layout layout, int width, int height)
    : layout_(layout), width_(width), height_(height) {
    if (width < 1 || height < 1)
        throw std::invalid_argument("YccPlanes: a picture is at least 1 x 1");
    const std::array<PlaneShape, 3> shapes = PlaneShapes(layout, width, height);
    for (std::size_t i = 0; i < static_cast<std::size_t>(PlaneCount()); ++i) {
        Plane& p = planes_[i];
        p.width = shapes[i].width;
        p.height = shapes[i].height;
        p.stride = shapes[i].stride;
        p.rows = shapes[i].rows;
        p.samples = std::make_unique_for_overwrite<std::uint8_t[]>(
            p.stride * static_cast<std::size_t>(p.rows));
    }
}

std::size_t YccPlanes::BytesFor(Layout layout, int width, int height) {
    std::size_t bytes = 0;
    for (const PlaneShape& p : PlaneShapes(layout, std::max(width, 1), std::max(height, 1)))
        bytes += p.stride * static_cast<std::size_t>(p.rows);
    return bytes;
}

int YccPlanes::PlaneWidth(int i) const {
    return planes_[static_cast<std::size_t>(i)].width;
}

int YccPlanes::PlaneHeight(int i) const {
    return planes_[static_cast<std::size_t>(i)].height;
}

std::uint8_t* YccPlanes::Row(int i, int y) {
    const Plane& p = planes_[static_cast<std::size_t>(i)];
    return p.samples.get() + p.stride * static_cast<std::size_t>(y);
}

const std::uint8_t* YccPlanes::Row(int i, int y) const {
    const Plane& p = planes_[static_cast<std::size_t>(i)];
    return p.samples.get() + p.stride * static_cast<std::size_t>(y);
}

std::size_t YccPlanes::SizeBytes() const {
    std::size_t bytes = 0;
    for (const Plane& p : planes_)
        bytes += p.stride * static_cast<std::size_t>(p.rows);
    return bytes;
}

void YccPlanes::ReadBgr(int left, int top, int width, int height, std::uint8_t* out,
                        std::size_t stride) const {
    if (left < 0 || top < 0 || width < 0 || height < 0 || left > width_ - width ||
        top > height_ - height)
        throw std::invalid_argument("YccPlanes::ReadBgr: the rectangle must lie in the picture");
    if (width == 0 || height == 0)
        return;
    RowJob job{};
    for (int i = 0; i < PlaneCount(); ++i) {
        const Plane& p = planes_[static_cast<std::size_t>(i)];
        job.planes[i] = {p.samples.get(), p.stride, p.width, p.height};
    }
    job.layout = layout_;
    job.left = left;
    job.top = top;
    job.width = width;
    job.height = height;
    job.out = out;
    job.stride = stride;
    if (layout_ == Layout::HalfHigh) {
        job.first = left;
        job.count = width;
    } else {
        job.first = left / 2;
        job.count = (left + width - 1) / 2 - job.first + 1;
    }
    std::vector<std::int16_t> sums;
    std::vector<std::uint8_t> chroma;
    if (layout_ != Layout::Grey) {
        sums.resize(static_cast<std::size_t>(job.count) + 2);
        chroma.resize(4 * static_cast<std::size_t>(job.count));
        job.sums = sums.data();
        job.cb = chroma.data();
        job.cr = chroma.data() + 2 * static_cast<std::size_t>(job.count);
    }
#ifdef TESSALY_VECTOR_ROWS
    static void (*const convert)(const RowJob&) = ChooseConvertRows();
    convert(job);
#else
    ConvertRowsPlain(job);
#endif
}

} // namespace tessaly
