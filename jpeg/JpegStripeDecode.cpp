#include "jpeg/JpegStripeDecode.h"

#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegScanMonitor.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace tessaly::jpeg_detail {

namespace {

// Rows asked of jpeg_read_scanlines at once.
constexpr int kBatch = 16;

// Hands on the file stream's next piece through the stripe's buffer, each restart marker's
// number made the stripe's own (libjpeg counts a stream's intervals from 0), so that libjpeg
// checks the file's markers against the plan as it would a file's.
extern "C" boolean FillRenumbered(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<StripeSource*>(cinfo->src);
    StreamSource& stream = src->stream;
    if (!src->fill(cinfo))
        return FALSE;
    const std::size_t count = std::min(stream.pub.bytes_in_buffer, kReadBuffer);
    std::memcpy(src->piece, stream.pub.next_input_byte, count);
    RenumberRestarts(src->piece, count, src->markerShift, src->afterFF);
    stream.pub.next_input_byte = src->piece;
    stream.pub.bytes_in_buffer = count;
    stream.bufferStart = src->piece;
    stream.next = stream.bufferAt + count; // what the piece left out comes with the next fill
    return TRUE;
}

// libjpeg met a restart marker other than the one it expects: the file is not as planned,
// which ends the decode instead of recovering as from damage.
extern "C" boolean FailOnResync(j_decompress_ptr cinfo, int) {
    static_cast<StripeJob*>(cinfo->client_data)->markersChanged = 1;
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// The header is one sequential Huffman scan of all components with the planned interval.
bool OneSequentialScan(const jpeg_decompress_struct& cinfo, unsigned interval) {
    return !cinfo.progressive_mode && !cinfo.arith_code &&
           cinfo.comps_in_scan == cinfo.num_components && cinfo.restart_interval == interval;
}

void SetBgrOutput(j_decompress_ptr cinfo, int eighths) {
    cinfo->out_color_space = JCS_EXT_BGR;
    cinfo->scale_num = static_cast<unsigned int>(eighths);
    cinfo->scale_denom = 8;
    jpeg_calc_output_dimensions(cinfo);
}

// libjpeg upsamples a component with its fancy filters only when fancy upsampling is on and
// the scaled blocks are larger than one sample; only the vertical doubling (4:2:0, 4:4:0)
// takes rows of the iMCU rows around. Any vertical upsampling counts here, which covers it.
bool UpsamplesAcrossRows(const jpeg_decompress_struct& cinfo) {
    if (!cinfo.do_fancy_upsampling || cinfo.min_DCT_scaled_size <= 1)
        return false;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& comp = cinfo.comp_info[i];
        if (comp.v_samp_factor * comp.DCT_scaled_size <
            cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size)
            return true;
    }
    return false;
}

bool ProbeC(StreamSource* src, int eighths, unsigned interval, StripeHeaderFacts* facts,
            ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = InstallErrorManager(*err);
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    InstallSource(&cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    const bool ok = OneSequentialScan(cinfo, interval);
    facts->width = static_cast<int>(cinfo.image_width);
    facts->height = static_cast<int>(cinfo.image_height);
    facts->components = cinfo.num_components;
    facts->colorSpace = cinfo.jpeg_color_space;
    SetBgrOutput(&cinfo, eighths);
    facts->outWidth = static_cast<int>(cinfo.output_width);
    facts->outHeight = static_cast<int>(cinfo.output_height);
    facts->contextRows = UpsamplesAcrossRows(cinfo);
    jpeg_destroy_decompress(&cinfo);
    return ok;
}

int ReadBgr(j_decompress_ptr cinfo, const StripeJob* job) {
    const auto end = static_cast<JDIMENSION>(job->skipRows + job->keptRows);
    JSAMPROW rows[kBatch];
    while (cinfo->output_scanline < end) {
        const JDIMENSION first = cinfo->output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(kBatch, end - first);
        for (JDIMENSION i = 0; i < count; ++i) {
            const int row = static_cast<int>(first + i) - job->skipRows;
            rows[i] =
                row < 0 ? job->scratch : job->pixels + job->stride * static_cast<std::size_t>(row);
        }
        if (jpeg_read_scanlines(cinfo, rows, count) == 0)
            break;
    }
    return std::max(static_cast<int>(cinfo->output_scanline) - job->skipRows, 0);
}

bool PlanesFit(const jpeg_decompress_struct& cinfo, const PlaneRows& planes) {
    if (cinfo.num_components != planes.count || cinfo.min_DCT_scaled_size != DCTSIZE)
        return false;
    for (int i = 0; i < planes.count; ++i) {
        const jpeg_component_info& comp = cinfo.comp_info[i];
        if (static_cast<int>(comp.downsampled_width) != planes.width[i] ||
            std::size_t{comp.width_in_blocks} * DCTSIZE > planes.stride[i])
            return false;
    }
    return true;
}

} // namespace

void RenumberRestarts(JOCTET* bytes, std::size_t count, int shift, int& afterFF) {
    std::size_t i = 0;
    for (;;) {
        if (!afterFF) {
            const void* ff = std::memchr(bytes + i, 0xFF, count - i);
            if (ff == nullptr)
                return;
            i = static_cast<std::size_t>(static_cast<const JOCTET*>(ff) - bytes) + 1;
            afterFF = 1;
        }
        while (i < count && bytes[i] == 0xFF)
            ++i;
        if (i == count)
            return;
        if (bytes[i] >= JPEG_RST0 && bytes[i] <= JPEG_RST0 + 7)
            bytes[i] = static_cast<JOCTET>(JPEG_RST0 + ((bytes[i] - JPEG_RST0 - shift) & 7));
        afterFF = 0;
        ++i;
    }
}

bool ProbeStripeHeader(std::span<const std::uint8_t> header, int eighths, unsigned interval,
                       StripeHeaderFacts& facts) {
    Input input(header);
    StreamSource src = input.Source(UINT64_MAX, false);
    ErrorManager err;
    return ProbeC(&src, eighths, interval, &facts, &err);
}

StripeStatus DecodeStripeC(StripeSource* src, StripeJob* job, ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ScanMonitor monitor;
    std::memset(&monitor, 0, sizeof monitor);
    cinfo.err = InstallErrorManager(*err);
    monitor.pub.progress_monitor = OnProgress;
    monitor.err = err;
    monitor.stop = job->stop;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (err->scanLimitHit == 3)
            return StripeStatus::Stopped;
        return src->stream.readErrno != 0 ? StripeStatus::ReadFailed : StripeStatus::Failed;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = static_cast<long>(job->libjpegMemory);
    cinfo.client_data = job;
    StreamSource& stream = src->stream;
    InstallSource(&cinfo, &stream);
    src->fill = stream.pub.fill_input_buffer;
    stream.pub.fill_input_buffer = FillRenumbered;
    stream.pub.resync_to_restart = FailOnResync;
    // The stripe's header is handed out first, as if it lay just before the data.
    stream.pub.next_input_byte = job->header;
    stream.pub.bytes_in_buffer = job->headerSize;
    stream.bufferStart = job->header;
    stream.bufferAt = job->dataAt - job->headerSize;
    stream.next = job->dataAt;
    jpeg_read_header(&cinfo, TRUE);
    bool fits = static_cast<int>(cinfo.image_width) == job->width &&
                static_cast<int>(cinfo.image_height) == job->height &&
                OneSequentialScan(cinfo, job->restartInterval);
    if (fits && job->eighths == 0) {
        cinfo.raw_data_out = TRUE;
        jpeg_calc_output_dimensions(&cinfo);
        fits = PlanesFit(cinfo, job->planes);
    } else if (fits) {
        SetBgrOutput(&cinfo, job->eighths);
        fits = static_cast<int>(cinfo.output_width) == job->outWidth &&
               static_cast<int>(cinfo.output_height) >= job->skipRows + job->keptRows;
    }
    if (!fits) {
        jpeg_destroy_decompress(&cinfo);
        return StripeStatus::Mismatch;
    }
    monitor.blocksAllowed = PictureBlocks(cinfo) * kMaxScanPasses;
    cinfo.progress = &monitor.pub;
    jpeg_start_decompress(&cinfo);
    job->rowsDone = job->eighths == 0 ? ReadPlanes(&cinfo, &job->planes) : ReadBgr(&cinfo, job);
    // As in the whole decode, the end of the data is never asked for.
    jpeg_destroy_decompress(&cinfo);
    return StripeStatus::Ok;
}

} // namespace tessaly::jpeg_detail
