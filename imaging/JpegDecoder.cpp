#include "imaging/JpegDecoder.h"

#include "imaging/DisplayScale.h"
#include "imaging/JpegErrorManager.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <jerror.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessaly {

using jpeg_detail::ErrorManager;

JpegTooLarge::JpegTooLarge(int width, int height)
    : JpegError("the picture is too large to show (" + std::to_string(width) + " x " +
                std::to_string(height) + " pixels; at most " + std::to_string(kMaxDecodePixels) +
                " pixels, " + std::to_string(kMaxDecodeBytes >> 20) +
                " MiB with libjpeg's coefficients)"),
      width_(width), height_(height) {}

namespace {

// Bytes libjpeg is handed from a file at a time.
constexpr std::size_t kReadBuffer = 64 * 1024;

// What libjpeg reads: bytes in memory, or a file read piece by piece with pread. The stream
// is the data up to `end`, then, for a decode cut before a damaged marker segment, the two
// bytes of an end-of-image marker. Plain data only: these fields are used inside libjpeg's
// callbacks, where nothing may throw.
struct StreamSource {
    jpeg_source_mgr pub;         // first member: libjpeg sees only this
    const unsigned char* memory; // the whole data, or nullptr for a file
    int fd;
    std::uint64_t end;      // bytes of the data in the stream
    int cut;                // an end-of-image marker follows `end`
    std::uint64_t next;     // stream offset of the next fill
    std::uint64_t bufferAt; // stream offset of the bytes last handed out
    const JOCTET* bufferStart;
    int readErrno;  // errno of a failed read
    JOCTET* buffer; // kReadBuffer bytes for a file
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

extern "C" void InitSource(j_decompress_ptr) {}

extern "C" void TermSource(j_decompress_ptr) {}

void Hand(StreamSource* src, const JOCTET* bytes, std::size_t count, std::uint64_t at) {
    src->pub.next_input_byte = bytes;
    src->pub.bytes_in_buffer = count;
    src->bufferStart = bytes;
    src->bufferAt = at;
}

extern "C" boolean FillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    const std::uint64_t at = src->next;
    if (at < src->end) {
        if (src->memory != nullptr) {
            Hand(src, src->memory + at, static_cast<std::size_t>(src->end - at), at);
            src->next = src->end;
            return TRUE;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBuffer, src->end - at));
        ssize_t n;
        do
            n = ::pread(src->fd, src->buffer, want, static_cast<off_t>(at));
        while (n < 0 && (errno == EINTR || errno == EAGAIN));
        if (n < 0) {
            src->readErrno = errno;
            ERREXIT(cinfo, JERR_FILE_READ);
        }
        if (n > 0) {
            Hand(src, src->buffer, static_cast<std::size_t>(n), at);
            src->next = at + static_cast<std::uint64_t>(n);
            return TRUE;
        }
        src->end = at; // the file ended early (it shrank): what follows is its end
    }
    if (src->cut && at < src->end + 2) {
        const std::size_t from = static_cast<std::size_t>(at - src->end);
        Hand(src, kEndOfImage + from, 2 - from, at);
        src->next = src->end + 2;
        return TRUE;
    }
    // The data ended inside the picture: a warning, and an end-of-image marker so that
    // libjpeg completes what it has (the rows still missing become grey).
    WARNMS(cinfo, JWRN_JPEG_EOF);
    Hand(src, kEndOfImage, 2, at);
    return TRUE;
}

extern "C" void SkipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    if (count <= 0)
        return;
    const auto skip = static_cast<std::uint64_t>(count);
    if (skip <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += skip;
        src->pub.bytes_in_buffer -= skip;
        return;
    }
    src->next = src->bufferAt +
                static_cast<std::uint64_t>(src->pub.next_input_byte - src->bufferStart) + skip;
    src->pub.bytes_in_buffer = 0;
}

void InstallSource(j_decompress_ptr cinfo, StreamSource* src) {
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInput;
    src->pub.skip_input_data = SkipInput;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->next = 0;
    src->bufferAt = 0;
    src->bufferStart = nullptr;
    cinfo->src = &src->pub;
}

// The stream offset of the next byte libjpeg would read.
std::uint64_t ReadOffset(const StreamSource& src) {
    if (src.bufferStart == nullptr)
        return src.next;
    return src.bufferAt + static_cast<std::uint64_t>(src.pub.next_input_byte - src.bufferStart);
}

enum class Status { Ok, Failed, ReadFailed, ScanLimit, WorkLimit, SizeChanged, Stopped };

// Where the decoder writes: plain pointers only, so nothing with a destructor lives in
// the C-style functions below.
struct RawTarget {
    unsigned char* pixels;
    std::size_t stride;
    int width; // the picture's full size, as its header said
    int height;
    int eighths;  // the scale, eighths/8
    int outWidth; // the size at that scale
    int outHeight;
    std::uint64_t libjpegMemory; // what libjpeg may allocate
    int rowsWritten;             // out: rows the decoder delivered
    std::uint64_t failOffset;    // out: how far into the data the decoder had read when it failed
    // When set, rows are decoded into the first rows of `pixels` and handed to the sink one
    // by one, top to bottom, instead of being kept in place.
    void (*rowSink)(void* context, const unsigned char* row);
    void* sinkContext;
    // When set and raised, the decode stops at its next progress report.
    const std::atomic<bool>* stop;
};

// The number of rows decoded by one call of jpeg_read_scanlines (and the rows a sink's
// buffer holds).
constexpr int kBatch = 16;

// Counts the blocks the scans visit against the work allowed for the picture.
struct ScanMonitor {
    jpeg_progress_mgr pub; // first member: libjpeg sees only this
    ErrorManager* err;
    const std::atomic<bool>* stop;
    int lastScan;
    std::uint64_t blocksVisited;
    std::uint64_t blocksAllowed;
};

extern "C" void OnProgress(j_common_ptr cinfo) {
    auto* monitor = reinterpret_cast<ScanMonitor*>(cinfo->progress);
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (monitor->stop != nullptr && monitor->stop->load(std::memory_order_relaxed)) {
        monitor->err->scanLimitHit = 3;
        std::longjmp(monitor->err->jump, 1);
    }
    if (dinfo->input_scan_number == monitor->lastScan)
        return;
    monitor->lastScan = dinfo->input_scan_number;
    if (dinfo->input_scan_number > kMaxScans) {
        monitor->err->scanLimitHit = 1;
        std::longjmp(monitor->err->jump, 1);
    }
    for (int i = 0; i < dinfo->comps_in_scan; ++i) {
        const jpeg_component_info* comp = dinfo->cur_comp_info[i];
        monitor->blocksVisited +=
            static_cast<std::uint64_t>(comp->width_in_blocks) * comp->height_in_blocks;
    }
    if (monitor->blocksVisited > monitor->blocksAllowed) {
        monitor->err->scanLimitHit = 2;
        std::longjmp(monitor->err->jump, 1);
    }
}

// Every block of every component, once.
std::uint64_t PictureBlocks(const jpeg_decompress_struct& cinfo) {
    std::uint64_t blocks = 0;
    for (int i = 0; i < cinfo.num_components; ++i)
        blocks += static_cast<std::uint64_t>(cinfo.comp_info[i].width_in_blocks) *
                  cinfo.comp_info[i].height_in_blocks;
    return blocks;
}

std::uint64_t RoundUp(std::uint64_t value, int multiple) {
    const auto m = static_cast<std::uint64_t>(std::max(multiple, 1));
    return (value + m - 1) / m * m;
}

void FillInfo(j_decompress_ptr cinfo, JpegInfo& info) {
    info.width = static_cast<int>(cinfo->image_width);
    info.height = static_cast<int>(cinfo->image_height);
    info.components = cinfo->num_components;
    info.progressive = cinfo->progressive_mode != 0;
    info.grayscale = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    info.cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    info.coefficientBytes = 0;
    if (jpeg_has_multiple_scans(cinfo))
        // As libjpeg sizes its whole-picture coefficient arrays: blocks rounded up to the
        // sampling factors, 64 coefficients of 2 bytes each.
        for (int i = 0; i < cinfo->num_components; ++i) {
            const jpeg_component_info& comp = cinfo->comp_info[i];
            info.coefficientBytes += RoundUp(comp.width_in_blocks, comp.h_samp_factor) *
                                     RoundUp(comp.height_in_blocks, comp.v_samp_factor) *
                                     sizeof(JBLOCK);
        }
}

Status ReadHeaderC(StreamSource* src, JpegInfo* info, ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_detail::InstallErrorManager(*err);
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return src->readErrno != 0 ? Status::ReadFailed : Status::Failed;
    }
    jpeg_create_decompress(&cinfo);
    InstallSource(&cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    FillInfo(&cinfo, *info);
    jpeg_destroy_decompress(&cinfo);
    return Status::Ok;
}

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

Status DecodeC(StreamSource* src, RawTarget* target, ErrorManager* err) {
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
        static_cast<int>(cinfo.image_height) != target->height) {
        jpeg_destroy_decompress(&cinfo);
        return Status::SizeChanged;
    }
    monitor.blocksAllowed = PictureBlocks(cinfo) * kMaxScanPasses;
    cinfo.progress = &monitor.pub;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    cinfo.scale_num = static_cast<unsigned int>(target->eighths);
    cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&cinfo);
    if (static_cast<int>(cinfo.output_width) != target->outWidth ||
        static_cast<int>(cinfo.output_height) != target->outHeight) {
        jpeg_destroy_decompress(&cinfo);
        return Status::SizeChanged;
    }
    jpeg_start_decompress(&cinfo);
    if (cmyk) {
        JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                    JPOOL_IMAGE, cinfo.output_width * 4, 1);
        const bool inverted = cinfo.saw_Adobe_marker != 0;
        while (cinfo.output_scanline < cinfo.output_height) {
            unsigned char* out =
                target->pixels + (target->rowSink ? 0 : target->stride * cinfo.output_scanline);
            if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
                break;
            CmykRowToBgr(row[0], out, target->outWidth, inverted);
            if (target->rowSink)
                target->rowSink(target->sinkContext, out);
        }
    } else {
        JSAMPROW rows[kBatch];
        while (cinfo.output_scanline < cinfo.output_height) {
            const JDIMENSION first = cinfo.output_scanline;
            const JDIMENSION count =
                cinfo.output_height - first < kBatch ? cinfo.output_height - first : kBatch;
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = target->pixels + target->stride * (target->rowSink ? i : first + i);
            const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, count);
            if (got == 0)
                break;
            if (target->rowSink)
                for (JDIMENSION i = 0; i < got; ++i)
                    target->rowSink(target->sinkContext, rows[i]);
        }
    }
    target->rowsWritten = static_cast<int>(cinfo.output_scanline);
    // jpeg_finish_decompress is skipped on purpose: trailing damage after the last row
    // must not throw away a picture that decoded completely.
    jpeg_destroy_decompress(&cinfo);
    return Status::Ok;
}

// The data a decode reads: bytes in memory or an open regular file.
class Input {
public:
    explicit Input(std::span<const std::uint8_t> memory) : memory_(memory) {}
    explicit Input(const RegularFile& file) : file_(&file) {}

    // A fresh stream over the data up to `end` (everything when it is the largest value),
    // followed by an end-of-image marker when `cut`.
    StreamSource Source(std::uint64_t end, bool cut) {
        StreamSource src;
        std::memset(&src, 0, sizeof src);
        if (file_ != nullptr) {
            if (!buffer_)
                buffer_ = std::make_unique<JOCTET[]>(kReadBuffer);
            src.fd = file_->Descriptor();
            src.buffer = buffer_.get();
            src.end = end;
        } else {
            src.memory = memory_.data();
            src.end = std::min<std::uint64_t>(end, memory_.size());
        }
        src.cut = cut ? 1 : 0;
        return src;
    }

    // Bytes [offset, offset + count) as far as the data hold them.
    std::size_t Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
        if (file_ != nullptr)
            return file_->ReadAt(offset, out, count);
        if (offset >= memory_.size())
            return 0;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, memory_.size() - offset));
        std::memcpy(out, memory_.data() + offset, n);
        return n;
    }

    [[noreturn]] void ThrowReadError(int error) const {
        throw FileReadError("cannot read " + (file_ ? file_->Path() : std::string("data")) + ": " +
                            std::strerror(error));
    }

private:
    std::span<const std::uint8_t> memory_;
    const RegularFile* file_ = nullptr;
    std::unique_ptr<JOCTET[]> buffer_;
};

JpegInfo ReadHeader(Input& input) {
    JpegInfo info;
    ErrorManager err;
    StreamSource src = input.Source(UINT64_MAX, false);
    switch (ReadHeaderC(&src, &info, &err)) {
    case Status::Ok:
        return info;
    case Status::ReadFailed:
        input.ThrowReadError(src.readErrno);
    default:
        throw JpegError(err.message);
    }
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

struct Size2 {
    int width;
    int height;
};

extern "C" void FeedReducer(void* reducer, const unsigned char* row) {
    static_cast<DisplayReducer*>(reducer)->AddRow(row);
}

// Decodes at scale eighths/8 into a bitmap of the whole picture or, with `display` set, row
// by row into a copy reduced for display to that size (at full scale), without holding the
// whole picture. `info` is the input's header as read before; a header that reads otherwise
// now ends the decode with an error.
Bitmap Decode(Input& input, const JpegInfo& info, int eighths,
              std::optional<Size2> display = std::nullopt,
              const std::atomic<bool>* stop = nullptr) {
    if (eighths < 1 || eighths > 8)
        throw std::invalid_argument("JPEG scale " + std::to_string(eighths) +
                                    "/8 is not one of 1/8 to 8/8");
    CheckDecodable(info);
    const int outWidth = ScaledDimension(info.width, eighths);
    const int outHeight = ScaledDimension(info.height, eighths);
    std::optional<DisplayReducer> reducer;
    std::vector<unsigned char> sinkRows;
    Bitmap bitmap;
    if (display) {
        reducer.emplace(outWidth, outHeight, display->width, display->height);
        sinkRows.resize(static_cast<std::size_t>(outWidth) * 3 * kBatch);
    } else {
        bitmap = Bitmap::Uninitialized(outWidth, outHeight);
    }
    const std::uint64_t held = display ? sinkRows.size() : bitmap.SizeBytes();
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
        RawTarget target{display ? sinkRows.data() : bitmap.Data(),
                         display ? static_cast<std::size_t>(outWidth) * 3 : bitmap.Stride(),
                         info.width,
                         info.height,
                         eighths,
                         outWidth,
                         outHeight,
                         libjpegMemory,
                         0,
                         0,
                         display ? FeedReducer : nullptr,
                         display ? &*reducer : nullptr,
                         stop};
        if (reducer)
            reducer->Restart();
        StreamSource src = input.Source(end, cut);
        switch (DecodeC(&src, &target, &err)) {
        case Status::Ok:
            // Rows the decoder could not deliver are grey, as libjpeg pads a truncated file.
            if (reducer) {
                std::fill(sinkRows.begin(), sinkRows.end(), std::uint8_t{128});
                for (int y = target.rowsWritten; y < outHeight; ++y)
                    reducer->AddRow(sinkRows.data());
                return reducer->Take();
            }
            for (int y = target.rowsWritten; y < outHeight; ++y)
                std::memset(bitmap.Row(y), 128, bitmap.Stride());
            return bitmap;
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

} // namespace

JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data) {
    Input input(data);
    return ReadHeader(input);
}

JpegInfo ReadJpegHeader(const RegularFile& file) {
    Input input(file);
    return ReadHeader(input);
}

void CheckDecodable(const JpegInfo& info) {
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height);
    if (pixels > kMaxDecodePixels)
        throw JpegTooLarge(info.width, info.height);
    if (pixels * Bitmap::kBytesPerPixel + info.coefficientBytes > kMaxDecodeBytes)
        throw JpegTooLarge(info.width, info.height);
}

Bitmap DecodeJpeg(std::span<const std::uint8_t> data) {
    Input input(data);
    return Decode(input, ReadHeader(input), 8);
}

Bitmap DecodeJpeg(const RegularFile& file, const std::atomic<bool>* stop) {
    Input input(file);
    return Decode(input, ReadHeader(input), 8, std::nullopt, stop);
}

Bitmap DecodeJpegFile(const std::string& path) {
    return DecodeJpeg(RegularFile(path));
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
                        const std::atomic<bool>* stop) {
    Input input(file);
    return Decode(input, info, eighths, std::nullopt, stop);
}

Bitmap DecodeJpegForDisplay(const RegularFile& file, const JpegInfo& info, int width, int height,
                            const std::atomic<bool>* stop) {
    Input input(file);
    return Decode(input, info, 8, Size2{width, height}, stop);
}

Bitmap DecodeJpegFileAtLeast(const std::string& path, int width, int height) {
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    return DecodeJpegScaled(file, info, ScaleEighthsFor(info, width, height));
}

} // namespace tessaly
