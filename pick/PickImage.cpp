#include "pick/PickImage.h"

#include "viewer/BitmapView.h"
#include "viewer/DisplayScale.h"

#include <QPaintEvent>
#include <QPainter>

namespace tessaly {

PickImage::PickImage(QWidget* parent) : QWidget(parent) {}

void PickImage::SetPicture(Bitmap picture) {
    reducedView_ = QImage();
    reduced_ = Bitmap();
    picture_ = std::move(picture);
    update();
}

const QImage& PickImage::ReducedView() {
    if (reduced_.Width() != width() || reduced_.Height() != height()) {
        reducedView_ = QImage();
        reduced_ = ReduceForDisplay(picture_, width(), height());
        reducedView_ = BitmapView(reduced_);
    }
    return reducedView_;
}

void PickImage::paintEvent(QPaintEvent* event) {
    if (picture_.Empty() || width() < 1 || height() < 1)
        return;
    QPainter painter(this);
    const QRect exposed = event->rect() & rect();
    const int pw = picture_.Width();
    const int ph = picture_.Height();
    if (width() <= pw && height() <= ph && (width() < pw || height() < ph)) {
        painter.drawImage(exposed.topLeft(), ReducedView(), exposed);
        return;
    }
    // Actual size or enlarged: only the block of source pixels under the exposed part is
    // copied and drawn, so a repaint does not convert the whole picture.
    const double sx = static_cast<double>(pw) / width();
    const double sy = static_cast<double>(ph) / height();
    const QRectF source(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                        exposed.height() * sy);
    const QRect block = source.toAlignedRect() & QRect(0, 0, pw, ph);
    if (block.isEmpty())
        return;
    painter.drawImage(QRectF(exposed), BitmapView(picture_).copy(block),
                      source.translated(-block.topLeft()));
}

} // namespace tessaly
