#include "bench/LibjpegReference.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <jpeglib.h>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tessaly::bench {

void LibjpegDecode(const std::string& path, int eighths, bool keep) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               std::fclose);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file.get());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.scale_num = static_cast<unsigned>(eighths);
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t{cinfo.output_width} * 3;
    std::vector<JSAMPLE> pixels(stride * (keep ? cinfo.output_height : 1));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + (keep ? stride * cinfo.output_scanline : 0);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    benchmark::DoNotOptimize(pixels.data());
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

} // namespace tessaly::bench
