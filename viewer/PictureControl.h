// The picture control of the main window: shows the loaded picture at its natural
// size from its top-left corner, or stretched over the whole control, as far as the picture
// pipeline has delivered it. The file's own preview, while it stands in for the picture, is
// drawn stretched over the whole control either way. The pipeline delivers the pixels as
// stored; the control shows them in its look (turned upright, converted to the display's
// colours), touching only what it draws: the kept pixels are never turned or converted as a
// whole.
//
// Drawing touches only the exposed part of the control and reads only the decoded pixels
// under it (converting them, for a picture kept as planes), so repaint time and memory do
// not grow with the zoom. A picture shown smaller than its natural size is drawn from a
// box-filtered copy at the control's size in the screen's device pixels, made once per size
// (StretchDrawer).
#pragma once

#include "pictures/LoadedPicture.h"
#include "ui/StretchDraw.h"

#include <QImage>
#include <QWidget>
#include <memory>

namespace tessaly {

class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // Replaces the picture, shown in `look`; the control's bounds are the window's to set.
    void SetPicture(std::shared_ptr<LoadedPicture> picture, PixelLook look = {});
    const PixelLook& Look() const { return drawer_.Look(); }
    // The picture's colour conversion is being made: it is drawn as decoded until
    // SetColours hands it over, which draws it anew in its colours.
    void AwaitColours() { coloursPending_ = true; }
    void SetColours(std::shared_ptr<const ColourTransform> colours);
    bool ColoursPending() const { return coloursPending_; }
    // The picture's pixels arrived (a stand-in, a screen copy or the full-size ones): drawn anew.
    // The copy reduced for display is made again from them, unless it is an exact display copy.
    void PixelsChanged();
    // A display copy of the picture arrived (reduced from the stored full picture as this
    // control reduces it): drawn in the look, and kept as the reduced copy while the size
    // holds.
    void AdoptDisplayCopy(std::shared_ptr<const Bitmap> copy);
    // The full-size pixels arrived after a screen copy whose drawing is to stay: the copy
    // reduced for display from the screen copy, when one was drawn, stays drawn while the size
    // holds (as an adopted display copy does); otherwise as PixelsChanged.
    void KeepDrawnCopy();
    // The size the picture is drawn at, in device pixels.
    QSize DeviceDrawSize() const;
    // Hands the picture over and draws nothing any more.
    std::shared_ptr<LoadedPicture> TakePicture();
    const std::shared_ptr<LoadedPicture>& Picture() const { return picture_; }
    bool HasPicture() const { return picture_ != nullptr; }

    void SetStretch(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<LoadedPicture> picture_;
    bool stretch_ = false;
    StretchDrawer drawer_;
    bool exactCopy_ = false; // the drawer holds an exact display copy
    // That copy as decoded, for a new look: kept while it is the drawn one or a conversion
    // is awaited.
    std::shared_ptr<const Bitmap> exactDecoded_;
    bool coloursPending_ = false;
};

} // namespace tessaly
