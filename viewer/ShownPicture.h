// The shown picture's session: the header read when an entry is shown, the picture it hands
// the picture control, the picture pipeline's request for its pixels and the results as they
// arrive, the neighbours decoded ahead once it is settled, and the wait of a command that
// needs the full-size pixels before they have arrived.
//
// The pipeline's workers put their results in an inbox and wake the GUI thread with a queued
// call that carries nothing; every result is handled there, where all state lives.
#pragma once

#include "colour/DisplayColours.h"
#include "model/ShowRules.h"
#include "model/ShownSize.h"
#include "model/ViewerModel.h"
#include "picture/DecodedPicture.h"
#include "pictures/EarlyDecode.h"
#include "pictures/PictureDecoders.h"
#include "pictures/PicturePipeline.h"
#include "pictures/ResultInbox.h"

#include <QSize>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class QObject;

namespace tessaly {

class PictureControl;

// The size a picture would be shown at as `now` says, in the device pixels of `ratio`, as its
// pixels are stored: what the pipeline decodes a picture for before it is shown.
FitSize DeviceShownSize(const ShowingNow& now, qreal ratio);

class ShownPicture {
public:
    // Decodes with `decoders` for `control`, laid out by `model` (the shown size, the stored
    // shape, the neighbours); shows the pictures in `colours`, upright by their orientation
    // unless `asStored`. The pipeline's wake-ups are queued calls on `receiver`'s thread. An
    // early decode of the first picture is handed to the pipeline (PicturePipeline::Seed).
    ShownPicture(PictureDecoders decoders, PictureControl& control, const ViewerModel& model,
                 DisplayColours& colours, bool asStored, QObject& receiver,
                 std::unique_ptr<EarlyDecode> early = nullptr);
    // No result arrives once this has returned: the pipeline's workers are joined.
    ~ShownPicture();
    ShownPicture(const ShownPicture&) = delete;
    ShownPicture& operator=(const ShownPicture&) = delete;

    // What the header of a file shown says: the size its pixels are stored at (none for data
    // that are not a readable JPEG: the control then shows nothing) and how they are shown.
    struct Header {
        std::optional<Size> stored;
        Orientation orientation = Orientation::AsStored;
    };
    // Reads the header of `path` and hands the control a new picture for it, in its
    // orientation and the display's colours; when the colour conversion must be linked first,
    // the picture is drawn as decoded until it is ready, and then in its colours. A file that
    // cannot be read or is too large throws std::runtime_error with the message to show; the
    // control then keeps the picture it had.
    Header Open(const std::string& path);
    // The shown file was turned by its orientation tag alone, to `orientation`: the picture
    // is shown that way from its pixels as they are (they did not change, so nothing is
    // decoded again). What Open would now say; no size without a picture.
    Header Reoriented(Orientation orientation);
    // Asks the pipeline for the pixels of the picture just opened, at the size the model
    // shows it at.
    void RequestPixels(const std::string& path);
    // The full-size pixels of the shown picture, waited for under the busy cursor when they
    // have not arrived yet; null without a picture or when its decode failed.
    const DecodedPicture* FullPixels();
    // An area of the upright picture cut out of its full-size pixels (FullPixels), white where
    // it lies outside the picture.
    Bitmap Cut(Rect area, Orientation orientation);
    // The file whose picture is shown; empty when none is.
    const std::string& ShownPath() const { return shownPath_; }
    // Lets go of the shown picture, its full-size pixels freed off the GUI thread.
    void Drop();
    // While held, no neighbour is decoded ahead, and those asked for are dropped: the
    // overview's thumbnails have the cores to themselves. Released, the neighbours are
    // decoded again once a picture shown has settled.
    void HoldNeighbours(bool hold);
    // The shown picture's colour profile for its copies and picks (ProfileOfCopies).
    const std::vector<std::uint8_t>& CopiesProfile() const { return copiesProfile_; }
    // Calls `then` on the GUI thread with the shown picture's colour conversion: at once when
    // it is known, else once the colours' worker has made it, whatever is shown by then
    // (never once this session has ended). For what was taken from the picture while its
    // conversion was being made.
    void WhenColoursKnown(std::function<void(const ColourConversion&)> then);

private:
    // Carries calls from the colours' worker to the GUI thread while this session lives.
    class ColourMail {
    public:
        explicit ColourMail(QObject& receiver) : receiver_(&receiver) {}
        void Post(std::function<void()> call);
        void Close();

    private:
        std::mutex mutex_;
        QObject* receiver_; // null once closed
    };

    // Asks for the shown picture's colour conversion: handed to the control now when it is
    // known, else when the worker has made it.
    void AskColours();
    void ColoursArrived(std::uint64_t opened, const ColourConversion& conversion);
    void ReportColourProblem(const std::string& problem);
    // The pipeline's results waiting in the inbox, oldest first.
    void TakeArrived();
    void Arrived(PictureResult result);
    // Asks the pipeline for screen copies of the neighbours, in the direction of travel first.
    void DecodeNeighbours();
    // The shown size in device pixels, and a size as the stored pixels have it.
    QSize ShownDeviceSize() const;
    QSize StoredShape(QSize upright) const;

    PictureControl& control_;
    const ViewerModel& model_;
    DisplayColours& colours_;
    bool asStored_;
    std::vector<std::uint8_t> copiesProfile_;
    ReportedOnce colourProblems_;
    ReportedOnce streamCuts_; // pictures whose data a stream bound cut
    // The shown picture's header (its colours) and path; `opened_` counts the pictures opened.
    JpegInfo colourHeader_;
    std::string shownPath_;
    std::uint64_t opened_ = 0;
    std::shared_ptr<ColourMail> colourMail_;
    std::uint64_t displayListener_ = 0;
    // Made before the pipeline and destroyed after it, so no worker can reach it once gone.
    ResultInbox arrived_;
    std::unique_ptr<PicturePipeline> pipeline_;
    std::uint64_t request_ = 0; // the request whose results are awaited, 0 for none
    bool neighboursHeld_ = false;
    // The screen copy shown is one whose drawing is kept when the full picture follows
    // (PictureResult::keepDrawn).
    bool keepDrawn_ = false;
};

} // namespace tessaly
