// The picture control of a pick window: holds the picked area at its actual size
// and draws it stretched over the control's whole bounds.
//
// A picture with more pixels than the control has device pixels is drawn from a
// box-filtered copy at the control's size in the screen's device pixels (made once per
// size), so it looks smooth and sharp; otherwise it is drawn from the picture's own rows,
// each device pixel taking the source pixel it lies on.
#pragma once

#include "picture/Bitmap.h"
#include "ui/StretchDraw.h"

#include <QWidget>
#include <memory>

namespace tessaly {

class PickImage : public QWidget {
    Q_OBJECT
public:
    explicit PickImage(QWidget* parent = nullptr);

    // Replaces the picture; the control keeps its size and position. It is drawn converted by
    // `colours` (the display's colours of the picture it was picked from; null: as it is).
    void SetPicture(Bitmap picture, std::shared_ptr<const ColourTransform> colours = nullptr);
    // The conversion the picture is drawn with from now on (null: as it is).
    void SetColours(std::shared_ptr<const ColourTransform> colours);
    const Bitmap& Picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Bitmap picture_;
    StretchDrawer drawer_;
};

} // namespace tessaly
