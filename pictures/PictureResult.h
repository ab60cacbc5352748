// What the picture pipeline hands to its receiver, and the one function of the window it
// plans with. Shared by the pipeline, its planner and its copy cache.
#pragma once

#include "base/PixelGeometry.h"
#include "picture/DecodedPicture.h"
#include "pictures/FileIdentity.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace tessaly {

enum class PictureKind {
    StandIn,    // the file's own preview: the picture's shape, but not its pixels
    ScreenCopy, // decoded at a reduced scale: pixels->Width() / fullWidth of the picture
    Full,       // the picture at its own size
};

// How a decode failed, from the type of the decoder's exception.
enum class PictureErrorType {
    None,
    Unreadable,  // std::runtime_error: the file could not be opened or read
    InvalidJpeg, // JpegError: the data are not a readable JPEG
    TooLarge,    // JpegTooLarge: above the decode limit
    Other,       // anything else (std::bad_alloc, ...)
};

struct PictureResult {
    std::uint64_t request = 0; // the number Show() returned for the request this answers
    std::string path;
    FileIdentity identity; // the file as it was read
    PictureKind kind = PictureKind::ScreenCopy;
    std::shared_ptr<const DecodedPicture> pixels; // null when the decode failed
    // The picture's own size; 0 x 0 when the decode failed before the header was read.
    int fullWidth = 0;
    int fullHeight = 0;
    // A display copy: the full picture reduced to exactly the size it was asked for, the
    // same pixels as the window's own reduction of the full picture (neighbours decoded
    // ahead, when the decoders can make them).
    bool exact = false;
    // A screen copy whose picture the window keeps drawing as it drew it from this copy, at
    // that size, when the full picture follows: the first picture's, decoded as the program
    // starts (EarlyDecode), so that its first change at fit is the settled picture, and the
    // full pixels only serve zoom, actual size and copies.
    bool keepDrawn = false;
    // When the decode failed: the decoder's exception, its message and its kind; `kind` then
    // says which decode failed (ScreenCopy: the first one, whatever its scale). An error ends
    // the work for that request: no full-size decode follows a failed first decode.
    std::exception_ptr error;
    std::string errorText;
    PictureErrorType errorType = PictureErrorType::None;
    // Why the pixels end early when a stream bound cut the file's data (DecodeNotes); empty
    // when none did.
    std::string streamCut;

    bool Ok() const { return pixels != nullptr; }
};

// The size (in the units of the shown sizes, the window's device pixels) a picture stored at
// `stored` would be shown at now, given as its pixels are stored: its own shape fitted to the
// window, or the kept zoom, turned a quarter when `turned` (its orientation tag exchanges its
// sides) and the window shows pictures turned (model/ShownSize.h has the viewer's rule).
// Called on worker threads: it must not touch the window's state.
using FitSize = std::function<Size(Size stored, bool turned)>;

} // namespace tessaly
