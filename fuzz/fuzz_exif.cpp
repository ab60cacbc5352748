// Runs the whole EXIF read on bytes in memory, then builds the full 27-item overlay text
// from whatever was read, so that value formatting sees every odd value too.
#include "exif/ExifInfo.h"
#include "exif/ExifOverlay.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    tessaly::TExifInfo info;
    info.SetSourceOpener(
        [bytes](const std::string&) { return std::make_unique<tessaly::MemorySource>(bytes); });
    int readErrors = 0;
    info.SetOnReadError([&readErrors](tessaly::TExifInfo&) { ++readErrors; });
    try {
        info.SetImageFileName("fuzz-input.jpg");
    } catch (const tessaly::ExifReadError&) {
        // A block that cannot be walked is reported to the caller; the results read until
        // then still make an overlay.
    }
    const std::string text =
        tessaly::ExifOverlayText(info, tessaly::ExifItems::All, static_cast<std::int64_t>(size));
    if (text.empty())
        __builtin_trap(); // the size line is always there
    return 0;
}
