#include "jpeg/JpegHeader.h"

#include "jpeg/JpegErrorManager.h"
#include "jpeg/JpegHeaderMarkers.h"
#include "jpeg/JpegHeaderRead.h"
#include "jpegfile/ExifBlock.h"
#include "jpegfile/ExifOrientation.h"
#include "picture/Bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace tessaly {

JpegTooLarge::JpegTooLarge(int width, int height)
    : JpegError("the picture is too large to show (" + std::to_string(width) + " x " +
                std::to_string(height) + " pixels; at most " + std::to_string(kMaxDecodePixels) +
                " pixels, " + std::to_string(kMaxDecodeBytes >> 20) +
                " MiB with libjpeg's coefficients)"),
      width_(width), height_(height) {}

namespace jpeg_detail {
namespace {

enum class HeaderStatus { Ok, Failed, ReadFailed };

std::uint64_t RoundUp(std::uint64_t value, int multiple) {
    const auto m = static_cast<std::uint64_t>(std::max(multiple, 1));
    return (value + m - 1) / m * m;
}

HeaderStatus ReadHeaderC(StreamSource* src, JpegInfo* info, HeaderMarkers* markers,
                         ErrorManager* err) {
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(markers, 0, sizeof *markers);
    cinfo.err = InstallErrorManager(*err);
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return src->readErrno != 0 ? HeaderStatus::ReadFailed : HeaderStatus::Failed;
    }
    jpeg_create_decompress(&cinfo);
    InstallSource(&cinfo, src);
    WatchHeaderMarkers(&cinfo, markers);
    jpeg_read_header(&cinfo, TRUE);
    FillJpegInfo(&cinfo, *info);
    ReadHeaderMarkers(&cinfo, markers);
    jpeg_destroy_decompress(&cinfo);
    return HeaderStatus::Ok;
}

} // namespace

void FillJpegInfo(j_decompress_ptr cinfo, JpegInfo& info) {
    info.width = static_cast<int>(cinfo->image_width);
    info.height = static_cast<int>(cinfo->image_height);
    info.components = cinfo->num_components;
    info.progressive = cinfo->progressive_mode != 0;
    info.grayscale = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    info.cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    info.ycc = cinfo->jpeg_color_space == JCS_YCbCr;
    info.sampling = {};
    for (int i = 0; i < std::min(cinfo->num_components, 4); ++i)
        info.sampling[static_cast<std::size_t>(i)] = {cinfo->comp_info[i].h_samp_factor,
                                                      cinfo->comp_info[i].v_samp_factor};
    info.restartInterval = cinfo->restart_interval;
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

JpegInfo ReadHeader(Input& input) {
    JpegInfo info;
    ErrorManager err;
    HeaderMarkers markers;
    StreamSource src = input.Source(UINT64_MAX, false);
    const HeaderStatus status = ReadHeaderC(&src, &info, &markers, &err);
    const std::unique_ptr<unsigned char, decltype(&std::free)> icc(markers.icc, &std::free);
    switch (status) {
    case HeaderStatus::Ok: {
        // The EXIF block the EXIF reader takes too, so that the turn and the overlay agree.
        const std::optional<ExifBlock> exif =
            ReadExifBlock([&input](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
                return input.Read(offset, out, count);
            });
        info.orientation = OrientationFromCode(exif ? ExifOrientationCode(exif->tiff) : 0);
        if (icc)
            info.iccProfile.assign(icc.get(), icc.get() + markers.iccLength);
        info.iccProblem = IccRefusalText(markers.iccRefusal);
        return info;
    }
    case HeaderStatus::ReadFailed:
        input.ThrowReadError(src.readErrno);
    default:
        if (src.bounds.hit != StreamBound::None)
            throw JpegError(std::string(StreamBoundText(src.bounds.hit)) + " (" + err.message +
                            ")");
        throw JpegError(err.message);
    }
}

} // namespace jpeg_detail

JpegInfo ReadJpegHeader(std::span<const std::uint8_t> data) {
    jpeg_detail::Input input(data);
    return jpeg_detail::ReadHeader(input);
}

JpegInfo ReadJpegHeader(const RegularFile& file) {
    jpeg_detail::Input input(file);
    return jpeg_detail::ReadHeader(input);
}

void CheckDecodable(const JpegInfo& info) {
    if (ExceedsPictureLimit(info.width, info.height))
        throw JpegTooLarge(info.width, info.height);
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height);
    if (pixels * Bitmap::kBytesPerPixel + info.coefficientBytes > kMaxDecodeBytes)
        throw JpegTooLarge(info.width, info.height);
}

} // namespace tessaly
