#include "jpeg/JpegWriter.h"

#include "base/FileReplace.h"
#include "base/Rounding.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegErrorManager.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <numbers>
#include <stdexcept>

namespace tessaly {

using jpeg_detail::ErrorManager;

namespace {

// A growing memory destination whose buffer the caller frees in every case, also after
// libjpeg gave up half-way.
struct MemoryDestination {
    jpeg_destination_mgr pub; // first member: libjpeg sees only this
    unsigned char* buffer;
    std::size_t capacity;
    std::size_t size; // bytes of the finished stream
};

constexpr std::size_t kFirstBuffer = 64 * 1024;

extern "C" void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->buffer = static_cast<unsigned char*>(std::malloc(kFirstBuffer));
    if (dest->buffer == nullptr)
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->capacity = kFirstBuffer;
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
}

extern "C" boolean GrowDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    const std::size_t grown = dest->capacity * 2;
    auto* bigger = static_cast<unsigned char*>(std::realloc(dest->buffer, grown));
    if (bigger == nullptr)
        ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->buffer = bigger;
    dest->pub.next_output_byte = bigger + dest->capacity;
    dest->pub.free_in_buffer = grown - dest->capacity;
    dest->capacity = grown;
    return TRUE;
}

extern "C" void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
    dest->size = dest->capacity - dest->pub.free_in_buffer;
}

// The picture to compress: plain pointers only, so nothing with a destructor lives in
// the C-style function below.
struct EncodeSource {
    const unsigned char* pixels;
    std::size_t stride;
    int width;
    int height;
    int quality;
    int lumaH;
    int lumaV;
    bool grey;
    bool progressive;
    const unsigned char* icc; // nullptr for none
    unsigned int iccLength;
};

// Compresses with the settings in this order: size, 3 RGB components (1 grey one), defaults,
// the luminance sampling, floating-point DCT, quality with baseline forced, progressive scans
// if asked, all tables, the ICC profile if any, rows top first.
bool EncodeC(const EncodeSource* source, MemoryDestination* dest, ErrorManager* err) {
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_detail::InstallErrorManager(*err);
    if (setjmp(err->jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = GrowDestination;
    dest->pub.term_destination = TermDestination;
    cinfo.dest = &dest->pub;
    cinfo.image_width = static_cast<JDIMENSION>(source->width);
    cinfo.image_height = static_cast<JDIMENSION>(source->height);
    cinfo.input_components = source->grey ? 1 : 3;
    cinfo.in_color_space = source->grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    cinfo.comp_info[0].h_samp_factor = source->grey ? 1 : source->lumaH;
    cinfo.comp_info[0].v_samp_factor = source->grey ? 1 : source->lumaV;
    cinfo.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&cinfo, source->quality, TRUE);
    if (source->progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (source->icc != nullptr)
        jpeg_write_icc_profile(&cinfo, source->icc, source->iccLength);
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                cinfo.image_width * 3, 1);
    while (cinfo.next_scanline < cinfo.image_height) {
        // The picture's blue, green, red bytes are handed over as red, green, blue, or green.
        const unsigned char* bgr = source->pixels + source->stride * cinfo.next_scanline;
        unsigned char* out = row[0];
        if (source->grey) {
            for (int x = 0; x < source->width; ++x, bgr += 3)
                *out++ = bgr[1];
        } else {
            for (int x = 0; x < source->width; ++x, bgr += 3, out += 3) {
                out[0] = bgr[2];
                out[1] = bgr[1];
                out[2] = bgr[0];
            }
        }
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

void JpegWriter::Assign(Bitmap bitmap) {
    bitmap_ = std::move(bitmap);
    stream_.clear();
}

void JpegWriter::SetIccProfile(std::vector<std::uint8_t> profile) {
    if (profile.size() > kMaxEmbeddedProfileBytes)
        throw std::invalid_argument("a colour profile of " + std::to_string(profile.size()) +
                                    " bytes does not fit in a JPEG file's 255 segments");
    icc_ = std::move(profile);
    stream_.clear();
}

void JpegWriter::SetLayout(const JpegLayout& layout) {
    if (layout.lumaH < 1 || layout.lumaH > 4 || layout.lumaV < 1 || layout.lumaV > 4)
        throw std::invalid_argument("luminance sampling " + std::to_string(layout.lumaH) + "x" +
                                    std::to_string(layout.lumaV) + " is not 1 to 4 each way");
    layout_ = layout;
    stream_.clear();
}

void JpegWriter::Compress() {
    stream_.clear();
    if (bitmap_.Empty())
        return;
    const EncodeSource source{bitmap_.Data(),
                              bitmap_.Stride(),
                              bitmap_.Width(),
                              bitmap_.Height(),
                              quality_,
                              layout_.lumaH,
                              layout_.lumaV,
                              layout_.grey,
                              layout_.progressive,
                              icc_.empty() ? nullptr : icc_.data(),
                              static_cast<unsigned int>(icc_.size())};
    MemoryDestination dest;
    std::memset(&dest, 0, sizeof dest);
    ErrorManager err;
    const bool ok = EncodeC(&source, &dest, &err);
    if (ok)
        stream_.assign(dest.buffer, dest.buffer + dest.size);
    std::free(dest.buffer);
    if (!ok)
        throw JpegError(std::string("JPEG compression failed: ") + err.message);
}

std::uint8_t JpegQualityForLevel(int level) {
    if (level < 0)
        throw std::invalid_argument("JPEG level " + std::to_string(level) +
                                    " must not be negative");
    const Extended quality = std::sqrt(std::sqrt(static_cast<Extended>(level) / 0.099L)) *
                             std::numbers::pi_v<Extended> * 10;
    return static_cast<std::uint8_t>(Trunc(quality) & 0xFF);
}

void SaveJpegFile(JpegWriter& jpeg, const std::filesystem::path& fileName, int level) {
    jpeg.SetCompressionQuality(JpegQualityForLevel(level));
    jpeg.Compress();
    WriteFileReplacing(fileName, jpeg.Stream());
}

} // namespace tessaly
