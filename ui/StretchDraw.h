// Drawing a picture stretched over a control, touching only the exposed part.
//
// Sizes are logical pixels; the screen may have more device pixels to each (its device pixel
// ratio, 2 on a screen at twice the usual density). A picture with more pixels than the
// control has device pixels is drawn from a box-filtered copy at the control's size in
// device pixels, made once per size, so that it looks smooth and as sharp as the screen
// allows. Otherwise only the block of the picture's pixels under the exposed part is
// converted and drawn stretched, each device pixel taking the source pixel it lies on:
// repaint time and memory do not grow with the magnification.
#pragma once

#include "colour/ColourTransform.h"
#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/Orientation.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <memory>

class QPainter;

namespace tessaly {

// How a picture's decoded (stored) pixels are shown: turned upright by the picture's
// orientation, and converted to the display's colours. As decoded, nothing is done to them.
struct PixelLook {
    Orientation orientation = Orientation::AsStored;
    std::shared_ptr<const ColourTransform> colours; // null: the colours as decoded

    bool AsDecoded() const { return orientation == Orientation::AsStored && !colours; }
    // A reduced copy of the stored pixels as shown: turned upright, then converted.
    Bitmap Shown(Bitmap stored) const;
    // The rectangle `block` of the upright picture of `pixels`, as shown.
    Bitmap ShownBlock(const DecodedPicture& pixels, const QRect& block) const;
    Bitmap ShownBlock(const Bitmap& pixels, const QRect& block) const;
};

// A block of a picture's pixels as a 32-bit image, for drawing it stretched.
QImage SourceBlock(const Bitmap& pixels, const QRect& block);
QImage SourceBlock(const DecodedPicture& pixels, const QRect& block);

// The control's size in the device pixels of a surface of the given device pixel ratio (2 on
// a screen at twice the usual density): the logical size times the ratio, at least 1 x 1.
QSize DeviceSize(QSize control, qreal ratio);

class StretchDrawer {
public:
    // How the pixels are shown from now on (the reduced copy is dropped); as decoded unless
    // set. The sizes and rectangles of the drawing are those of the upright picture.
    void SetLook(PixelLook look);
    const PixelLook& Look() const { return look_; }

    // Up to this many device pixels a picture shown reduced on a control that is wholly
    // visible is drawn from a reduced copy of the whole control, kept while the size holds
    // (4 megapixels, 12 MiB); a larger or partly hidden control reduces only the part being
    // drawn.
    static constexpr std::int64_t kWholeCopyPixels = std::int64_t{4} << 20;

    // Draws `pixels` stretched to `control`, the part `exposed` of it, at the device pixel
    // ratio of the painter's device.
    // `wholeVisible`: the whole control is on the screen (not scrolled partly out of view).
    void Draw(QPainter& painter, const DecodedPicture& pixels, QSize control, const QRect& exposed,
              bool wholeVisible = true);
    void Draw(QPainter& painter, const Bitmap& pixels, QSize control, const QRect& exposed,
              bool wholeVisible = true);
    // A reduced copy is kept (made by Draw, or adopted).
    bool HasReducedCopy() const { return reduced_ != nullptr; }
    // Drops the reduced copy: to be called when the picture changes.
    void Forget();
    // Takes a copy already reduced for display (the stored picture reduced as Draw would
    // reduce it, before it is turned and converted) in place of making one: used while its
    // size is the one needed.
    void Adopt(std::shared_ptr<const Bitmap> reduced);

private:
    template <class Pixels>
    void DrawPixels(QPainter& painter, const Pixels& pixels, QSize control, const QRect& exposed,
                    bool wholeVisible);
    // Keeps a reduced copy as it is drawn.
    void Keep(std::shared_ptr<const Bitmap> reduced);

    PixelLook look_;
    std::shared_ptr<const Bitmap> reduced_;
    QImage reducedImage_; // over reduced_'s rows
};

} // namespace tessaly
