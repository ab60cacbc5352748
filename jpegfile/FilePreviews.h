// Where a JPEG file keeps previews of its picture: the EXIF block's thumbnail (IFD1, inside
// the APP1 segment, about 160 x 120) and the large thumbnails of a multi-picture index (an
// APP2 "MPF" segment; often 1920 pixels wide, stored after the picture's end of image).
// Only the marker segments before the frame header are read (see JpegSegments.h), and
// only the first EXIF block and the first index count.
//
// These are places, nothing more: whether the bytes there are a picture of the same shape
// is for the one who decodes them to find out.
#pragma once

#include "base/FilePart.h"
#include "base/RegularFile.h"

#include <vector>

namespace tessaly {

// The previews' places in the file: the EXIF thumbnail first, then the index's large
// thumbnails in its order. A place that does not lie wholly inside the file, or an index
// entry of another kind (the primary picture, panorama and stereo frames, depth and gain
// maps, undefined pictures), is left out. Throws FileReadError when reading fails.
std::vector<FilePart> FindFilePreviews(const RegularFile& file);

} // namespace tessaly
