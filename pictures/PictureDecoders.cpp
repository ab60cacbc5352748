#include "pictures/PictureDecoders.h"

#include "base/RegularFile.h"
#include "jpeg/FilePreview.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegStripes.h"
#include "jpegfile/FilePreviews.h"
#include "resample/DisplayScale.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <vector>

namespace tessaly {

void CancelFlag::ThrowIfCancelled() const {
    if (Cancelled())
        throw DecodeCancelled();
}

namespace {

// The file's header, read and checked before any pixel work; the picture's size is handed
// back even when it is refused, for the message.
JpegInfo CheckedHeader(const RegularFile& file, const CancelFlag& cancel, int& fullWidth,
                       int& fullHeight) {
    const JpegInfo info = ReadJpegHeader(file);
    fullWidth = info.width;
    fullHeight = info.height;
    CheckDecodable(info);
    cancel.ThrowIfCancelled();
    return info;
}

// The picture decoded at full size straight into its display copy of width x height (at
// least 1 and at most the picture's size each way), without holding the whole picture.
Bitmap DecodeForDisplay(const RegularFile& file, const JpegInfo& info, int width, int height,
                        const CancelFlag& cancel) {
    Bitmap copy = Bitmap::Uninitialized(width, height);
    DisplayReducer reducer(info.width, info.height, copy);
    DecodeJpegRows(
        file, info,
        {[&](const std::uint8_t* row) { reducer.AddRow(row); }, [&] { reducer.Restart(); }},
        &cancel.Flag());
    return copy;
}

} // namespace

bool IsDisplayReduction(int width, int height, int pictureWidth, int pictureHeight) {
    return width >= 1 && height >= 1 && width <= pictureWidth && height <= pictureHeight &&
           (width != pictureWidth || height != pictureHeight);
}

int WorkerThreadCount() {
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

PictureDecoders DefaultPictureDecoders(int stripeThreads) {
    const int threads = stripeThreads > 0 ? stripeThreads : WorkerThreadCount();
    PictureDecoders decoders;
    decoders.decodeScaled = [threads](const std::string& path, int minWidth, int minHeight,
                                      const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
        const RegularFile file(path);
        const JpegInfo info = CheckedHeader(file, cancel, fullWidth, fullHeight);
        return DecodeJpegScaledInStripes(file, info, ScaleEighthsFor(info, minWidth, minHeight),
                                         threads, &cancel.Flag(), &cancel.Notes());
    };
    decoders.decodeDisplay = [](const std::string& path, int width, int height,
                                const CancelFlag& cancel, int& fullWidth, int& fullHeight,
                                bool& exact) {
        const RegularFile file(path);
        const JpegInfo info = CheckedHeader(file, cancel, fullWidth, fullHeight);
        exact = IsDisplayReduction(width, height, info.width, info.height);
        if (exact)
            return DecodeForDisplay(file, info, width, height, cancel);
        return DecodeJpegScaled(file, info, ScaleEighthsFor(info, width, height), &cancel.Flag(),
                                &cancel.Notes());
    };
    decoders.decodePreview = [](const std::string& path, int minWidth, int minHeight,
                                std::uint64_t maxBytes, const CancelFlag& cancel, int& fullWidth,
                                int& fullHeight) -> std::optional<Bitmap> {
        const RegularFile file(path);
        const JpegInfo info = CheckedHeader(file, cancel, fullWidth, fullHeight);
        const std::vector<FilePart> places = FindFilePreviews(file);
        if (places.empty())
            return std::nullopt;
        std::optional<FilePreview> preview =
            DecodeFilePreview(file, places, info, minWidth, minHeight, &cancel.Flag(), maxBytes);
        if (!preview)
            return std::nullopt;
        return std::move(preview->pixels);
    };
    decoders.readFacts = [threads](const std::string& path) {
        const JpegInfo info = ReadJpegHeader(RegularFile(path));
        return PictureFacts{info.width,
                            info.height,
                            info.coefficientBytes,
                            SwapsSides(info.orientation),
                            KeptBytesFor(info),
                            MayDecodeInStripes(info, threads)};
    };
    decoders.decodeFull = [threads](const std::string& path, const CancelFlag& cancel) {
        const RegularFile file(path);
        const JpegInfo info = ReadJpegHeader(file);
        cancel.ThrowIfCancelled();
        return DecodeJpegToKeepInStripes(file, info, threads, &cancel.Flag(), &cancel.Notes());
    };
    return decoders;
}

} // namespace tessaly
