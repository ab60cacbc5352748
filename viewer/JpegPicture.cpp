#include "viewer/JpegPicture.h"

#include <stdexcept>

namespace tessaly {

JpegPicture::JpegPicture(RegularFile file) : file_(std::move(file)) {
    info_ = ReadJpegHeader(*file_);
    CheckDecodable(info_);
}

const DecodedPicture* JpegPicture::Pixels() {
    if (pixels_ || !file_)
        return pixels_.get();
    try {
        pixels_ = std::make_shared<const DecodedPicture>(DecodeJpegToKeep(*file_, info_));
    } catch (const std::exception& e) {
        error_ = e.what();
    }
    file_.reset();
    screenCopy_.reset();
    return pixels_.get();
}

void JpegPicture::SetFullPixels(std::shared_ptr<const DecodedPicture> pixels) {
    if (Settled())
        return;
    pixels_ = std::move(pixels);
    screenCopy_.reset();
    file_.reset();
}

void JpegPicture::SetScreenCopy(std::shared_ptr<const DecodedPicture> copy) {
    if (!Settled())
        screenCopy_ = std::move(copy);
}

void JpegPicture::SetDecodeFailed(std::string error) {
    if (Settled())
        return;
    error_ = std::move(error);
    screenCopy_.reset();
    file_.reset();
}

const DecodedPicture* JpegPicture::Drawable() const {
    return pixels_ ? pixels_.get() : screenCopy_.get();
}

std::shared_ptr<const DecodedPicture> JpegPicture::TakeFullPixels() {
    screenCopy_.reset();
    file_.reset();
    return std::move(pixels_);
}

} // namespace tessaly
