// The largest picture the program makes or decodes, and the one test against it.
#pragma once

#include <cstdint>

namespace tessaly {

// Largest picture: 2^28 pixels (268,435,456, 768 MiB at 24 bits), far above any camera or
// phone photo. A header, an area or a size beyond it is refused before anything is allocated.
inline constexpr std::uint64_t kMaxDecodePixels = std::uint64_t{1} << 28;

// True when a picture of width x height pixels is larger than kMaxDecodePixels. A negative
// size, taken as unsigned, counts as larger; the product never overflows.
constexpr bool ExceedsPictureLimit(std::uint64_t width, std::uint64_t height) {
    return width != 0 && height > kMaxDecodePixels / width;
}

} // namespace tessaly
