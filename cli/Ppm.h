// Binary PPM (P6) pictures: reading into a Bitmap and writing one out.
#pragma once

#include "picture/Bitmap.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

class PpmError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// True when the data start like a binary PPM ("P6").
bool LooksLikePpm(std::span<const std::uint8_t> data);

// Reads the first picture of a binary PPM: "P6", width, height and maximum value separated
// by white space (comments from '#' to the end of a line allowed), one white-space byte,
// then the samples, red, green, blue, one byte each or two (big-endian) when the maximum
// is above 255. Samples are scaled to 0 .. 255. Throws PpmError for anything else, for
// missing samples and for pictures above the viewer's pixel limit.
Bitmap ReadPpm(std::span<const std::uint8_t> data);

struct PpmHeader {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t maxValue;
    std::size_t size; // bytes before the first sample
    // The bytes of the whole file: header and samples.
    std::uint64_t FileBytes() const {
        return size + std::uint64_t{width} * height * 3 * (maxValue > 255 ? 2 : 1);
    }
};

// The header at the start of `data`, checked as ReadPpm checks it (PpmError).
PpmHeader ReadPpmHeader(std::span<const std::uint8_t> data);

// "P6\n<width> <height>\n255\n" followed by the red, green, blue bytes of every pixel.
std::vector<std::uint8_t> WritePpm(const Bitmap& bitmap);

// The parts of that file for a writer that makes it row by row: its header, its size in
// bytes, and pixels (blue, green, red) turned into the file's order in place.
std::string PpmHeaderText(int width, int height);
std::uint64_t PpmFileBytes(int width, int height);
void ToPpmOrder(std::span<std::uint8_t> pixels);

} // namespace tessaly
