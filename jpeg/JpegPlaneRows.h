// How a decode writes the planes libjpeg decodes before upsampling and colour conversion
// (jpeg_read_raw_data) into rows the caller holds.
#pragma once

#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace tessaly::jpeg_detail {

// Writes the planes libjpeg decodes before upsampling and colour conversion.
struct PlaneRows {
    int layout; // YccPlanes::Layout
    int count;
    unsigned char* base[3];
    std::size_t stride[3];
    int width[3]; // samples of picture data
    int height[3];
    int rows[3]; // rows allocated
    // Where rows past the allocated ones go: libjpeg is handed a whole iMCU row of pointers
    // but writes only the block rows that hold picture data.
    unsigned char* spare;
};

// After jpeg_start_decompress with raw output: reads the picture into the rows of `context`
// (a PlaneRows); returns the picture rows delivered.
int ReadPlanes(j_decompress_ptr cinfo, void* context);

} // namespace tessaly::jpeg_detail
