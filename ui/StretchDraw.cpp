#include "ui/StretchDraw.h"

#include "picture/UprightPixels.h"
#include "resample/DisplayScale.h"
#include "ui/BitmapView.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tessaly {

namespace {

// A block of 24-bit rows as a 32-bit image; `row(y)` gives row y of the block.
template <class Row> QImage PackBlock(QSize size, Row row) {
    QImage out(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        const std::uint8_t* src = row(y);
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < size.width(); ++x, src += 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
    }
    return out;
}

template <class Pixels> Bitmap ReadShown(const Pixels& pixels, const PixelLook& look, QRect block) {
    Bitmap out = Bitmap::Uninitialized(block.width(), block.height());
    ReadUprightBgr(pixels, look.orientation, {block.x(), block.y(), block.width(), block.height()},
                   out.Data(), out.Stride());
    if (look.colours)
        look.colours->Apply(out);
    return out;
}

} // namespace

Bitmap PixelLook::Shown(Bitmap stored) const {
    Bitmap out = TurnUpright(std::move(stored), orientation);
    if (colours)
        colours->Apply(out);
    return out;
}

Bitmap PixelLook::ShownBlock(const DecodedPicture& pixels, const QRect& block) const {
    return ReadShown(pixels, *this, block);
}

Bitmap PixelLook::ShownBlock(const Bitmap& pixels, const QRect& block) const {
    return ReadShown(pixels, *this, block);
}

QImage SourceBlock(const Bitmap& pixels, const QRect& block) {
    return PackBlock(block.size(), [&](int y) {
        return pixels.Row(block.y() + y) + 3 * static_cast<std::size_t>(block.x());
    });
}

QImage SourceBlock(const DecodedPicture& pixels, const QRect& block) {
    if (const Bitmap* rgb = pixels.Rgb())
        return SourceBlock(*rgb, block);
    // Planes are converted for the whole block at once.
    const Bitmap converted = pixels.Copy(block.x(), block.y(), block.width(), block.height());
    return SourceBlock(converted, QRect(QPoint(0, 0), block.size()));
}

QSize DeviceSize(QSize control, qreal ratio) {
    if (!(ratio > 0) || ratio == 1)
        return control;
    return {std::max(1, static_cast<int>(std::lround(control.width() * ratio))),
            std::max(1, static_cast<int>(std::lround(control.height() * ratio)))};
}

void StretchDrawer::Forget() {
    reducedImage_ = QImage();
    reduced_.reset();
}

void StretchDrawer::SetLook(PixelLook look) {
    Forget();
    look_ = std::move(look);
}

void StretchDrawer::Adopt(std::shared_ptr<const Bitmap> reduced) {
    if (reduced && !reduced->Empty() && !look_.AsDecoded())
        reduced = std::make_shared<const Bitmap>(look_.Shown(*reduced));
    Keep(std::move(reduced));
}

void StretchDrawer::Keep(std::shared_ptr<const Bitmap> reduced) {
    Forget();
    if (!reduced || reduced->Empty())
        return;
    reduced_ = std::move(reduced);
    reducedImage_ = BitmapView(*reduced_);
}

void StretchDrawer::Draw(QPainter& painter, const DecodedPicture& pixels, QSize control,
                         const QRect& exposed, bool wholeVisible) {
    DrawPixels(painter, pixels, control, exposed, wholeVisible);
}

void StretchDrawer::Draw(QPainter& painter, const Bitmap& pixels, QSize control,
                         const QRect& exposed, bool wholeVisible) {
    DrawPixels(painter, pixels, control, exposed, wholeVisible);
}

template <class Pixels>
void StretchDrawer::DrawPixels(QPainter& painter, const Pixels& pixels, QSize control,
                               const QRect& exposedPart, bool wholeVisible) {
    const QRect exposed = exposedPart & QRect(QPoint(0, 0), control);
    if (pixels.Empty() || exposed.isEmpty())
        return;
    const UprightMapping mapping(look_.orientation, {pixels.Width(), pixels.Height()});
    const QSize upright(mapping.Upright().width, mapping.Upright().height);
    // A picture shown smaller than it is on the screen's own pixels is drawn from a copy
    // reduced to the control's size in device pixels, which the painter maps one to one
    // onto the screen; a copy at the logical size would be enlarged again and look soft.
    // The reduction runs on the stored pixels at the stored shape of the device size, and
    // what it gives is turned and converted (as decoded, it is drawn as it is).
    const QSize device = DeviceSize(control, painter.device()->devicePixelRatio());
    const Rect storedRect = mapping.ToStored(Rect{0, 0, device.width(), device.height()});
    const QSize storedDevice(storedRect.width, storedRect.height);
    if (device.width() <= upright.width() && device.height() <= upright.height() &&
        device != upright) {
        const double rx = static_cast<double>(device.width()) / control.width();
        const double ry = static_cast<double>(device.height()) / control.height();
        const QRectF onDevice(exposed.x() * rx, exposed.y() * ry, exposed.width() * rx,
                              exposed.height() * ry);
        const bool haveCopy = reduced_ && reduced_->Width() == device.width() &&
                              reduced_->Height() == device.height();
        if (!haveCopy &&
            (!wholeVisible ||
             static_cast<std::int64_t>(device.width()) * device.height() > kWholeCopyPixels)) {
            // A control partly hidden (scrolled, at a zoom below 100 %) or very large: only
            // the exposed part is reduced, never a copy of the whole shown size.
            const QRect part = onDevice.toAlignedRect() & QRect(QPoint(0, 0), device);
            if (part.isEmpty())
                return;
            const Rect storedPart =
                UprightMapping(look_.orientation, {storedDevice.width(), storedDevice.height()})
                    .ToStored(Rect{part.x(), part.y(), part.width(), part.height()});
            const Bitmap block = look_.Shown(ReduceRegionForDisplay(
                pixels, storedDevice.width(), storedDevice.height(), storedPart.left,
                storedPart.top, storedPart.width, storedPart.height));
            painter.drawImage(QRectF(exposed), BitmapView(block),
                              onDevice.translated(-part.topLeft()));
            return;
        }
        if (!haveCopy)
            Keep(std::make_shared<const Bitmap>(look_.Shown(
                ReduceForDisplay(pixels, storedDevice.width(), storedDevice.height()))));
        if (device == control) {
            painter.drawImage(exposed.topLeft(), reducedImage_, exposed);
            return;
        }
        painter.drawImage(QRectF(exposed), reducedImage_, onDevice);
        return;
    }
    const double sx = static_cast<double>(upright.width()) / control.width();
    const double sy = static_cast<double>(upright.height()) / control.height();
    const QRectF source(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx,
                        exposed.height() * sy);
    const QRect block = source.toAlignedRect() & QRect(QPoint(0, 0), upright);
    if (block.isEmpty())
        return;
    // Magnified: only the block of pixels under the exposed part is read (upright and
    // converted when the look changes them) and drawn stretched.
    const QImage image = look_.AsDecoded() ? SourceBlock(pixels, block)
                                           : SourceBlock(look_.ShownBlock(pixels, block),
                                                         QRect(QPoint(0, 0), block.size()));
    painter.drawImage(QRectF(exposed), image, source.translated(-block.topLeft()));
}

} // namespace tessaly
