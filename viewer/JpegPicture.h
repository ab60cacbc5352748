// The picture of the image control: a JPEG file, opened and its header read when the file is
// loaded, and its decoded pixels (24-bit, or planes for a full-size picture whose colour the
// file stores at reduced resolution), which the picture pipeline delivers (a screen copy
// first, then the full size). The file stays open until the full-size pixels are there; only
// a picture whose pixels nobody was asked for is decoded here, read in small pieces as the
// decoder asks for them.
#pragma once

#include "base/RegularFile.h"
#include "imaging/DecodedPicture.h"
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

    // The full-size pixels, decoding them here on the first call unless the picture pipeline
    // has delivered them (the main window waits for the pipeline first). nullptr when
    // decoding failed; the picture then stays empty and later calls do not try again. The
    // file is closed once decoded: the decoded picture is the only full-size copy kept.
    const DecodedPicture* Pixels();
    const std::string& DecodeError() const { return error_; }

    // What the picture pipeline delivers: the full-size pixels, or a screen copy (the
    // picture decoded at a reduced scale) to draw until they arrive, or the failure of the
    // decode, after which the picture stays empty.
    void SetFullPixels(std::shared_ptr<const DecodedPicture> pixels);
    void SetScreenCopy(std::shared_ptr<const DecodedPicture> copy);
    void SetDecodeFailed(std::string error);
    // What can be drawn now without decoding: the full-size pixels, else the screen copy,
    // else nothing.
    const DecodedPicture* Drawable() const;
    // The full-size pixels are there, or the decode failed: nothing more will come.
    bool Settled() const { return pixels_ != nullptr || !file_; }
    // Hands the full-size pixels over (for freeing them off the GUI thread).
    std::shared_ptr<const DecodedPicture> TakeFullPixels();

private:
    std::optional<RegularFile> file_;
    JpegInfo info_;
    std::shared_ptr<const DecodedPicture> pixels_;
    std::shared_ptr<const DecodedPicture> screenCopy_;
    std::string error_;
};

} // namespace tessaly
