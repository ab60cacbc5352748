// The picture of the image control: a JPEG file, opened and its header read when the file is
// loaded, and its pixels, decoded at full size in 24-bit colour the first time they are
// needed (the first paint, or a cut of the selected area). The file stays open until then
// and is read in small pieces as the decoder asks for them.
#pragma once

#include "base/RegularFile.h"
#include "imaging/Bitmap.h"
#include "imaging/JpegDecoder.h"

#include <memory>
#include <optional>
#include <string>

namespace tessaly {

class JpegPicture {
public:
    // Reads the header of the file. Throws JpegError when the data are not a readable JPEG
    // (an invalid graphic) and JpegTooLarge when the picture exceeds the decode limits.
    explicit JpegPicture(RegularFile file);

    int Width() const { return info_.width; }
    int Height() const { return info_.height; }

    // The decoded pixels, decoding on the first call. nullptr when decoding failed; the
    // picture then stays empty and later calls do not try again. The file is closed once
    // decoded: the decoded bitmap is the only full-size copy kept.
    const Bitmap* Pixels();
    const std::string& DecodeError() const { return error_; }

private:
    std::optional<RegularFile> file_;
    JpegInfo info_;
    std::unique_ptr<Bitmap> pixels_;
    std::string error_;
};

} // namespace tessaly
