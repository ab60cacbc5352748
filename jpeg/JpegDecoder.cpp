#include "jpeg/JpegDecoder.h"

#include "jpeg/JpegErrorManager.h"
#include "jpeg/JpegHeaderRead.h"
#include "jpeg/JpegInput.h"
#include "jpeg/JpegPlaneRows.h"
#include "jpeg/JpegScanMonitor.h"
#include "picture/YccPlanes.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

using jpeg_detail::ErrorManager;
using jpeg_detail::Input;
using jpeg_detail::InstallSource;
using jpeg_detail::OnProgress;
using jpeg_detail::PictureBlocks;
using jpeg_detail::PlaneRows;
using jpeg_detail::ReadOffset;
using jpeg_detail::ReadPlanes;
using jpeg_detail::ScanMonitor;
using jpeg_detail::StreamSource;

namespace {

enum class Status { Ok, Failed, ReadFailed, ScanLimit, WorkLimit, SizeChanged, Stopped };

// How a decode hands out the picture: two C-style functions over plain data, called inside
// libjpeg's setjmp frame, so that nothing in them has a destructor or throws.
struct Writer {
    // After the header is read: sets the output parameters; false when the header is not
    // the one the writer was made for.
    bool (*prepare)(j_decompress_ptr cinfo, void* context);
    // After jpeg_start_decompress: reads the picture; returns the rows delivered.
    int (*read)(j_decompress_ptr cinfo, void* context);
    void* context;
};

// One decode of the data: plain data only, as for StreamSource.
struct DecodeTarget {
    Writer writer;
    int width; // the picture's full size, as its header said
    int height;
    std::uint64_t libjpegMemory; // what libjpeg may allocate
    // When set and raised, the decode stops at its next progress report.
    const std::atomic<bool>* stop;
    int rowsWritten;          // out: rows the decoder delivered
    std::uint64_t failOffset; // out: how far into the data the decoder had read when it failed
};

// Writes 24-bit rows (blue, green, red) at scale eighths/8.
struct BgrRows {
    unsigned char* pixels;
    std::size_t stride;
    int eighths;  // the scale, eighths/8
    int outWidth; // the size at that scale
    int outHeight;
    // When set, rows are decoded into the first rows of `pixels` and handed to the sink one
    // by one, top to bottom, instead of being kept in place.
    void (*rowSink)(const void* context, const unsigned char* row);
    const void* sinkContext;
};

// The number of rows decoded by one call of jpeg_read_scanlines (and the rows a sink's
// buffer holds).
constexpr int kBatch = 16;

// One CMYK row (4 bytes a pixel) into blue, green, red. Files written by Adobe's
// software store the inks inverted (0 = full ink), which is what libjpeg hands back then.
void CmykRowToBgr(const unsigned char* cmyk, unsigned char* bgr, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[0] = static_cast<unsigned char>((y * k + 127) / 255);
        bgr[1] = static_cast<unsigned char>((m * k + 127) / 255);
        bgr[2] = static_cast<unsigned char>((c * k + 127) / 255);
    }
}

bool PrepareBgr(j_decompress_ptr cinfo, void* context) {
    const auto* out = static_cast<const BgrRows*>(context);
    const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    cinfo->scale_num = static_cast<unsigned int>(out->eighths);
    cinfo->scale_denom = 8;
    jpeg_calc_output_dimensions(cinfo);
    return static_cast<int>(cinfo->output_width) == out->outWidth &&
           static_cast<int>(cinfo->output_height) == out->outHeight;
}

int ReadBgrRows(j_decompress_ptr cinfo, void* context) {
    const auto* out = static_cast<const BgrRows*>(context);
    if (cinfo->out_color_space == JCS_CMYK) {
        JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo),
                                                     JPOOL_IMAGE, cinfo->output_width * 4, 1);
        const bool inverted = cinfo->saw_Adobe_marker != 0;
        while (cinfo->output_scanline < cinfo->output_height) {
            unsigned char* bgr =
                out->pixels + (out->rowSink ? 0 : out->stride * cinfo->output_scanline);
            if (jpeg_read_scanlines(cinfo, row, 1) != 1)
                break;
            CmykRowToBgr(row[0], bgr, out->outWidth, inverted);
            if (out->rowSink)
                out->rowSink(out->sinkContext, bgr);
        }
    } else {
        JSAMPROW rows[kBatch];
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION first = cinfo->output_scanline;
            const JDIMENSION count =
                cinfo->output_height - first < kBatch ? cinfo->output_height - first : kBatch;
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = out->pixels + out->stride * (out->rowSink ? i : first + i);
            const JDIMENSION got = jpeg_read_scanlines(cinfo, rows, count);
            if (got == 0)
                break;
            if (out->rowSink)
                for (JDIMENSION i = 0; i < got; ++i)
                    out->rowSink(out->sinkContext, rows[i]);
        }
    }
    return static_cast<int>(cinfo->output_scanline);
}

bool PreparePlanes(j_decompress_ptr cinfo, void* context) {
    const auto* out = static_cast<const PlaneRows*>(context);
    JpegInfo info;
    jpeg_detail::FillJpegInfo(cinfo, info);
    const std::optional<YccPlanes::Layout> layout = PlaneLayoutFor(info);
    if (!layout || static_cast<int>(*layout) != out->layout || cinfo->num_components != out->count)
        return false;
    for (int i = 0; i < out->count; ++i) {
        const jpeg_component_info& comp = cinfo->comp_info[i];
        if (static_cast<int>(comp.downsampled_width) != out->width[i] ||
            static_cast<int>(comp.downsampled_height) != out->height[i] ||
            std::size_t{comp.width_in_blocks} * DCTSIZE > out->stride[i])
            return false;
    }
    cinfo->raw_data_out = TRUE;
    jpeg_calc_output_dimensions(cinfo);
    // Full size: libjpeg's blocks are 8 x 8 samples, as the planes were made for.
    return cinfo->min_DCT_scaled_size == DCTSIZE;
}

Status DecodeC(StreamSource* src, DecodeTarget* target, ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ScanMonitor monitor;
    std::memset(&monitor, 0, sizeof monitor);
    cinfo.err = jpeg_detail::InstallErrorManager(*err);
    monitor.pub.progress_monitor = OnProgress;
    monitor.err = err;
    monitor.stop = target->stop;
    if (setjmp(err->jump)) {
        target->failOffset = ReadOffset(*src);
        jpeg_destroy_decompress(&cinfo);
        if (err->scanLimitHit)
            return err->scanLimitHit == 1   ? Status::ScanLimit
                   : err->scanLimitHit == 2 ? Status::WorkLimit
                                            : Status::Stopped;
        return src->readErrno != 0 ? Status::ReadFailed : Status::Failed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(target->libjpegMemory);
    InstallSource(&cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<int>(cinfo.image_width) != target->width ||
        static_cast<int>(cinfo.image_height) != target->height ||
        !target->writer.prepare(&cinfo, target->writer.context)) {
        jpeg_destroy_decompress(&cinfo);
        return Status::SizeChanged;
    }
    monitor.blocksAllowed = PictureBlocks(cinfo) * kMaxScanPasses;
    cinfo.progress = &monitor.pub;
    jpeg_start_decompress(&cinfo);
    target->rowsWritten = target->writer.read(&cinfo, target->writer.context);
    // jpeg_finish_decompress is skipped on purpose: trailing damage after the last row
    // must not throw away a picture that decoded completely.
    jpeg_destroy_decompress(&cinfo);
    return Status::Ok;
}

// The offset of the last marker (0xFF and a code that is neither a fill byte, a stuffed zero
// nor a restart marker) that starts before `end`, or 0 when there is none after the start
// of image. Reads the data backwards in pieces.
std::uint64_t LastMarkerBefore(const Input& input, std::uint64_t end) {
    constexpr std::size_t kPiece = 64 * 1024;
    std::vector<std::uint8_t> piece(kPiece + 1);
    std::uint64_t hi = end; // bytes [lo, hi) are examined as marker starts
    while (hi > 2) {
        const std::uint64_t lo = hi > kPiece + 2 ? hi - kPiece : 2;
        const std::size_t count = static_cast<std::size_t>(hi - lo) + 1; // and the code byte
        const std::size_t got = input.Read(lo, piece.data(), count);
        for (std::size_t i = static_cast<std::size_t>(hi - lo); i-- > 0;) {
            if (i + 1 >= got || piece[i] != 0xFF)
                continue;
            const std::uint8_t code = piece[i + 1];
            if (code != 0x00 && code != 0xFF && (code < 0xD0 || code > 0xD7))
                return lo + i;
        }
        hi = lo;
    }
    return 0;
}

// How many times a failed decode is tried again on the data cut before the marker segment
// it failed in.
constexpr int kCutRetries = 4;

extern "C" void FeedSink(const void* sink, const unsigned char* row) {
    static_cast<const JpegRowSink*>(sink)->row(row);
}

// What a decode does with damage libjpeg reads past (data cut short, corrupt data): keep
// what it read, or refuse the picture.
enum class Damage { Keep, Refuse };

// Decodes the input with `writer` into what the caller holds (`held` bytes) and returns the
// rows the decoder delivered; `beforeAttempt`, when set, runs before each try. `info` is the
// input's header as read before; a header that reads otherwise now ends the decode with an
// error.
int RunDecode(Input& input, const JpegInfo& info, std::uint64_t held, Writer writer,
              const std::atomic<bool>* stop, Damage damage = Damage::Keep,
              const std::function<void()>& beforeAttempt = {}) {
    // libjpeg may use what the picture leaves of the limit, and the margin.
    const std::uint64_t libjpegMemory =
        kMaxDecodeBytes + kDecodeMargin - std::min(held, kMaxDecodeBytes);
    ErrorManager err;
    // A file damaged inside the tables or header of a later scan fails as a whole, though
    // the scans before were complete: it is decoded again without the damaged part, which
    // then ends like a truncated file and keeps what the earlier scans hold.
    std::uint64_t end = UINT64_MAX;
    bool cut = false;
    std::string firstError;
    for (int attempt = 0; attempt <= kCutRetries; ++attempt) {
        DecodeTarget target{writer, info.width, info.height, libjpegMemory, stop, 0, 0};
        if (beforeAttempt)
            beforeAttempt();
        StreamSource src = input.Source(end, cut);
        switch (DecodeC(&src, &target, &err)) {
        case Status::Ok:
            if (damage == Damage::Refuse && err.warnings > 0)
                throw JpegError("the picture is damaged");
            return target.rowsWritten;
        case Status::ScanLimit:
            throw JpegError("too many scans (more than " + std::to_string(kMaxScans) + ")");
        case Status::WorkLimit:
            throw JpegError("too many scans for the picture's size (its blocks visited more "
                            "than " +
                            std::to_string(kMaxScanPasses) + " times)");
        case Status::Stopped:
            throw JpegDecodeStopped();
        case Status::SizeChanged:
            throw JpegError("the header changed between two reads");
        case Status::ReadFailed:
            input.ThrowReadError(src.readErrno);
        case Status::Failed:
            if (damage == Damage::Refuse)
                throw JpegError(err.message);
            break;
        }
        if (attempt == 0)
            firstError = err.message;
        const std::uint64_t dataEnd = std::min(target.failOffset, src.end);
        const std::uint64_t marker = LastMarkerBefore(input, dataEnd);
        if (marker == 0)
            break;
        end = marker;
        cut = true;
    }
    throw JpegError(firstError);
}

// Decodes at scale eighths/8 into a bitmap of the whole picture or, with `sink` set, row by
// row into the sink (at full scale), without holding the whole picture; then the bitmap is
// empty.
Bitmap Decode(Input& input, const JpegInfo& info, int eighths, const JpegRowSink* sink = nullptr,
              const std::atomic<bool>* stop = nullptr, Damage damage = Damage::Keep) {
    if (eighths < 1 || eighths > 8)
        throw std::invalid_argument("JPEG scale " + std::to_string(eighths) +
                                    "/8 is not one of 1/8 to 8/8");
    CheckDecodable(info);
    const int outWidth = ScaledDimension(info.width, eighths);
    const int outHeight = ScaledDimension(info.height, eighths);
    std::vector<unsigned char> sinkRows;
    Bitmap bitmap;
    if (sink)
        sinkRows.resize(static_cast<std::size_t>(outWidth) * 3 * kBatch);
    else
        bitmap = Bitmap::Uninitialized(outWidth, outHeight);
    BgrRows rows{sink ? sinkRows.data() : bitmap.Data(),
                 sink ? static_cast<std::size_t>(outWidth) * 3 : bitmap.Stride(),
                 eighths,
                 outWidth,
                 outHeight,
                 sink ? FeedSink : nullptr,
                 sink};
    const int delivered = RunDecode(input, info, sink ? sinkRows.size() : bitmap.SizeBytes(),
                                    {PrepareBgr, ReadBgrRows, &rows}, stop, damage, [&] {
                                        if (sink && sink->restart)
                                            sink->restart();
                                    });
    // Rows the decoder could not deliver are grey, as libjpeg pads a truncated file.
    if (sink) {
        std::fill(sinkRows.begin(), sinkRows.end(), std::uint8_t{128});
        for (int y = delivered; y < outHeight; ++y)
            sink->row(sinkRows.data());
        return bitmap;
    }
    for (int y = delivered; y < outHeight; ++y)
        std::memset(bitmap.Row(y), 128, bitmap.Stride());
    return bitmap;
}

// Decodes the whole picture at full size into planes of the given layout (the one that
// suits `info`), without colour conversion.
YccPlanes DecodePlanes(Input& input, const JpegInfo& info, YccPlanes::Layout layout,
                       const std::atomic<bool>* stop) {
    CheckDecodable(info);
    YccPlanes planes(layout, info.width, info.height);
    std::vector<unsigned char> spare(planes.Stride(0));
    PlaneRows rows{};
    rows.layout = static_cast<int>(layout);
    rows.count = planes.PlaneCount();
    rows.spare = spare.data();
    for (int i = 0; i < rows.count; ++i) {
        rows.base[i] = planes.Row(i, 0);
        rows.stride[i] = planes.Stride(i);
        rows.width[i] = planes.PlaneWidth(i);
        rows.height[i] = planes.PlaneHeight(i);
        rows.rows[i] = planes.AllocatedRows(i);
    }
    const int delivered =
        RunDecode(input, info, planes.SizeBytes(), {PreparePlanes, ReadPlanes, &rows}, stop);
    // Rows the decoder could not deliver are grey: Y, Cb and Cr of 128 give 128, 128, 128.
    for (int i = 0; i < rows.count; ++i) {
        const int from = static_cast<int>(static_cast<std::int64_t>(delivered) *
                                          planes.PlaneHeight(i) / info.height);
        for (int y = from; y < planes.PlaneHeight(i); ++y)
            std::memset(planes.Row(i, y), 128, planes.Stride(i));
    }
    return planes;
}

} // namespace

namespace {

// Runs a decode of `input` and tells `notes` when a bound cut its data; a decode that failed
// after a bound cut its data names the bound.
template <typename Run>
auto NotingCuts(Input& input, DecodeNotes* notes, Run run) -> decltype(run()) {
    try {
        auto result = run();
        if (notes != nullptr)
            notes->streamCut = jpeg_detail::StreamBoundText(input.CutBy());
        return result;
    } catch (const JpegTooLarge&) {
        throw;
    } catch (const JpegError& e) {
        if (input.CutBy() == jpeg_detail::StreamBound::None)
            throw;
        throw JpegError(std::string(jpeg_detail::StreamBoundText(input.CutBy())) + " (" + e.what() +
                        ")");
    }
}

} // namespace

Bitmap DecodeJpeg(std::span<const std::uint8_t> data) {
    Input input(data);
    return Decode(input, jpeg_detail::ReadHeader(input), 8);
}

Bitmap DecodeJpeg(const RegularFile& file, const std::atomic<bool>* stop, DecodeNotes* notes) {
    Input input(file);
    return NotingCuts(input, notes, [&] {
        return Decode(input, jpeg_detail::ReadHeader(input), 8, nullptr, stop);
    });
}

Bitmap DecodeJpegFile(const std::string& path) {
    return DecodeJpeg(RegularFile(path));
}

namespace {

DecodedPicture DecodeToKeep(Input& input, const JpegInfo& info, const std::atomic<bool>* stop) {
    if (const std::optional<YccPlanes::Layout> layout = PlaneLayoutFor(info))
        return DecodedPicture(DecodePlanes(input, info, *layout, stop));
    return Decode(input, info, 8, nullptr, stop);
}

} // namespace

DecodedPicture DecodeJpegToKeep(const RegularFile& file, const JpegInfo& info,
                                const std::atomic<bool>* stop, DecodeNotes* notes) {
    Input input(file);
    return NotingCuts(input, notes, [&] { return DecodeToKeep(input, info, stop); });
}

DecodedPicture DecodeJpegToKeep(std::span<const std::uint8_t> data, const JpegInfo& info) {
    Input input(data);
    return DecodeToKeep(input, info, nullptr);
}

int ScaledDimension(int size, int eighths) {
    return static_cast<int>((static_cast<std::int64_t>(size) * eighths + 7) / 8);
}

int ScaleEighthsFor(const JpegInfo& info, int width, int height) {
    for (int eighths = 1; eighths < 8; ++eighths)
        if (ScaledDimension(info.width, eighths) >= width &&
            ScaledDimension(info.height, eighths) >= height)
            return eighths;
    return 8;
}

Bitmap DecodeJpegScaled(const RegularFile& file, const JpegInfo& info, int eighths,
                        const std::atomic<bool>* stop, DecodeNotes* notes) {
    Input input(file);
    return NotingCuts(input, notes, [&] { return Decode(input, info, eighths, nullptr, stop); });
}

Bitmap DecodeFlawlessJpegScaled(std::span<const std::uint8_t> data, const JpegInfo& info,
                                int eighths, const std::atomic<bool>* stop) {
    Input input(data);
    return Decode(input, info, eighths, nullptr, stop, Damage::Refuse);
}

void DecodeJpegRows(const RegularFile& file, const JpegInfo& info, const JpegRowSink& sink,
                    const std::atomic<bool>* stop) {
    Input input(file);
    Decode(input, info, 8, &sink, stop);
}

Bitmap DecodeJpegFileAtLeast(const std::string& path, int width, int height) {
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    return DecodeJpegScaled(file, info, ScaleEighthsFor(info, width, height));
}

std::uint64_t KeptBytesFor(const JpegInfo& info) {
    const int width = std::max(info.width, 1);
    const int height = std::max(info.height, 1);
    if (const std::optional<YccPlanes::Layout> layout = PlaneLayoutFor(info))
        return YccPlanes::BytesFor(*layout, width, height);
    return Bitmap::StrideFor(width) * static_cast<std::uint64_t>(height);
}

std::optional<YccPlanes::Layout> PlaneLayoutFor(const JpegInfo& info) {
    if (info.components == 1 && info.grayscale)
        return YccPlanes::Layout::Grey;
    if (info.components != 3 || !info.ycc)
        return std::nullopt;
    const JpegInfo::Sampling one{1, 1};
    if (info.sampling[1] != one || info.sampling[2] != one)
        return std::nullopt;
    if (info.sampling[0] == JpegInfo::Sampling{2, 2})
        return YccPlanes::Layout::Quarter;
    if (info.sampling[0] == JpegInfo::Sampling{2, 1})
        return YccPlanes::Layout::HalfWide;
    if (info.sampling[0] == JpegInfo::Sampling{1, 2})
        return YccPlanes::Layout::HalfHigh;
    return std::nullopt;
}

} // namespace tessaly
