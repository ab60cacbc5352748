#include "ui/StretchDraw.h"

#include "ui/BitmapView.h"
#include "ui/DisplayScale.h"

#include <QPainter>

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

void StretchDrawer::Forget() {
    reducedImage_ = QImage();
    reduced_.reset();
}

void StretchDrawer::Draw(QPainter& painter, const Bitmap& pixels, QSize control,
                         const QRect& exposedPart) {
    const int pw = pixels.Width();
    const int ph = pixels.Height();
    const QRect exposed = exposedPart & QRect(QPoint(0, 0), control);
    if (pixels.Empty() || exposed.isEmpty())
        return;
    if (control.width() <= pw && control.height() <= ph && control != QSize(pw, ph)) {
        if (!reduced_ || reduced_->Width() != control.width() ||
            reduced_->Height() != control.height()) {
            Forget();
            reduced_ = std::make_unique<Bitmap>(
                ReduceForDisplay(pixels, control.width(), control.height()));
            reducedImage_ = BitmapView(*reduced_);
        }
        painter.drawImage(exposed.topLeft(), reducedImage_, exposed);
        return;
    }
    const double sx = static_cast<double>(pw) / control.width();
    const double sy = static_cast<double>(ph) / control.height();
    const QRectF source(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                        exposed.height() * sy);
    const QRect block = source.toAlignedRect() & QRect(0, 0, pw, ph);
    if (block.isEmpty())
        return;
    painter.drawImage(QRectF(exposed), SourceBlock(pixels, block),
                      source.translated(-block.topLeft()));
}

} // namespace tessaly
