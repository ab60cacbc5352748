#include "jpegfile/ExifThumbnail.h"

#include "jpegfile/TiffView.h"

namespace tessaly {

std::optional<FilePart> FindExifThumbnail(std::span<const std::uint8_t> tiff) {
    const std::optional<TiffView> view = TiffView::Open(tiff);
    if (!view)
        return std::nullopt;
    const std::optional<std::uint32_t> ifd1 = view->NextDirectory(view->FirstDirectory());
    if (!ifd1)
        return std::nullopt;
    const auto number = [&](std::uint16_t tag) -> std::optional<std::uint32_t> {
        const std::optional<TiffView::Entry> entry = view->Find(*ifd1, tag);
        return entry ? view->Number(*entry) : std::nullopt;
    };
    const std::optional<std::uint32_t> offset = number(513);
    const std::optional<std::uint32_t> size = number(514);
    if (!offset || !size || *size == 0 || *offset > tiff.size() || *size > tiff.size() - *offset)
        return std::nullopt;
    return FilePart{*offset, *size};
}

} // namespace tessaly
