#include "jpeg/JpegStripes.h"

#include "jpeg/JpegErrorManager.h"
#include "jpeg/JpegInput.h"
#include "jpeg/JpegRestartIndex.h"
#include "jpeg/JpegStripeDecode.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace tessaly {

using jpeg_detail::ErrorManager;
using jpeg_detail::Input;
using jpeg_detail::RestartIndex;
using jpeg_detail::RestartRow;
using jpeg_detail::StripeJob;
using jpeg_detail::StripeSource;
using jpeg_detail::StripeStatus;

namespace {

// The colour space libjpeg gave the file whose header is `info`.
J_COLOR_SPACE ColorSpaceOf(const JpegInfo& info) {
    return info.grayscale ? JCS_GRAYSCALE : info.ycc ? JCS_YCbCr : JCS_RGB;
}

int CheckedScale(int eighths) {
    if (eighths < 1 || eighths > 8)
        throw std::invalid_argument("JPEG scale " + std::to_string(eighths) +
                                    "/8 is not one of 1/8 to 8/8");
    return eighths;
}

// The positions in `rows` of the rows the stripes begin with: at most `stripes`, each the
// row that begins an interval nearest to a boundary of equal shares of the picture's
// `count` rows of iMCUs.
std::vector<std::size_t> StripeStarts(const std::vector<RestartRow>& rows, int count, int stripes) {
    std::vector<std::size_t> starts{0};
    for (int k = 1; k < stripes; ++k) {
        const auto ideal =
            static_cast<int>((static_cast<std::int64_t>(k) * count + stripes / 2) / stripes);
        const auto after =
            std::lower_bound(rows.begin(), rows.end(), ideal,
                             [](const RestartRow& r, int row) { return r.row < row; });
        auto best = after;
        if (after == rows.end() ||
            (after != rows.begin() && ideal - (after - 1)->row <= after->row - ideal))
            best = after - 1;
        const auto position = static_cast<std::size_t>(best - rows.begin());
        if (position > starts.back())
            starts.push_back(position);
    }
    return starts;
}

} // namespace

std::optional<JpegStripes> JpegStripes::Make(const RegularFile* file,
                                             std::span<const std::uint8_t> memory,
                                             const JpegInfo& info, int eighths, int stripes) {
    CheckDecodable(info);
    std::optional<YccPlanes::Layout> layout;
    if (eighths == 0) {
        layout = PlaneLayoutFor(info);
        if (!layout)
            eighths = 8;
    }
    if (stripes < 2)
        return std::nullopt;
    const Input input = file != nullptr ? Input(*file) : Input(memory);
    std::optional<RestartIndex> index = jpeg_detail::IndexRestarts(input, info);
    if (!index || index->rows.size() < 2)
        return std::nullopt;
    jpeg_detail::StripeHeaderFacts facts{};
    if (!jpeg_detail::ProbeStripeHeader(index->header, eighths == 0 ? 8 : eighths,
                                        index->restartInterval, facts) ||
        facts.width != info.width || facts.height != info.height ||
        facts.components != info.components || facts.colorSpace != ColorSpaceOf(info))
        return std::nullopt;
    const bool context = eighths != 0 && facts.contextRows;

    JpegStripes plan;
    plan.file_ = file;
    plan.memory_ = memory;
    plan.width_ = info.width;
    plan.height_ = info.height;
    plan.eighths_ = eighths;
    if (layout)
        plan.layout_ = *layout;
    plan.heightAt_ = index->heightAt;
    plan.restartInterval_ = index->restartInterval;
    plan.maxV_ = index->maxV;
    plan.v_ = index->v;
    plan.iMcuRows_ = index->iMcuRows;
    const std::vector<RestartRow>& rows = index->rows;
    const std::vector<std::size_t> starts =
        StripeStarts(rows, index->iMcuRows, std::min(stripes, index->iMcuRows));
    if (starts.size() < 2)
        return std::nullopt;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const int first = rows[starts[i]].row;
        const int end = i + 1 < starts.size() ? rows[starts[i + 1]].row : index->iMcuRows;
        // With the upsampling reaching across rows, the row above the stripe is decoded from
        // the interval that begins before it, and the row below with the stripe.
        const RestartRow& from = rows[context && starts[i] > 0 ? starts[i] - 1 : starts[i]];
        const int to = context ? std::min(end + 1, index->iMcuRows) : end;
        plan.stripes_.push_back({first, end, from.row, to, from.offset, from.interval});
    }
    plan.header_ = std::move(index->header);
    return plan;
}

std::optional<JpegStripes> JpegStripes::Scaled(const RegularFile& file, const JpegInfo& info,
                                               int eighths, int stripes) {
    return Make(&file, {}, info, CheckedScale(eighths), stripes);
}

std::optional<JpegStripes> JpegStripes::Scaled(std::span<const std::uint8_t> data,
                                               const JpegInfo& info, int eighths, int stripes) {
    return Make(nullptr, data, info, CheckedScale(eighths), stripes);
}

std::optional<JpegStripes> JpegStripes::ToKeep(const RegularFile& file, const JpegInfo& info,
                                               int stripes) {
    return Make(&file, {}, info, 0, stripes);
}

std::optional<JpegStripes> JpegStripes::ToKeep(std::span<const std::uint8_t> data,
                                               const JpegInfo& info, int stripes) {
    return Make(nullptr, data, info, 0, stripes);
}

Bitmap JpegStripes::NewBitmap() const {
    if (MakesPlanes())
        throw std::logic_error("JpegStripes: the plan makes planes, not a bitmap");
    return Bitmap::Uninitialized(ScaledDimension(width_, eighths_),
                                 ScaledDimension(height_, eighths_));
}

YccPlanes JpegStripes::NewPlanes() const {
    if (!MakesPlanes())
        throw std::logic_error("JpegStripes: the plan makes a bitmap, not planes");
    return YccPlanes(layout_, width_, height_);
}

int JpegStripes::PictureHeight(const Stripe& stripe) const {
    const int rowHeight = 8 * maxV_;
    return stripe.to < iMcuRows_ ? (stripe.to - stripe.from) * rowHeight
                                 : height_ - stripe.from * rowHeight;
}

JpegStripes::OutputRows JpegStripes::RowsOf(const Stripe& stripe) const {
    // An iMCU row is 8 maxV picture rows, maxV * eighths rows at the scale, a whole number.
    const int rowHeight = maxV_ * eighths_;
    return {stripe.from * rowHeight, stripe.first * rowHeight,
            std::min(stripe.end * rowHeight, ScaledDimension(height_, eighths_))};
}

void JpegStripes::Decode(int stripe, Bitmap& out, const std::atomic<bool>* stop) const {
    if (stripe < 0 || stripe >= Count())
        throw std::out_of_range("JpegStripes: no stripe " + std::to_string(stripe));
    if (MakesPlanes() || out.Width() != ScaledDimension(width_, eighths_) ||
        out.Height() != ScaledDimension(height_, eighths_))
        throw std::invalid_argument("JpegStripes: the bitmap is not the plan's picture");
    const Stripe& s = stripes_[static_cast<std::size_t>(stripe)];
    const OutputRows rows = RowsOf(s);
    std::vector<unsigned char> scratch(out.Stride());
    StripeJob job{};
    job.eighths = eighths_;
    job.pixels = out.Row(rows.first);
    job.stride = out.Stride();
    job.outWidth = out.Width();
    job.skipRows = rows.first - rows.top;
    job.keptRows = rows.end - rows.first;
    job.scratch = scratch.data();
    Run(s, job, stop);
    if (job.rowsDone != job.keptRows)
        throw JpegError("a stripe of the picture ended early");
}

void JpegStripes::Decode(int stripe, YccPlanes& out, const std::atomic<bool>* stop) const {
    if (stripe < 0 || stripe >= Count())
        throw std::out_of_range("JpegStripes: no stripe " + std::to_string(stripe));
    if (!MakesPlanes() || out.GetLayout() != layout_ || out.Width() != width_ ||
        out.Height() != height_)
        throw std::invalid_argument("JpegStripes: the planes are not the plan's picture");
    const Stripe& s = stripes_[static_cast<std::size_t>(stripe)];
    std::vector<unsigned char> spare(out.Stride(0));
    StripeJob job{};
    job.eighths = 0;
    jpeg_detail::PlaneRows& planes = job.planes;
    planes.count = out.PlaneCount();
    for (int i = 0; i < planes.count; ++i) {
        // The stripe picture's rows from its top, as far as the planes have room.
        const int top = s.from * v_[static_cast<std::size_t>(i)] * 8;
        planes.base[i] = out.Row(i, top);
        planes.stride[i] = out.Stride(i);
        planes.width[i] = out.PlaneWidth(i);
        planes.rows[i] = out.AllocatedRows(i) - top;
    }
    planes.spare = spare.data();
    Run(s, job, stop);
    if (job.rowsDone != PictureHeight(s))
        throw JpegError("a stripe of the picture ended early");
}

void JpegStripes::Run(const Stripe& stripe, StripeJob& job, const std::atomic<bool>* stop) const {
    Input input = file_ != nullptr ? Input(*file_) : Input(memory_);
    if (stripe.interval > 0) {
        // The data begin right after the restart marker that ends the interval before.
        std::uint8_t marker[2] = {};
        if (input.Read(stripe.offset - 2, marker, 2) != 2 || marker[0] != 0xFF ||
            marker[1] != JPEG_RST0 + ((stripe.interval - 1) & 7))
            throw JpegError("the file's restart markers are not where they were");
    }
    std::vector<std::uint8_t> header = header_;
    const int height = PictureHeight(stripe);
    header[heightAt_] = static_cast<std::uint8_t>(height >> 8);
    header[heightAt_ + 1] = static_cast<std::uint8_t>(height);
    job.header = header.data();
    job.headerSize = header.size();
    job.dataAt = stripe.offset;
    job.width = width_;
    job.height = height;
    job.restartInterval = restartInterval_;
    job.stop = stop;
    job.libjpegMemory = kDecodeMargin;
    std::vector<JOCTET> piece(jpeg_detail::kReadBuffer);
    StripeSource src{};
    src.stream = input.Source(UINT64_MAX, false);
    src.piece = piece.data();
    src.markerShift = static_cast<int>(stripe.interval & 7);
    ErrorManager err;
    switch (jpeg_detail::DecodeStripeC(&src, &job, &err)) {
    case StripeStatus::Ok:
        return;
    case StripeStatus::Stopped:
        throw JpegDecodeStopped();
    case StripeStatus::ReadFailed:
        input.ThrowReadError(src.stream.readErrno);
    case StripeStatus::Mismatch:
        throw JpegError("a stripe's header does not read as planned");
    case StripeStatus::Failed:
        break;
    }
    throw JpegError(job.markersChanged ? "the file's restart markers are not as they were"
                                       : err.message);
}

namespace {

// Runs `decode` for stripes 0 to count - 1 on `threads` threads (this one among them), each
// taking the next stripe nobody has taken; after all have ended, rethrows the first
// failure. No stripe is begun after one failed.
void RunStripes(int count, int threads, const std::function<void(int)>& decode) {
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::exception_ptr error;
    const auto work = [&] {
        for (int i; !failed.load() && (i = next.fetch_add(1)) < count;) {
            try {
                decode(i);
            } catch (...) {
                const std::lock_guard lock(mutex);
                if (!error)
                    error = std::current_exception();
                failed = true;
            }
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (int t = 1; t < std::min(threads, count); ++t)
            helpers.emplace_back(work);
        work();
    }
    if (error)
        std::rethrow_exception(error);
}

// Stripes per thread: a stripe more than threads lets a thread that is done early take
// work from one slowed by other work on the machine.
constexpr int kStripesPerThread = 2;

bool WorthStripes(const JpegInfo& info, int threads) {
    return threads > 1 &&
           static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) >=
               kStripedDecodeMinPixels;
}

// Decodes every stripe of `plan` into `picture`; false when a stripe could not be decoded
// as planned (JpegError, FileReadError), so that the picture is to be decoded in one piece.
template <typename Picture>
bool DecodeAll(const JpegStripes& plan, Picture& picture, int threads,
               const std::atomic<bool>* stop) {
    try {
        RunStripes(plan.Count(), threads, [&](int i) { plan.Decode(i, picture, stop); });
        return true;
    } catch (const JpegError&) {
    } catch (const FileReadError&) {
    }
    return false;
}

} // namespace

bool MayDecodeInStripes(const JpegInfo& info, int threads) {
    return WorthStripes(info, threads) && info.restartInterval > 0 && !info.progressive &&
           !info.cmyk && info.coefficientBytes == 0;
}

Bitmap DecodeJpegScaledInStripes(const RegularFile& file, const JpegInfo& info, int eighths,
                                 int threads, const std::atomic<bool>* stop, DecodeNotes* notes) {
    if (WorthStripes(info, threads))
        if (const std::optional<JpegStripes> plan =
                JpegStripes::Scaled(file, info, eighths, threads * kStripesPerThread)) {
            Bitmap picture = plan->NewBitmap();
            if (DecodeAll(*plan, picture, threads, stop))
                return picture;
        }
    return DecodeJpegScaled(file, info, eighths, stop, notes);
}

DecodedPicture DecodeJpegToKeepInStripes(const RegularFile& file, const JpegInfo& info, int threads,
                                         const std::atomic<bool>* stop, DecodeNotes* notes) {
    if (WorthStripes(info, threads))
        if (const std::optional<JpegStripes> plan =
                JpegStripes::ToKeep(file, info, threads * kStripesPerThread)) {
            if (plan->MakesPlanes()) {
                YccPlanes picture = plan->NewPlanes();
                if (DecodeAll(*plan, picture, threads, stop))
                    return DecodedPicture(std::move(picture));
            } else {
                Bitmap picture = plan->NewBitmap();
                if (DecodeAll(*plan, picture, threads, stop))
                    return picture;
            }
        }
    return DecodeJpegToKeep(file, info, stop, notes);
}

} // namespace tessaly
