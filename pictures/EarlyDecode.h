// The first picture's screen copy, decoded on a thread of its own from the moment the program
// starts, while the window system starts and the window is built. The picture pipeline, made
// with the window, adopts it as that picture's first decode (PicturePipeline::Seed): the copy
// is there when the window first paints, and is not decoded twice.
//
// The thread reads the file's identity and header at once. The size the picture will be shown
// at follows from the window's client size and the screen's device pixel ratio, which are
// known only once the window system is up (Aim); the thread starts at once with a guess of it
// (the usual ratio of 1) and decodes again only when the copy does not reach the size aimed
// at. The copy is the screen copy at libjpeg's smallest scale reaching that size, as the
// pipeline's first decode makes it. The window draws it reduced and keeps what it drew when the
// full picture follows (PictureResult::keepDrawn), so that the picture shown at fit changes once.
//
// A picture shown at its full size or larger, a file that cannot be read or changes while it is
// read, decoders without readFacts and a cancelled decode give nothing: the pipeline then
// decodes as usual and reports what is wrong with the file.
#pragma once

#include "base/PixelGeometry.h"
#include "picture/Bitmap.h"
#include "pictures/FileIdentity.h"
#include "pictures/PictureDecoders.h"
#include "pictures/PictureResult.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tessaly {

class EarlyDecode {
public:
    struct Copy {
        FileIdentity identity; // the file as it was read (the same before and after)
        PictureFacts facts;
        Bitmap pixels; // at libjpeg's smallest scale reaching the size aimed at
    };

    // Starts the thread for `path`, which reads its header at once and decodes it for `guess`
    // (when given) until aimed: the copy is made again only when it does not reach the size
    // aimed at. Without a guess it decodes once aimed.
    EarlyDecode(PictureDecoders decoders, std::string path, FitSize guess = {});
    // Cancels what is under way and waits for the thread.
    ~EarlyDecode();
    EarlyDecode(const EarlyDecode&) = delete;
    EarlyDecode& operator=(const EarlyDecode&) = delete;

    const std::string& Path() const { return path_; }
    // The size the picture will be shown at, at most, from its stored size and whether its
    // orientation turns it a quarter, as its pixels are stored (called on the thread). The
    // first call counts.
    void Aim(FitSize shownSize);
    // The copy is not wanted: the decode stops at its next poll and gives nothing.
    void Cancel();
    // Waits until the thread is done or `cancel` is set, and hands over the copy, once.
    std::optional<Copy> Take(const CancelFlag& cancel);

private:
    void Run();
    static Size SizeFor(const PictureFacts& facts, const FitSize& shownSize);
    // The copy for the size `shownSize` gives; nothing when that is the full picture.
    std::optional<Bitmap> Decode(const PictureFacts& facts, const FitSize& shownSize);
    // Waits for Aim; false when cancelled first.
    bool WaitForAim();

    const PictureDecoders decoders_;
    const std::string path_;
    const FitSize guess_;
    CancelFlag cancel_;
    std::mutex mutex_;
    std::condition_variable changed_;
    FitSize shownSize_;
    bool aimed_ = false;
    bool done_ = false;
    std::optional<Copy> copy_;
    std::thread thread_; // last: started once everything above exists
};

} // namespace tessaly
