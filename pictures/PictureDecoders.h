// The decoders the picture pipeline calls on its worker threads, given to it as functions
// so that the pipeline does not depend on how a file is read and decoded, and so that tests
// can give it decoders that block or fail on purpose.
#pragma once

#include "jpeg/JpegHeader.h"
#include "picture/DecodedPicture.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace tessaly {

// Set by the pipeline when the picture being decoded is no longer wanted. A decoder polls it
// between rows (or at least between reading and decoding) and gives up by throwing
// DecodeCancelled; whatever it returns or throws once the flag is set is thrown away.
class CancelFlag {
public:
    CancelFlag() = default;
    CancelFlag(const CancelFlag&) = delete;
    CancelFlag& operator=(const CancelFlag&) = delete;

    bool Cancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }
    // The flag itself, for a decoder that polls it deep inside (libjpeg's progress reports).
    const std::atomic<bool>& Flag() const noexcept { return cancelled_; }
    void Cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
    // Throws DecodeCancelled when the flag is set.
    void ThrowIfCancelled() const;
    // Where the decoder notes why its picture ends early (a stream bound cut the data); the
    // pipeline hands them on with the result. Written by the decode's own thread only.
    DecodeNotes& Notes() const noexcept { return notes_; }

private:
    std::atomic<bool> cancelled_{false};
    mutable DecodeNotes notes_;
};

class DecodeCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "decode cancelled"; }
};

// What the pipeline plans a decode with, read from the file's header before it starts.
struct PictureFacts {
    int width = 0;
    int height = 0;
    // Bytes the decoder holds for the whole picture while it decodes, besides the pixels it
    // makes: libjpeg's coefficients of a file in several scans; 0 for a file decoded row by
    // row.
    std::uint64_t bufferBytes = 0;
    // Shown with its width and height exchanged (turned a quarter by its orientation tag).
    bool turned = false;
    // Bytes of the picture at full size in the form it is kept in (decodeFull's); 0: unknown.
    std::uint64_t keptBytes = 0;
    // Its decodes take every core (the decode in stripes): no other decode runs beside its
    // first one.
    bool everyCore = false;
};

struct PictureDecoders {
    // A copy for the screen: the picture decoded at the smallest scale whose size is not
    // below minWidth x minHeight in both directions, and never above the picture's own size
    // (a picture not larger than that comes out at full size). Sets fullWidth and
    // fullHeight to the picture's own size as soon as the header is read, even when the
    // decode fails afterwards.
    std::function<Bitmap(const std::string& path, int minWidth, int minHeight,
                         const CancelFlag& cancel, int& fullWidth, int& fullHeight)>
        decodeScaled;
    // The picture at full size, in the form it is kept in (planes for a file whose colour is
    // stored at reduced resolution, see DecodedPicture).
    std::function<DecodedPicture(const std::string& path, const CancelFlag& cancel)> decodeFull;
    // For a neighbour decoded ahead: when the picture is larger than width x height (at
    // least as large both ways, not the same size), the full picture reduced to exactly that
    // size as the window reduces pictures for display, with `exact` set; otherwise as
    // decodeScaled. Optional: without it neighbours get decodeScaled's copies.
    std::function<Bitmap(const std::string& path, int width, int height, const CancelFlag& cancel,
                         int& fullWidth, int& fullHeight, bool& exact)>
        decodeDisplay;
    // For the current picture, before its first decode: the file's own preview of the
    // picture's shape (see jpeg/FilePreview.h), decoded at the smallest scale reaching
    // minWidth x minHeight (or the largest there is), in the picture's stored orientation;
    // nothing when the file has no preview that fits, or none whose decode holds at most
    // maxBytes at its peak (its pixels and, for a preview in several scans, libjpeg's
    // coefficients). Sets fullWidth and fullHeight like decodeScaled. Optional: without it
    // no stand-in is delivered.
    std::function<std::optional<Bitmap>(const std::string& path, int minWidth, int minHeight,
                                        std::uint64_t maxBytes, const CancelFlag& cancel,
                                        int& fullWidth, int& fullHeight)>
        decodePreview;
    // The file's facts from its header, read before its decodes start, so that the pipeline
    // can size and order them. Optional: without it every decode is started as asked.
    std::function<PictureFacts(const std::string& path)> readFacts;
};
// All throw std::runtime_error when the file cannot be read (missing, not a regular file,
// read error), JpegError when its data are not a readable JPEG and JpegTooLarge when the
// picture exceeds the decode limit (jpeg/JpegDecoder.h).

// Whether decodeDisplay's copy of a picture of pictureWidth x pictureHeight asked for at
// width x height is the exact display copy: the picture is larger (at least as large both
// ways, not the same size).
bool IsDisplayReduction(int width, int height, int pictureWidth, int pictureHeight);

// Threads for the pipeline's workers and for a decode in stripes: one for each core, at
// least 1 and at most 4.
int WorkerThreadCount();

// Decoders over the imaging library: the file streamed to libjpeg, the screen copy at
// libjpeg's smallest scale N/8 whose size is not below the one asked for, which the caller
// reduces to the shown size. The screen copy and the full picture of a large baseline file
// with restart markers are decoded in stripes on `stripeThreads` threads (0: one for each
// core, at most 4), byte for byte as in one piece (jpeg/JpegStripes.h).
PictureDecoders DefaultPictureDecoders(int stripeThreads = 0);

} // namespace tessaly
