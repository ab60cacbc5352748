#include "jpeg/JpegPlaneRows.h"

#include <algorithm>

namespace tessaly::jpeg_detail {

int ReadPlanes(j_decompress_ptr cinfo, void* context) {
    const auto* out = static_cast<const PlaneRows*>(context);
    JSAMPROW rows[3][MAX_SAMP_FACTOR * DCTSIZE];
    JSAMPARRAY planes[3] = {rows[0], rows[1], rows[2]};
    const int lines = cinfo->max_v_samp_factor * DCTSIZE;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int iMcuRow = static_cast<int>(cinfo->output_scanline) / lines;
        for (int i = 0; i < out->count; ++i) {
            const int height = cinfo->comp_info[i].v_samp_factor * DCTSIZE;
            for (int k = 0; k < height; ++k) {
                const int y = iMcuRow * height + k;
                rows[i][k] = y < out->rows[i]
                                 ? out->base[i] + out->stride[i] * static_cast<std::size_t>(y)
                                 : out->spare;
            }
        }
        if (jpeg_read_raw_data(cinfo, planes, static_cast<JDIMENSION>(lines)) == 0)
            break;
    }
    return static_cast<int>(std::min(cinfo->output_scanline, cinfo->output_height));
}

} // namespace tessaly::jpeg_detail
