#include "viewer/PictureControl.h"

#include "viewer/DisplayScale.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

namespace tessaly {

QImage SourceBlock(const Bitmap& pixels, const QRect& block) {
    QImage out(block.size(), QImage::Format_RGB32);
    for (int y = 0; y < block.height(); ++y) {
        const std::uint8_t* src = pixels.Row(block.y() + y) + 3 * block.x();
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < block.width(); ++x, src += 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return out;
}

PictureControl::PictureControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
}

void PictureControl::SetPicture(std::shared_ptr<JpegPicture> picture) {
    picture_ = std::move(picture);
    reduced_.reset();
    reducedImage_ = QImage();
    if (picture_ && autoSize_)
        resize(picture_->Width(), picture_->Height());
    update();
}

void PictureControl::ClearPicture() {
    picture_.reset();
    reduced_.reset();
    reducedImage_ = QImage();
    update();
}

void PictureControl::SetStretch(bool on) {
    if (stretch_ != on) {
        stretch_ = on;
        update();
    }
}

const QImage* PictureControl::ReducedCopy(const Bitmap& pixels) {
    if (!reduced_ || reduced_->Width() != width() || reduced_->Height() != height()) {
        reducedImage_ = QImage();
        reduced_ = std::make_unique<Bitmap>(ReduceForDisplay(pixels, width(), height()));
        reducedImage_ = BitmapView(*reduced_);
    }
    return &reducedImage_;
}

void PictureControl::paintEvent(QPaintEvent* event) {
    if (!picture_ || width() < 1 || height() < 1)
        return;
    const Bitmap* pixels = picture_->Pixels();
    if (!pixels || pixels->Empty())
        return;
    QPainter painter(this);
    const QRect exposed = event->rect() & rect();
    const int pw = pixels->Width();
    const int ph = pixels->Height();
    if (!stretch_) {
        const QImage view = BitmapView(*pixels);
        painter.drawImage(exposed.topLeft(), view, exposed & QRect(0, 0, pw, ph));
        return;
    }
    if (width() <= pw && height() <= ph && (width() < pw || height() < ph)) {
        painter.drawImage(exposed.topLeft(), *ReducedCopy(*pixels), exposed);
        return;
    }
    // Enlarged (or natural size): only the block of decoded pixels under the exposed part is
    // converted, then drawn stretched, each screen pixel taking the source pixel it lies on.
    const double sx = static_cast<double>(pw) / width();
    const double sy = static_cast<double>(ph) / height();
    const QRectF source(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                        exposed.height() * sy);
    const QRect block = source.toAlignedRect() & QRect(0, 0, pw, ph);
    if (block.isEmpty())
        return;
    painter.drawImage(QRectF(exposed), SourceBlock(*pixels, block),
                      source.translated(-block.topLeft()));
}

} // namespace tessaly
