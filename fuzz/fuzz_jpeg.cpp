// The viewer's load path on arbitrary bytes: the header read when a file is shown (with its
// orientation and colour profile), the size check, and the full decode of its first paint,
// all through the project's libjpeg wrapper; the picture as the viewer keeps it, which must
// read the same pixels, also turned upright; the conversion of the picture's colours when its
// profile opens, to an sRGB display and to a display with that profile; and, for a file with
// restart markers, the decode in stripes, which must give the decode in one piece.
#include "colour/DisplayColours.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegStripes.h"
#include "picture/UprightPixels.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace {
// Pictures above this are only checked, not decoded, so that a run stays within the
// fuzzer's memory limit; the decoder's own limit is far higher.
constexpr std::uint64_t kFuzzDecodePixels = 16u << 20;

// Every byte value in each channel, converted in place through the picture's profile.
void ConvertColours(const tessaly::JpegInfo& info) {
    tessaly::Bitmap row(256, 1);
    for (int x = 0; x < 256; ++x)
        row.Row(0)[3 * x] = row.Row(0)[3 * x + 1] = row.Row(0)[3 * x + 2] =
            static_cast<std::uint8_t>(x);
    tessaly::DisplayColours srgbDisplay;
    if (const auto conversion = srgbDisplay.ForPicture(info); conversion.Needed())
        conversion.transform->Apply(row);
    tessaly::DisplayColours profileDisplay(info.iccProfile);
    if (const auto conversion = profileDisplay.ForPicture({}, tessaly::PixelKind::Rgb);
        conversion.Needed())
        conversion.transform->Apply(row);
}

// Pictures above this are not decoded in stripes as well, so that a run of a large picture
// stays within the time limit; the stripes' bounds do not depend on the picture's size.
constexpr std::uint64_t kFuzzStripePixels = 4u << 20;
// Stripes asked of a plan: more than two, so that middle stripes are cut on both sides.
constexpr int kStripes = 4;

// Decodes every stripe of `plan` into `picture`; false when one gives up, as a stripe may
// when libjpeg refuses what it reads.
template <typename Picture> bool DecodeStripes(const tessaly::JpegStripes& plan, Picture& picture) {
    try {
        for (int i = 0; i < plan.Count(); ++i)
            plan.Decode(i, picture);
        return true;
    } catch (const tessaly::JpegError&) {
        return false;
    }
}

// A picture decoded in stripes must be the one decoded in one piece (`pixels`, or nothing
// when that decode failed), at full size and as kept.
void CheckStripes(std::span<const std::uint8_t> bytes, const tessaly::JpegInfo& info,
                  const tessaly::Bitmap* pixels) {
    if (const auto plan = tessaly::JpegStripes::Scaled(bytes, info, 8, kStripes)) {
        tessaly::Bitmap striped = plan->NewBitmap();
        if (DecodeStripes(*plan, striped) && (pixels == nullptr || !striped.SamePixels(*pixels)))
            __builtin_trap();
    }
    if (const auto plan = tessaly::JpegStripes::ToKeep(bytes, info, kStripes)) {
        std::optional<tessaly::DecodedPicture> kept;
        if (plan->MakesPlanes()) {
            tessaly::YccPlanes planes = plan->NewPlanes();
            if (DecodeStripes(*plan, planes))
                kept.emplace(std::move(planes));
        } else {
            tessaly::Bitmap bitmap = plan->NewBitmap();
            if (DecodeStripes(*plan, bitmap))
                kept.emplace(std::move(bitmap));
        }
        if (kept && (pixels == nullptr || !kept->SamePixels(*pixels)))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    tessaly::JpegInfo info;
    try {
        info = tessaly::ReadJpegHeader(bytes);
        if (!info.iccProfile.empty())
            ConvertColours(info);
        tessaly::CheckDecodable(info);
    } catch (const tessaly::JpegError&) {
        return 0; // not a decodable picture: an empty picture in the viewer
    }
    if (static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) >
        kFuzzDecodePixels)
        return 0;
    std::optional<tessaly::Bitmap> pixels;
    try {
        pixels = tessaly::DecodeJpeg(bytes);
    } catch (const tessaly::JpegError&) {
    }
    if (pixels) {
        if (pixels->Width() != info.width || pixels->Height() != info.height)
            __builtin_trap(); // the decoded size must be the header's
        bool same = false;
        try {
            const tessaly::DecodedPicture kept = tessaly::DecodeJpegToKeep(bytes, info);
            same = kept.SamePixels(*pixels);
            if (same && info.orientation != tessaly::Orientation::AsStored) {
                // Turned upright, the kept picture reads as the decoded bitmap turned.
                const tessaly::Bitmap upright = tessaly::TurnUpright(*pixels, info.orientation);
                same = tessaly::CopyUpright(kept, info.orientation,
                                            {0, 0, upright.Width(), upright.Height()})
                           .SamePixels(upright);
            }
        } catch (const tessaly::JpegError&) {
        }
        if (!same)
            __builtin_trap(); // kept as planes or not, every pixel must be the decoded one
    }
    if (static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) <=
        kFuzzStripePixels)
        CheckStripes(bytes, info, pixels ? &*pixels : nullptr);
    return 0;
}
