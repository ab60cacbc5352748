#include "resample/DisplayScale.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <thread>
#include <vector>

namespace tessaly {

namespace {

// Start of the source span of output index i when n source items map onto m outputs.
int SpanStart(int i, int n, int m) {
    return static_cast<int>(static_cast<std::int64_t>(i) * n / m);
}

// One output row from the column sums of its source rows: each pixel the rounded mean of
// the block of source pixels it covers.
void EmitRow(const std::vector<std::uint32_t>& columnSums, std::uint32_t rows,
             const std::vector<int>& x0, std::uint8_t* dst) {
    const int width = static_cast<int>(x0.size()) - 1;
    for (int x = 0; x < width; ++x) {
        const int xa = x0[static_cast<std::size_t>(x)];
        const int xb = x0[static_cast<std::size_t>(x) + 1];
        std::uint64_t b = 0, g = 0, r = 0;
        for (int sx = xa; sx < xb; ++sx) {
            const std::uint32_t* s = columnSums.data() + static_cast<std::size_t>(sx) * 3;
            b += s[0];
            g += s[1];
            r += s[2];
        }
        const std::uint64_t count =
            static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(xb - xa);
        dst[3 * x + 0] = static_cast<std::uint8_t>((b + count / 2) / count);
        dst[3 * x + 1] = static_cast<std::uint8_t>((g + count / 2) / count);
        dst[3 * x + 2] = static_cast<std::uint8_t>((r + count / 2) / count);
    }
}

void AddToSums(std::vector<std::uint32_t>& columnSums, const std::uint8_t* row) {
    std::uint32_t* sums = columnSums.data();
    for (std::size_t i = 0; i < columnSums.size(); ++i)
        sums[i] += row[i];
}

// The source column spans of `count` output columns from `left` of a copy `width` wide,
// counted from the first source column they use.
std::vector<int> ColumnStarts(int sourceWidth, int width, int left, int count) {
    const int firstColumn = SpanStart(left, sourceWidth, width);
    std::vector<int> x0(static_cast<std::size_t>(count) + 1);
    for (int x = 0; x <= count; ++x)
        x0[static_cast<std::size_t>(x)] = SpanStart(left + x, sourceWidth, width) - firstColumn;
    return x0;
}

void CheckSizes(int sw, int sh, int width, int height) {
    if (width < 1 || height < 1 || width > sw || height > sh)
        throw std::invalid_argument(
            "ReduceForDisplay: the size must lie between 1 and the source size");
}

// Source rows as 24-bit pixels from a given column on: a bitmap's own rows.
class RowsOfBitmap {
public:
    RowsOfBitmap(const Bitmap& source, int firstColumn, int)
        : source_(source), offset_(static_cast<std::size_t>(firstColumn) * Bitmap::kBytesPerPixel) {
    }
    const std::uint8_t* operator()(int y) { return source_.Row(y) + offset_; }

private:
    const Bitmap& source_;
    std::size_t offset_;
};

// The same from planes: rows are asked for top to bottom, so they are converted a strip at
// a time, only the columns needed.
class RowsOfPlanes {
public:
    static constexpr int kStrip = 16;

    RowsOfPlanes(const YccPlanes& source, int firstColumn, int columns)
        : source_(source), left_(firstColumn), columns_(columns),
          strip_(static_cast<std::size_t>(columns) * Bitmap::kBytesPerPixel *
                 static_cast<std::size_t>(kStrip)) {}

    const std::uint8_t* operator()(int y) {
        if (y < top_ || y >= top_ + rows_) {
            top_ = y;
            rows_ = std::min(kStrip, source_.Height() - y);
            source_.ReadBgr(left_, top_, columns_, rows_, strip_.data(), RowBytes());
        }
        return strip_.data() + RowBytes() * static_cast<std::size_t>(y - top_);
    }

private:
    std::size_t RowBytes() const {
        return static_cast<std::size_t>(columns_) * Bitmap::kBytesPerPixel;
    }

    const YccPlanes& source_;
    int left_;
    int columns_;
    std::vector<std::uint8_t> strip_;
    int top_ = 0;
    int rows_ = 0;
};

// Feeds the reducer the source rows it needs, top to bottom.
template <class Rows, class Source> void Feed(const Source& source, DisplayReducer& reducer) {
    Rows rows(source, reducer.FirstSourceColumn(), reducer.SourceColumns());
    for (int y = reducer.FirstSourceRow(); !reducer.Done(); ++y)
        reducer.AddRow(rows(y));
}

template <class Rows, class Source>
Bitmap ReduceWhole(const Source& source, int width, int height) {
    const int sw = source.Width();
    const int sh = source.Height();
    CheckSizes(sw, sh, width, height);
    Bitmap out = Bitmap::Uninitialized(width, height);
    // A large picture is summed on two threads, each over its own band of output rows.
    const bool split = static_cast<std::int64_t>(sw) * sh >= 4'000'000 && height >= 2 &&
                       std::thread::hardware_concurrency() >= 2;
    if (!split) {
        DisplayReducer whole(sw, sh, out);
        Feed<Rows>(source, whole);
        return out;
    }
    const int middle = height / 2;
    DisplayReducer upper(sw, sh, width, height, 0, 0, middle, out, 0);
    DisplayReducer lower(sw, sh, width, height, 0, middle, height - middle, out, middle);
    {
        const std::jthread worker([&] { Feed<Rows>(source, lower); });
        Feed<Rows>(source, upper);
    }
    return out;
}

template <class Rows, class Source>
Bitmap ReduceRegion(const Source& source, int width, int height, int left, int top, int regionWidth,
                    int regionHeight) {
    const int sw = source.Width();
    const int sh = source.Height();
    CheckSizes(sw, sh, width, height);
    if (left < 0 || top < 0 || regionWidth < 1 || regionHeight < 1 || left > width - regionWidth ||
        top > height - regionHeight)
        throw std::invalid_argument("ReduceRegionForDisplay: the region must lie in the copy");
    Bitmap out = Bitmap::Uninitialized(regionWidth, regionHeight);
    DisplayReducer part(sw, sh, width, height, left, top, regionHeight, out, 0);
    Feed<Rows>(source, part);
    return out;
}

} // namespace

Bitmap ReduceForDisplay(const Bitmap& source, int width, int height) {
    return ReduceWhole<RowsOfBitmap>(source, width, height);
}

Bitmap ReduceForDisplay(const DecodedPicture& source, int width, int height) {
    if (const Bitmap* rgb = source.Rgb())
        return ReduceWhole<RowsOfBitmap>(*rgb, width, height);
    return ReduceWhole<RowsOfPlanes>(*source.Planes(), width, height);
}

Bitmap ReduceRegionForDisplay(const Bitmap& source, int width, int height, int left, int top,
                              int regionWidth, int regionHeight) {
    return ReduceRegion<RowsOfBitmap>(source, width, height, left, top, regionWidth, regionHeight);
}

Bitmap ReduceRegionForDisplay(const DecodedPicture& source, int width, int height, int left,
                              int top, int regionWidth, int regionHeight) {
    if (const Bitmap* rgb = source.Rgb())
        return ReduceRegion<RowsOfBitmap>(*rgb, width, height, left, top, regionWidth,
                                          regionHeight);
    return ReduceRegion<RowsOfPlanes>(*source.Planes(), width, height, left, top, regionWidth,
                                      regionHeight);
}

DisplayReducer::DisplayReducer(int sourceWidth, int sourceHeight, Bitmap& out)
    : DisplayReducer(
          (CheckSizes(sourceWidth, sourceHeight, out.Width(), out.Height()), sourceWidth),
          sourceHeight, out.Width(), out.Height(), 0, 0, out.Height(), out, 0) {}

DisplayReducer::DisplayReducer(int sourceWidth, int sourceHeight, int width, int height, int left,
                               int top, int rows, Bitmap& out, int outRow)
    : sourceHeight_(sourceHeight), height_(height),
      firstColumn_(SpanStart(left, sourceWidth, width)),
      x0_(ColumnStarts(sourceWidth, width, left, out.Width())), top_(top), rows_(rows), out_(out),
      outRow_(outRow), columnSums_(static_cast<std::size_t>(x0_.back()) * 3) {
    Restart();
}

int DisplayReducer::FirstSourceRow() const {
    return SpanStart(top_, sourceHeight_, height_);
}

void DisplayReducer::Restart() {
    std::fill(columnSums_.begin(), columnSums_.end(), 0u);
    sourceRow_ = FirstSourceRow();
    row_ = top_;
    rowEnd_ = SpanStart(top_ + 1, sourceHeight_, height_);
}

void DisplayReducer::AddRow(const std::uint8_t* bgr) {
    if (Done())
        return;
    AddToSums(columnSums_, bgr);
    ++sourceRow_;
    if (sourceRow_ < rowEnd_)
        return;
    const int rowStart = SpanStart(row_, sourceHeight_, height_);
    EmitRow(columnSums_, static_cast<std::uint32_t>(rowEnd_ - rowStart), x0_,
            out_.Row(outRow_ + row_ - top_));
    std::fill(columnSums_.begin(), columnSums_.end(), 0u);
    ++row_;
    rowEnd_ = SpanStart(row_ + 1, sourceHeight_, height_);
}

} // namespace tessaly
