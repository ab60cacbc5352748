// The picture of the image control: a JPEG file's bytes and header, read when the file is
// loaded, and its pixels, decoded at full size in 24-bit colour the first time they are
// needed (the first paint, or a cut of the selected area).
#pragma once

#include "imaging/Bitmap.h"
#include "imaging/JpegDecoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class JpegPicture {
public:
    // Parses the header of the data. Throws JpegError when the data are not a readable
    // JPEG (an invalid graphic) and JpegTooLarge when the picture exceeds the decode limit.
    explicit JpegPicture(std::vector<std::uint8_t> data);

    const JpegInfo& Info() const { return info_; }
    int Width() const { return info_.width; }
    int Height() const { return info_.height; }

    // The decoded pixels, decoding here on the first call unless the picture pipeline has
    // delivered them. nullptr when decoding failed; the picture then stays empty and later
    // calls do not try again. The file's bytes are released once decoded: the decoded
    // bitmap is the only full-size copy kept.
    const Bitmap* Pixels();
    const std::string& DecodeError() const { return error_; }

    // What the picture pipeline delivers: the full-size pixels, or a screen copy (the
    // picture decoded at a reduced scale) to draw until they arrive, or the failure of the
    // decode, after which the picture stays empty.
    void SetFullPixels(std::shared_ptr<const Bitmap> pixels);
    void SetScreenCopy(std::shared_ptr<const Bitmap> copy);
    void SetDecodeFailed(std::string error);
    // What can be drawn now without decoding: the full-size pixels, else the screen copy,
    // else nothing.
    const Bitmap* Drawable() const;
    // The full-size pixels are there, or the decode failed: nothing more will come.
    bool Settled() const { return pixels_ != nullptr || failed_; }
    // Hands the full-size pixels over (for freeing them off the GUI thread).
    std::shared_ptr<const Bitmap> TakeFullPixels();

private:
    std::vector<std::uint8_t> data_;
    JpegInfo info_;
    std::shared_ptr<const Bitmap> pixels_;
    std::shared_ptr<const Bitmap> screenCopy_;
    bool failed_ = false;
    std::string error_;
};

// Reads a whole regular file. Throws std::runtime_error when the file cannot be opened
// or read, or is not a regular file (a folder or a pipe named like a picture).
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

} // namespace tessaly
