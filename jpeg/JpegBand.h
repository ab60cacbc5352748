// A band of whole rows of iMCUs cut out of a baseline JPEG file with restart markers, as a
// JPEG stream of its own: the file's marker segments that libjpeg reads (RestartIndex::header)
// with the frame's height set to the band's, the file's data from the restart interval the
// band begins with to the end of the interval it ends with, its restart markers numbered anew
// from RST0 as libjpeg expects them in a file that begins with that interval, and an end of
// image. libjpeg reads from it the coefficients of those rows exactly as from the whole file,
// so a cut of an area inside the band is the cut of the whole picture, read from a part of it.
#pragma once

#include "jpeg/JpegInput.h"
#include "jpeg/JpegRestartIndex.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tessaly::jpeg_detail {

struct JpegBand {
    std::vector<std::uint8_t> bytes; // from the start of image to the end of image
    int top = 0;                     // the band's first row in the file's picture
    int height = 0;                  // its rows, as its frame header says
};

// The smallest band of the file `index` was made of that holds the picture's rows [top,
// bottom) (0 <= top < bottom <= pictureHeight) and begins and ends where restart intervals do;
// nothing when that band is the whole picture, or when the data are not as indexed (a marker
// other than the restart marker due, or the data ending before the band does).
std::optional<JpegBand> CutBand(const Input& input, const RestartIndex& index, int pictureHeight,
                                int top, int bottom);

} // namespace tessaly::jpeg_detail
