#include "viewer/JpegPicture.h"

#include <stdexcept>

namespace tessaly {

JpegPicture::JpegPicture(RegularFile file) : file_(std::move(file)) {
    info_ = ReadJpegHeader(*file_);
    CheckDecodable(info_);
}

const Bitmap* JpegPicture::Pixels() {
    if (pixels_ || !file_)
        return pixels_.get();
    try {
        pixels_ = std::make_unique<Bitmap>(DecodeJpeg(*file_));
    } catch (const std::exception& e) {
        error_ = e.what();
    }
    file_.reset();
    return pixels_.get();
}

} // namespace tessaly
