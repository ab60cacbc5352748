#include "colour/ColourTransform.h"

#include "colour/LcmsContext.h"

#include <stdexcept>
#include <string>

namespace tessaly {

using colour_detail::LcmsContext;

struct ColourTransform::Made {
    Made() = default;
    Made(const Made&) = delete;
    Made& operator=(const Made&) = delete;
    ~Made() {
        if (transform != nullptr)
            cmsDeleteTransform(transform);
    }

    LcmsContext context; // outlives the transform
    cmsHTRANSFORM transform = nullptr;
};

namespace {

// A grey value in the first byte of each 3-byte pixel; lcms skips the two after it.
constexpr cmsUInt32Number kGreyInBgr8 =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(2);

// Why a display profile of `space` cannot be converted to.
const char* NotRgbReason(ColourProfile::Space space) {
    return space == ColourProfile::Space::Grey
               ? "it is a grey profile, not an RGB one"
               : "it is a profile of CMYK or other colours, not an RGB one";
}

} // namespace

ColourTransform::ColourTransform(const ColourProfile& from, const ColourProfile& to) {
    if (to.ColourSpace() != ColourProfile::Space::Rgb)
        throw BrokenProfile(NotRgbReason(to.ColourSpace()));
    if (from.ColourSpace() == ColourProfile::Space::Other)
        throw BrokenProfile("the colour profile is neither RGB nor grey");
    const cmsUInt32Number input =
        from.ColourSpace() == ColourProfile::Space::Grey ? kGreyInBgr8 : TYPE_BGR_8;
    auto made = std::make_shared<Made>();
    made->transform = cmsCreateTransformTHR(made->context.Get(), from.Handle(), input, to.Handle(),
                                            TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    if (made->transform == nullptr)
        throw BrokenProfile("Little CMS cannot convert with the colour profile: " +
                            made->context.LastError());
    made_ = std::move(made);
}

void ColourTransform::ApplyRows(std::uint8_t* rows, std::size_t stride, int width,
                                int height) const {
    if (width <= 0 || height <= 0)
        return;
    // In place: both formats take 3 bytes a pixel.
    cmsDoTransformLineStride(made_->transform, rows, rows, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(height),
                             static_cast<cmsUInt32Number>(stride),
                             static_cast<cmsUInt32Number>(stride), 0, 0);
}

void ColourTransform::Apply(Bitmap& bitmap) const {
    ApplyRows(bitmap.Data(), bitmap.Stride(), bitmap.Width(), bitmap.Height());
}

void ColourTransform::Apply(Bitmap& bitmap, int left, int top, int width, int height) const {
    if (left < 0 || top < 0 || width < 0 || height < 0 || left > bitmap.Width() - width ||
        top > bitmap.Height() - height)
        throw std::invalid_argument("the rectangle to convert must lie in the bitmap");
    if (width == 0 || height == 0)
        return;
    ApplyRows(bitmap.Row(top) + static_cast<std::size_t>(left) * Bitmap::kBytesPerPixel,
              bitmap.Stride(), width, height);
}

} // namespace tessaly
