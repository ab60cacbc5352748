#include "imaging/JpegDecoder.h"

#include "imaging/JpegErrorManager.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tessaly {

using jpeg_detail::ErrorManager;

JpegTooLarge::JpegTooLarge(int width, int height)
    : JpegError("the picture is too large to show (" + std::to_string(width) + " x " +
                std::to_string(height) + " pixels; at most " + std::to_string(kMaxDecodePixels) +
                " pixels)"),
      width_(width), height_(height) {}

namespace {

enum class Status { Ok, Failed, ScanLimit, SizeChanged };

// Where the decoder writes: plain pointers only, so nothing with a destructor lives in
// the C-style functions below.
struct RawTarget {
    unsigned char* pixels;
    std::size_t stride;
    int width;
    int height;
    int rowsWritten;        // out: rows the decoder delivered
    std::size_t failOffset; // out: how far into the data the decoder had read when it failed
};

struct ScanMonitor {
    jpeg_progress_mgr pub; // first member: libjpeg sees only this
    ErrorManager* err;
};

extern "C" void OnProgress(j_common_ptr cinfo) {
    auto* monitor = reinterpret_cast<ScanMonitor*>(cinfo->progress);
    const auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number > kMaxProgressiveScans) {
        monitor->err->scanLimitHit = 1;
        std::longjmp(monitor->err->jump, 1);
    }
}

void FillInfo(const jpeg_decompress_struct& cinfo, JpegInfo& info) {
    info.width = static_cast<int>(cinfo.image_width);
    info.height = static_cast<int>(cinfo.image_height);
    info.components = cinfo.num_components;
    info.progressive = cinfo.progressive_mode != 0;
    info.grayscale = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    info.cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

Status ReadHeaderC(const unsigned char* data, unsigned long size, JpegInfo* info,
                   ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_detail::InstallErrorManager(*err);
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Status::Failed;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    FillInfo(cinfo, *info);
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

Status DecodeC(const unsigned char* data, unsigned long size, RawTarget* target,
               ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ScanMonitor monitor;
    std::memset(&monitor, 0, sizeof monitor);
    cinfo.err = jpeg_detail::InstallErrorManager(*err);
    monitor.pub.progress_monitor = OnProgress;
    monitor.err = err;
    if (setjmp(err->jump)) {
        if (cinfo.src)
            target->failOffset = static_cast<std::size_t>(cinfo.src->next_input_byte - data);
        jpeg_destroy_decompress(&cinfo);
        return err->scanLimitHit ? Status::ScanLimit : Status::Failed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &monitor.pub;
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    if (static_cast<int>(cinfo.image_width) != target->width ||
        static_cast<int>(cinfo.image_height) != target->height) {
        jpeg_destroy_decompress(&cinfo);
        return Status::SizeChanged;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 1;
    jpeg_start_decompress(&cinfo);
    if (cmyk) {
        JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                    JPOOL_IMAGE, cinfo.output_width * 4, 1);
        const bool inverted = cinfo.saw_Adobe_marker != 0;
        while (cinfo.output_scanline < cinfo.output_height) {
            unsigned char* out = target->pixels + target->stride * cinfo.output_scanline;
            if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
                break;
            CmykRowToBgr(row[0], out, target->width, inverted);
        }
    } else {
        constexpr int kBatch = 16;
        JSAMPROW rows[kBatch];
        while (cinfo.output_scanline < cinfo.output_height) {
            const JDIMENSION first = cinfo.output_scanline;
            const JDIMENSION count =
                cinfo.output_height - first < kBatch ? cinfo.output_height - first : kBatch;
            for (JDIMENSION i = 0; i < count; ++i)
                rows[i] = target->pixels + target->stride * (first + i);
            if (jpeg_read_scanlines(&cinfo, rows, count) == 0)
                break;
        }
    }
    target->rowsWritten = static_cast<int>(cinfo.output_scanline);
    // jpeg_finish_decompress is skipped on purpose: trailing damage after the last row
    // must not throw away a picture that decoded completely.
    jpeg_destroy_decompress(&cinfo);
    return Status::Ok;
}

unsigned long SizeForLibjpeg(std::span<const std::uint8_t> data) {
    if (data.size() > static_cast<std::size_t>(~0UL))
        throw JpegError("file too large");
    return static_cast<unsigned long>(data.size());
}

} // namespace

JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data) {
    JpegInfo info;
    ErrorManager err;
    if (ReadHeaderC(data.data(), SizeForLibjpeg(data), &info, &err) != Status::Ok)
        throw JpegError(err.message);
    return info;
}

void CheckDecodable(const JpegInfo& info) {
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height);
    if (pixels > kMaxDecodePixels)
        throw JpegTooLarge(info.width, info.height);
}

namespace {

// The offset of the last marker (0xFF and a code that is neither a fill byte, a stuffed zero
// nor a restart marker) that starts before `end`, or 0 when there is none after the start
// of image.
std::size_t LastMarkerBefore(std::span<const std::uint8_t> data, std::size_t end) {
    end = std::min(end, data.size());
    for (std::size_t i = end; i-- > 2;) {
        if (data[i] != 0xFF || i + 1 >= data.size())
            continue;
        const std::uint8_t code = data[i + 1];
        if (code != 0x00 && code != 0xFF && (code < 0xD0 || code > 0xD7))
            return i;
    }
    return 0;
}

// How many times a failed decode is tried again on the data cut before the marker segment
// it failed in.
constexpr int kCutRetries = 4;

} // namespace

Bitmap DecodeJpeg(std::span<const std::uint8_t> data) {
    const JpegInfo info = ReadJpegHeader(data);
    CheckDecodable(info);
    Bitmap bitmap = Bitmap::Uninitialized(info.width, info.height);
    ErrorManager err;
    // A file damaged inside the tables or header of a later scan fails as a whole, though
    // the scans before were complete: it is decoded again without the damaged part, which
    // then ends like a truncated file and keeps what the earlier scans hold.
    std::vector<std::uint8_t> cut;
    std::span<const std::uint8_t> input = data;
    std::string firstError;
    for (int attempt = 0; attempt <= kCutRetries; ++attempt) {
        RawTarget target{bitmap.Data(), bitmap.Stride(), info.width, info.height, 0, 0};
        switch (DecodeC(input.data(), SizeForLibjpeg(input), &target, &err)) {
        case Status::Ok:
            // Rows the decoder could not deliver are grey, as libjpeg pads a truncated file.
            for (int y = target.rowsWritten; y < info.height; ++y)
                std::memset(bitmap.Row(y), 128, bitmap.Stride());
            return bitmap;
        case Status::ScanLimit:
            throw JpegError("too many progressive scans (more than " +
                            std::to_string(kMaxProgressiveScans) + ")");
        case Status::SizeChanged:
            throw JpegError("the header changed between two reads");
        case Status::Failed:
            break;
        }
        if (attempt == 0)
            firstError = err.message;
        const std::size_t marker = LastMarkerBefore(input, target.failOffset);
        if (marker == 0 || marker >= input.size())
            break;
        std::vector<std::uint8_t> shorter(input.begin(),
                                          input.begin() + static_cast<std::ptrdiff_t>(marker));
        shorter.push_back(0xFF);
        shorter.push_back(0xD9); // end of image
        cut = std::move(shorter);
        input = cut;
    }
    throw JpegError(firstError);
}

} // namespace tessaly
