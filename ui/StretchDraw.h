// Drawing a picture stretched over a control, touching only the exposed part.
//
// A picture shown smaller than its natural size is drawn from a box-filtered copy at the
// control's size, made once per size, so that it looks smooth. At natural size or enlarged
// only the block of the picture's pixels under the exposed part is converted and drawn
// stretched, each screen pixel taking the source pixel it lies on: repaint time and memory
// do not grow with the magnification.
#pragma once

#include "imaging/Bitmap.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <memory>

class QPainter;

namespace tessaly {

// A block of a picture's pixels as a 32-bit image, for drawing it stretched.
QImage SourceBlock(const Bitmap& pixels, const QRect& block);

class StretchDrawer {
public:
    // Draws `pixels` stretched to `control`, the part `exposed` of it.
    void Draw(QPainter& painter, const Bitmap& pixels, QSize control, const QRect& exposed);
    // Drops the reduced copy: to be called when the picture changes.
    void Forget();

private:
    std::unique_ptr<Bitmap> reduced_;
    QImage reducedImage_; // over reduced_'s rows
};

} // namespace tessaly
