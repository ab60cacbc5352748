// The viewer's load path on arbitrary bytes: the header read when a file is shown, the size
// check, and the full decode of its first paint, all through the project's libjpeg wrapper;
// and the picture as the viewer keeps it, which must read the same pixels.
#include "imaging/JpegDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {
// Pictures above this are only checked, not decoded, so that a run stays within the
// fuzzer's memory limit; the decoder's own limit is far higher.
constexpr std::uint64_t kFuzzDecodePixels = 16u << 20;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    try {
        const tessaly::JpegInfo info = tessaly::ReadJpegHeader(bytes);
        tessaly::CheckDecodable(info);
        if (static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) >
            kFuzzDecodePixels)
            return 0;
        const tessaly::Bitmap pixels = tessaly::DecodeJpeg(bytes);
        if (pixels.Width() != info.width || pixels.Height() != info.height)
            __builtin_trap(); // the decoded size must be the header's
        bool same = false;
        try {
            same = tessaly::DecodeJpegToKeep(bytes, info).SamePixels(pixels);
        } catch (const tessaly::JpegError&) {
        }
        if (!same)
            __builtin_trap(); // kept as planes or not, every pixel must be the decoded one
    } catch (const tessaly::JpegError&) {
        // not a decodable picture: an empty picture in the viewer
    }
    return 0;
}
