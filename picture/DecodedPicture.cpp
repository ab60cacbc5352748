#include "picture/DecodedPicture.h"

#include <cstring>
#include <stdexcept>

namespace tessaly {

int DecodedPicture::Width() const {
    return std::visit([](const auto& p) { return p.Width(); }, pixels_);
}

int DecodedPicture::Height() const {
    return std::visit([](const auto& p) { return p.Height(); }, pixels_);
}

std::size_t DecodedPicture::SizeBytes() const {
    return std::visit([](const auto& p) { return p.SizeBytes(); }, pixels_);
}

void ReadBgr(const Bitmap& source, int left, int top, int width, int height, std::uint8_t* out,
             std::size_t stride) {
    if (left < 0 || top < 0 || width < 0 || height < 0 || left > source.Width() - width ||
        top > source.Height() - height)
        throw std::invalid_argument("ReadBgr: the rectangle must lie in the picture");
    const std::size_t bytes = static_cast<std::size_t>(width) * Bitmap::kBytesPerPixel;
    for (int y = 0; y < height && bytes > 0; ++y)
        std::memcpy(out + stride * static_cast<std::size_t>(y),
                    source.Row(top + y) + static_cast<std::size_t>(left) * Bitmap::kBytesPerPixel,
                    bytes);
}

void DecodedPicture::ReadBgr(int left, int top, int width, int height, std::uint8_t* out,
                             std::size_t stride) const {
    if (const YccPlanes* planes = Planes())
        planes->ReadBgr(left, top, width, height, out, stride);
    else
        tessaly::ReadBgr(*Rgb(), left, top, width, height, out, stride);
}

Bitmap DecodedPicture::Copy(int left, int top, int width, int height) const {
    Bitmap out = Bitmap::Uninitialized(width, height);
    ReadBgr(left, top, width, height, out.Data(), out.Stride());
    return out;
}

bool DecodedPicture::SamePixels(const Bitmap& other) const {
    if (const Bitmap* rgb = Rgb())
        return rgb->SamePixels(other);
    return other.Width() == Width() && other.Height() == Height() &&
           Copy(0, 0, Width(), Height()).SamePixels(other);
}

} // namespace tessaly
