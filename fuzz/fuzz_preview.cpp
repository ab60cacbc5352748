// Finding and decoding a photo's own preview on arbitrary bytes, as a file (a memory file,
// so the disk is never touched): the walk over the marker segments, the EXIF thumbnail and
// the multi-picture index, then the choice and decode of the preview for two shown sizes.
// It traps when a place found does not lie inside the file, and when a preview comes back
// that is not smaller than the picture, not of its shape, or not at the scale asked for.
#include "jpegfile/FilePreviews.h"
#include "jpegfile/JpegSegments.h"
#include "jpeg/FilePreview.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Pictures above this are not decoded, so that a run stays within the fuzzer's memory
// limit (a preview is smaller than its picture).
constexpr std::uint64_t kFuzzDecodePixels = 16u << 20;

// The picture a file that is no readable JPEG stands for: its previews are still decoded.
tessaly::JpegInfo StandInPicture() {
    tessaly::JpegInfo info;
    info.width = 96;
    info.height = 64;
    return info;
}

void Check(const tessaly::RegularFile& file) {
    const std::vector<tessaly::FilePart> places = tessaly::FindFilePreviews(file);
    for (const tessaly::FilePart& place : places)
        if (place.size == 0 || place.offset > file.Size() ||
            place.size > file.Size() - place.offset)
            __builtin_trap(); // every place lies inside the file
    tessaly::JpegInfo picture = StandInPicture();
    try {
        picture = tessaly::ReadJpegHeader(file);
    } catch (const tessaly::JpegError&) {
    }
    if (static_cast<std::uint64_t>(picture.width) * static_cast<std::uint64_t>(picture.height) >
        kFuzzDecodePixels)
        return;
    for (const auto [width, height] : {std::pair{24, 16}, std::pair{585, 390}}) {
        const auto preview = tessaly::DecodeFilePreview(file, places, picture, width, height);
        if (!preview)
            continue;
        tessaly::JpegInfo own;
        own.width = preview->width;
        own.height = preview->height;
        const int eighths = tessaly::ScaleEighthsFor(own, width, height);
        if (preview->width > picture.width || preview->height > picture.height ||
            !tessaly::SameAspect(preview->width, preview->height, picture.width, picture.height) ||
            preview->pixels.Width() != tessaly::ScaledDimension(preview->width, eighths) ||
            preview->pixels.Height() != tessaly::ScaledDimension(preview->height, eighths))
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("fuzz-preview", MFD_CLOEXEC);
    if (fd < 0 || (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)))
        __builtin_trap(); // the harness itself failed
    try {
        const tessaly::RegularFile file("/proc/self/fd/" + std::to_string(fd));
        Check(file);
    } catch (const tessaly::FileReadError&) {
        __builtin_trap(); // a memory file always reads
    }
    close(fd);
    return 0;
}
