#include "viewer/PictureControl.h"

#include "ui/BitmapView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

namespace tessaly {

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
}

void PictureControl::SetPicture(std::shared_ptr<LoadedPicture> picture, PixelLook look) {
    picture_ = std::move(picture);
    drawer_.SetLook(std::move(look));
    exactCopy_ = false;
    exactDecoded_.reset();
    coloursPending_ = false;
    update();
}

void PictureControl::SetColours(std::shared_ptr<const ColourTransform> colours) {
    coloursPending_ = false;
    PixelLook look = drawer_.Look();
    if (look.colours == colours)
        return;
    look.colours = std::move(colours);
    drawer_.SetLook(std::move(look));
    if (exactCopy_ && exactDecoded_)
        drawer_.Adopt(exactDecoded_);
    else
        exactCopy_ = false; // reduced again from the picture's pixels
    update();
}

void PictureControl::PixelsChanged() {
    if (!exactCopy_)
        drawer_.Forget();
    update();
}

void PictureControl::AdoptDisplayCopy(std::shared_ptr<const Bitmap> copy) {
    // Kept as decoded only while it costs nothing or a conversion is on its way.
    exactDecoded_ = coloursPending_ || drawer_.Look().AsDecoded() ? copy : nullptr;
    drawer_.Adopt(std::move(copy));
    exactCopy_ = true;
    update();
}

void PictureControl::KeepDrawnCopy() {
    if (!exactCopy_ && drawer_.HasReducedCopy())
        exactCopy_ = true; // drawn in the look already: nothing to keep as decoded
    PixelsChanged();
}

QSize PictureControl::DeviceDrawSize() const {
    return DeviceSize(size(), devicePixelRatioF());
}

std::shared_ptr<LoadedPicture> PictureControl::TakePicture() {
    drawer_.Forget();
    exactCopy_ = false;
    exactDecoded_.reset();
    coloursPending_ = false;
    update();
    return std::move(picture_);
}

void PictureControl::SetStretch(bool on) {
    if (stretch_ != on) {
        stretch_ = on;
        update();
    }
}

void PictureControl::paintEvent(QPaintEvent* event) {
    if (!picture_ || width() < 1 || height() < 1)
        return;
    // Never decodes here: the picture pipeline delivers the pixels, and until the full-size
    // ones are there a screen copy, or before it the file's own preview, is drawn stretched in
    // their place.
    const DecodedPicture* pixels = picture_->Drawable();
    if (!pixels || pixels->Empty())
        return;
    QPainter painter(this);
    const QRect exposed = event->rect() & rect();
    const int pw = pixels->Width();
    const int ph = pixels->Height();
    const bool standIn = picture_->ShowsStandIn();
    if (!stretch_ && !standIn) {
        if (pw != picture_->Width())
            return; // a screen copy: nothing to draw at natural size
        const PixelLook& look = drawer_.Look();
        const Size upright = UprightMapping(look.orientation, {pw, ph}).Upright();
        const QRect part = exposed & QRect(0, 0, upright.width, upright.height);
        if (part.isEmpty())
            return;
        if (!look.AsDecoded())
            painter.drawImage(part.topLeft(), BitmapView(look.ShownBlock(*pixels, part)));
        else if (const Bitmap* rgb = pixels->Rgb())
            painter.drawImage(exposed.topLeft(), BitmapView(*rgb), part);
        else
            painter.drawImage(part.topLeft(), SourceBlock(*pixels, part));
        return;
    }
    // A preview is often smaller than the control: enlarged smoothly, not in blocks.
    if (standIn)
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    drawer_.Draw(painter, *pixels, size(), exposed, visibleRegion().boundingRect() == rect());
}

} // namespace tessaly
