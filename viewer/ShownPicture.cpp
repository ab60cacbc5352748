#include "viewer/ShownPicture.h"

#include "jpeg/JpegDecoder.h"
#include "model/ShownSize.h"
#include "picture/AreaCut.h"
#include "pictures/LoadedPicture.h"
#include "ui/Cursors.h"
#include "ui/StretchDraw.h"
#include "viewer/ListOrder.h"
#include "viewer/PictureControl.h"

#include <QObject>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <utility>

namespace tessaly {

ShownPicture::ShownPicture(PictureDecoders decoders, PictureControl& control,
                           const ViewerModel& model, DisplayColours& colours, bool asStored,
                           QObject& receiver, std::unique_ptr<EarlyDecode> early)
    : control_(control), model_(model), colours_(colours), asStored_(asStored),
      colourMail_(std::make_shared<ColourMail>(receiver)),
      pipeline_(std::make_unique<PicturePipeline>(
          std::move(decoders), [this, &receiver](PictureResult result) {
              // On a worker thread: handed to the GUI thread.
              arrived_.Put(std::move(result));
              QMetaObject::invokeMethod(
                  &receiver, [this] { TakeArrived(); }, Qt::QueuedConnection);
          })) {
    pipeline_->Seed(std::move(early));
    // A display profile linked after the window opened: the shown picture is converted anew.
    displayListener_ = colours_.AddDisplayListener(
        [mail = colourMail_, this] { mail->Post([this] { AskColours(); }); });
}

ShownPicture::~ShownPicture() {
    colours_.RemoveDisplayListener(displayListener_);
    colourMail_->Close();
    pipeline_.reset();
}

void ShownPicture::ColourMail::Post(std::function<void()> call) {
    const std::lock_guard lock(mutex_);
    if (receiver_ != nullptr)
        QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

void ShownPicture::ColourMail::Close() {
    const std::lock_guard lock(mutex_);
    receiver_ = nullptr;
}

void ShownPicture::AskColours() {
    if (!control_.HasPicture())
        return;
    const std::uint64_t opened = opened_;
    std::optional<ColourConversion> known = colours_.ForPictureSoon(
        colourHeader_, [mail = colourMail_, this, opened](const ColourConversion& made) {
            mail->Post([this, opened, made] { ColoursArrived(opened, made); });
        });
    if (known) {
        ColoursArrived(opened, *known);
    } else {
        control_.AwaitColours();
    }
}

void ShownPicture::WhenColoursKnown(std::function<void(const ColourConversion&)> then) {
    if (!control_.HasPicture())
        return;
    // The worker links each profile once: this ask, queued behind the shown picture's, finds
    // its conversion kept or given up.
    std::optional<ColourConversion> known = colours_.ForPictureSoon(
        colourHeader_, [mail = colourMail_, then](const ColourConversion& made) {
            mail->Post([then, made] { then(made); });
        });
    if (known)
        then(*known);
}

void ShownPicture::ColoursArrived(std::uint64_t opened, const ColourConversion& conversion) {
    if (opened != opened_ || !control_.HasPicture())
        return; // for a picture no longer shown
    ReportColourProblem(conversion.problem);
    if (conversion.ProfileUnused())
        copiesProfile_.clear(); // a profile the picture is not shown with leaves with no copy
    control_.SetColours(conversion.transform);
}

void ShownPicture::ReportColourProblem(const std::string& problem) {
    if (!problem.empty() && colourProblems_.First(shownPath_))
        std::cerr << "tessaly: " << shownPath_ << ": " << problem << ", shown without it\n";
}

ShownPicture::Header ShownPicture::Open(const std::string& path) {
    const auto fail = [&path](LoadFailure failure, Size size) {
        if (std::optional<std::string> message =
                LoadFailureMessage(failure, DisplayPath(path), size))
            throw std::runtime_error(*message);
    };
    try {
        // Only the header is read here; the pixels come from the picture pipeline, as stored.
        // The header's orientation and colour profile say how they are shown.
        const JpegInfo header = ReadJpegHeader(RegularFile(path));
        CheckDecodable(header);
        const Orientation orientation = ShownOrientation(header.orientation, asStored_);
        Drop();
        copiesProfile_ = ProfileOfCopies(header);
        control_.SetPicture(std::make_shared<LoadedPicture>(header.width, header.height),
                            PixelLook{orientation, nullptr});
        ++opened_;
        shownPath_ = path;
        colourHeader_ = JpegInfo{};
        colourHeader_.iccProfile = header.iccProfile;
        colourHeader_.iccProblem = header.iccProblem;
        colourHeader_.cmyk = header.cmyk;
        colourHeader_.grayscale = header.grayscale;
        AskColours();
        return {Size{header.width, header.height}, orientation};
    } catch (const FileReadError&) {
        fail(LoadFailure::Unreadable, {});
    } catch (const JpegTooLarge& e) {
        fail(LoadFailure::TooLarge, {e.width(), e.height()});
    } catch (const JpegError&) {
        fail(LoadFailure::NotAPicture, {});
    }
    Drop(); // not a valid image: an empty picture
    return {};
}

ShownPicture::Header ShownPicture::Reoriented(Orientation orientation) {
    const std::shared_ptr<LoadedPicture> picture = control_.Picture();
    if (!picture)
        return {};
    const Orientation shown = ShownOrientation(orientation, asStored_);
    control_.SetPicture(picture, PixelLook{shown, control_.Look().colours});
    return {Size{picture->Width(), picture->Height()}, shown};
}

QSize ShownPicture::ShownDeviceSize() const {
    const Rect& shown = model_.Image();
    return DeviceSize(QSize(shown.width, shown.height), control_.devicePixelRatioF());
}

QSize ShownPicture::StoredShape(QSize upright) const {
    const Size stored = model_.ToStored({upright.width(), upright.height()});
    return {stored.width, stored.height};
}

void ShownPicture::RequestPixels(const std::string& path) {
    // The size the picture is drawn at, in device pixels, as the stored pixels have it; a
    // picture not larger than that comes at full size at once.
    const QSize shown = StoredShape(ShownDeviceSize());
    const LoadedPicture& picture = *control_.Picture();
    request_ =
        pipeline_->Show(path, shown.width(), shown.height(), picture.Width(), picture.Height());
}

void ShownPicture::TakeArrived() {
    for (PictureResult& result : arrived_.TakeAll())
        Arrived(std::move(result));
}

const DecodedPicture* ShownPicture::FullPixels() {
    if (control_.HasPicture() && !control_.Picture()->Settled()) {
        using namespace std::chrono_literals;
        const BusyCursor busy;
        while (control_.HasPicture() && !control_.Picture()->Settled() && request_ != 0) {
            arrived_.WaitForResult(100ms);
            TakeArrived();
        }
    }
    return control_.HasPicture() ? control_.Picture()->FullPixels() : nullptr;
}

Bitmap ShownPicture::Cut(Rect area, Orientation orientation) {
    const DecodedPicture* decoded = FullPixels();
    if (!decoded)
        return CutArea(Bitmap(), area.left, area.top, area.width, area.height);
    return CutArea(*decoded, orientation, area.left, area.top, area.width, area.height);
}

void ShownPicture::Arrived(PictureResult result) {
    const std::shared_ptr<LoadedPicture>& picture = control_.Picture();
    if (result.request != request_ || !picture)
        return; // for a picture no longer shown: the pipeline frees its pixels off this thread
    // Shown as far as it was decoded, as a damaged file is, and the reason said once.
    if (!result.streamCut.empty() && streamCuts_.First(result.path))
        std::cerr << "tessaly: " << result.path << ": " << result.streamCut << "\n";
    // A picture whose decode fails stays empty.
    picture->Deliver(result);
    if (picture->Settled()) {
        request_ = 0;
        DecodeNeighbours();
        if (std::exchange(keepDrawn_, false) && result.Ok()) {
            control_.KeepDrawnCopy();
            return;
        }
    } else if (const QSize drawn = StoredShape(control_.DeviceDrawSize());
               IsFinalCopy(result.exact, {result.pixels->Width(), result.pixels->Height()},
                           {drawn.width(), drawn.height()})) {
        const Bitmap* copy = result.pixels->Rgb();
        control_.AdoptDisplayCopy(std::shared_ptr<const Bitmap>(std::move(result.pixels), copy));
        return;
    } else {
        keepDrawn_ = result.keepDrawn && result.kind == PictureKind::ScreenCopy;
    }
    control_.PixelsChanged();
}

void ShownPicture::DecodeNeighbours() {
    std::vector<std::string> paths = model_.NeighboursAhead();
    if (paths.empty() || neighboursHeld_)
        return;
    // Each neighbour at the size it will be shown at, in device pixels: its own shape and
    // orientation (unless shown as stored), fitted or at the kept zoom. Without its facts, at
    // the shown picture's stored shape: most neighbours are taken the same way.
    const QSize shown = StoredShape(ShownDeviceSize());
    pipeline_->Ahead(std::move(paths), shown.width(), shown.height(),
                     DeviceShownSize(ShowingIn(model_, asStored_), control_.devicePixelRatioF()));
}

FitSize DeviceShownSize(const ShowingNow& now, qreal ratio) {
    return [now, ratio](Size stored, bool turned) {
        const Size size = ShownSizeOf(stored, turned, now);
        const QSize device = DeviceSize(QSize(size.width, size.height), ratio);
        return Size{device.width(), device.height()};
    };
}

void ShownPicture::HoldNeighbours(bool hold) {
    if (hold && !neighboursHeld_)
        pipeline_->Ahead({}, 0, 0);
    neighboursHeld_ = hold;
}

void ShownPicture::Drop() {
    control_.TakePicture(); // its pixels are freed by the pipeline, off this thread
    request_ = 0;
    keepDrawn_ = false;
    copiesProfile_.clear();
    shownPath_.clear();
}

} // namespace tessaly
