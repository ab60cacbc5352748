// The viewer's load path on arbitrary bytes: the header read when a file is shown (with its
// orientation and colour profile), the size check, and the full decode of its first paint,
// all through the project's libjpeg wrapper; the picture as the viewer keeps it, which must
// read the same pixels, also turned upright; and the conversion of the picture's colours
// when its profile opens, to an sRGB display and to a display with that profile.
#include "colour/DisplayColours.h"
#include "imaging/JpegDecoder.h"
#include "imaging/UprightPixels.h"

#include <cstddef>
#include <cstdint>
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
    if (const auto conversion = profileDisplay.ForPicture({}, tessaly::PictureKind::Rgb);
        conversion.Needed())
        conversion.transform->Apply(row);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    try {
        const tessaly::JpegInfo info = tessaly::ReadJpegHeader(bytes);
        if (!info.iccProfile.empty())
            ConvertColours(info);
        tessaly::CheckDecodable(info);
        if (static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) >
            kFuzzDecodePixels)
            return 0;
        const tessaly::Bitmap pixels = tessaly::DecodeJpeg(bytes);
        if (pixels.Width() != info.width || pixels.Height() != info.height)
            __builtin_trap(); // the decoded size must be the header's
        bool same = false;
        try {
            const tessaly::DecodedPicture kept = tessaly::DecodeJpegToKeep(bytes, info);
            same = kept.SamePixels(pixels);
            if (same && info.orientation != tessaly::Orientation::AsStored) {
                // Turned upright, the kept picture reads as the decoded bitmap turned.
                const tessaly::Bitmap upright = tessaly::TurnUpright(pixels, info.orientation);
                same = tessaly::CopyUpright(kept, info.orientation,
                                            {0, 0, upright.Width(), upright.Height()})
                           .SamePixels(upright);
            }
        } catch (const tessaly::JpegError&) {
        }
        if (!same)
            __builtin_trap(); // kept as planes or not, every pixel must be the decoded one
    } catch (const tessaly::JpegError&) {
        // not a decodable picture: an empty picture in the viewer
    }
    return 0;
}
