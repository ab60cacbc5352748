// Making a thumbnail from a JPEG file: its own preview (the EXIF thumbnail or a large
// multi-picture preview) when one is large enough and of the picture's shape, else libjpeg's
// decode at 1/8, 1/4 or 1/2 (the smallest that is large enough) or at full size; reduced to
// fit the thumbnail's edge, turned upright by the EXIF orientation and converted from the
// file's colour profile to sRGB.
#pragma once

#include "picture/Bitmap.h"

#include <atomic>
#include <string>

namespace tessaly {

class DisplayColours;

struct MadeThumbnail {
    Bitmap pixels; // upright, sRGB, its longer side at most the edge asked for
    int width = 0; // the picture's own size, upright
    int height = 0;
    bool fromPreview = false; // made from the file's own preview, the picture not decoded
};

// The thumbnail's size for an upright picture of width x height: fitted inside edge x edge,
// its aspect kept, never enlarged, at least 1 x 1.
void FitThumbnail(int width, int height, int edge, int& fitWidth, int& fitHeight);

// Makes the thumbnail of the JPEG file at `path` with its longer side at most `edge`.
// `srgb` converts from the file's profile (a DisplayColours whose display profile is sRGB).
// Throws what the decoders throw (FileReadError, JpegError, JpegTooLarge), and
// JpegDecodeStopped soon after `stop` is raised.
MadeThumbnail MakeThumbnail(const std::string& path, int edge, DisplayColours& srgb,
                            const std::atomic<bool>* stop = nullptr);

} // namespace tessaly
